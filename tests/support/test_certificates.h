// Certificates made for the TLS tests at test time with openssl: a CA, and
// server certificates it signs for the names the test chooses, in a scratch
// folder under LDAPCGI_BINARY_DIR/test-scratch that is removed at the end.
// EC P-256 keys, valid for two days.
#ifndef LDAPCGI_TESTS_SUPPORT_TEST_CERTIFICATES_H
#define LDAPCGI_TESTS_SUPPORT_TEST_CERTIFICATES_H

#include <string>

class TestCertificates {
public:
    TestCertificates();  // makes the CA "ca"; see Ok()
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    bool Ok() const { return ok_; }
    // A server certificate signed by the CA, for the subject alternative
    // names `altNames` (openssl form: "IP:127.0.0.1,DNS:localhost"); its
    // common name is the first of them.
    bool MakeServer(const std::string& name, const std::string& altNames);
    // A CA of its own with the given name, unrelated to the first one.
    bool MakeAuthority(const std::string& name);
    std::string Folder() const { return dir_; }
    std::string CertFile(const std::string& name) const { return dir_ + "/" + name + ".crt"; }
    std::string KeyFile(const std::string& name) const { return dir_ + "/" + name + ".key"; }
    std::string CaFile() const { return CertFile("ca"); }

private:
    std::string dir_;
    bool ok_ = false;
};

#endif
