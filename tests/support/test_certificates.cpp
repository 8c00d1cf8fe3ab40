// openssl req/x509 runs that make the test CA and server certificates.
#include "tests/support/test_certificates.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "tests/support/run_cgi.h"

namespace {

constexpr char kOpenssl[] = "/usr/bin/openssl";
constexpr char kDays[] = "2";

bool Run(const std::vector<std::string>& argv) {
    ProcessResult result = RunProcess(argv, {{"PATH", "/usr/bin:/bin"}}, "");
    if (result.exitStatus != 0) std::cerr << "test certificates: " << argv[1] << ": " << result.err;
    return result.exitStatus == 0;
}

std::string FirstName(const std::string& altNames) {
    std::string first = altNames.substr(0, altNames.find(','));
    return first.substr(first.find(':') + 1);
}

}  // namespace

TestCertificates::TestCertificates() {
    std::string scratch = BinaryPath("test-scratch");
    mkdir(scratch.c_str(), 0700);
    std::string name = scratch + "/certsXXXXXX";
    if (!mkdtemp(&name[0])) return;
    dir_ = name;
    ok_ = MakeAuthority("ca");
}

TestCertificates::~TestCertificates() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool TestCertificates::MakeAuthority(const std::string& name) {
    return Run({kOpenssl,
                "req",
                "-x509",
                "-newkey",
                "ec",
                "-pkeyopt",
                "ec_paramgen_curve:prime256v1",
                "-nodes",
                "-keyout",
                KeyFile(name),
                "-out",
                CertFile(name),
                "-days",
                kDays,
                "-subj",
                "/CN=LDAP CGI test " + name,
                "-addext",
                "basicConstraints=critical,CA:TRUE",
                "-addext",
                "keyUsage=critical,keyCertSign,cRLSign"});
}

bool TestCertificates::MakeServer(const std::string& name, const std::string& altNames) {
    std::string request = dir_ + "/" + name + ".csr", extensions = dir_ + "/" + name + ".ext";
    std::ofstream(extensions) << "subjectAltName=" << altNames
                              << "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
    return Run({kOpenssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", KeyFile(name), "-out", request, "-subj", "/CN=" + FirstName(altNames)}) &&
           Run({kOpenssl, "x509", "-req", "-in", request, "-CA", CaFile(), "-CAkey", KeyFile("ca"),
                "-CAcreateserial", "-out", CertFile(name), "-days", kDays, "-extfile", extensions});
}
