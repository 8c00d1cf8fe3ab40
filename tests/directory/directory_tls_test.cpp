// TLS to the directory and failover between servers, through real requests
// (the User Details page) against sandbox slapds that serve certificates
// made for the test: one for 127.0.0.1, one for another name, one server
// without TLS. The CA comes from the OpenLDAP client configuration, as
// LDAPTLS_CACERT or as TLS_CACERT in an ldap.conf named by LDAPCONF.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"
#include "tests/support/test_certificates.h"

namespace {

using Strings = std::vector<std::string>;

const char kUsers[] =
    "dn: dc=com\nobjectClass: domain\ndc: com\n\ndn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
    "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: anna@example.com\n"
    "firstname: Anna\nsn: Smith\n";
const std::string kRefused = pagetexts::ResultPage("User Details", "Error connecting to LDAP port on server");

std::unique_ptr<TestCertificates> certificates;
std::unique_ptr<DirectorySandbox> good, other, plain;  // certificate for 127.0.0.1, for another name, no TLS

class DirectoryTls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certificates = std::make_unique<TestCertificates>();
        if (!certificates->Ok() || !certificates->MakeServer("good", "IP:127.0.0.1") ||
            !certificates->MakeServer("other", "DNS:other.example") ||
            !certificates->MakeAuthority("stranger"))
            return;
        SandboxTls goodFiles{certificates->CertFile("good"), certificates->KeyFile("good"),
                             certificates->CaFile()};
        SandboxTls otherFiles{certificates->CertFile("other"), certificates->KeyFile("other"),
                              certificates->CaFile()};
        good = std::make_unique<DirectorySandbox>(0, &goodFiles);
        other = std::make_unique<DirectorySandbox>(0, &otherFiles);
        plain = std::make_unique<DirectorySandbox>();
        for (auto* server : {good.get(), other.get(), plain.get()})
            if (!server->Ok() || !server->Add(kUsers)) return;
        // ldap.conf files: the CA; the wrong CA with the check switched off there.
        std::ofstream(certificates->Folder() + "/ldap.conf")
            << "TLS_CACERT " << certificates->CaFile() << "\n";
        std::ofstream(certificates->Folder() + "/lax.conf")
            << "TLS_CACERT " << certificates->CertFile("stranger") << "\nTLS_REQCERT never\n";
        detailsPage =
            RunCgiGet("Command=FindUser&Mail=anna%40example.com", {{"XOMTA_CONFIG_DIR", plain->ConfigDir()}})
                .out;
        ready = detailsPage.find("Smith") != std::string::npos;
        if (!ready) std::cerr << "no details page:\n" << detailsPage;
    }
    static void TearDownTestSuite() { good.reset(), other.reset(), plain.reset(), certificates.reset(); }
    void SetUp() override { ASSERT_TRUE(ready) << "no certificates or no TLS sandbox"; }

    // The User Details page of anna with XOMTA.INI's [Ldap] section amended,
    // the log cleared before; `ca` sets the client configuration's variables.
    static ProcessResult Request(const std::string& ldap, const Environment& ca) {
        EXPECT_TRUE(good->WriteConfig("[Ldap]\n" + ldap + "\n") && good->ClearLog());
        Environment env = ca;
        env["XOMTA_CONFIG_DIR"] = good->ConfigDir();
        return RunCgiGet("Command=FindUser&Mail=anna%40example.com", env);
    }
    static Strings LogTexts() { return ::LogTexts(good->ReadLog()); }
    static Environment CaVariable() { return {{"LDAPTLS_CACERT", certificates->CaFile()}}; }
    static Environment CaConf(const std::string& file = "ldap.conf") {
        return {{"LDAPCONF", certificates->Folder() + "/" + file}};
    }
    static std::string DetailsPage() { return detailsPage; }

    static bool ready;
    static std::string detailsPage;  // as a plain connection gives it: what every accepted session gives
};
bool DirectoryTls::ready = false;
std::string DirectoryTls::detailsPage;

TEST_F(DirectoryTls, CheckedCertificatesAreAcceptedOthersRefusedWithTheirReason) {
    struct Case {
        std::string ldap;  // [Ldap] lines
        Environment ca;    // the client configuration
        bool accepted;
        Strings logged;  // pieces of the one log line expected, in order ({} for no line)
    };
    std::string goodTls = good->TlsUri(), otherTls = other->TlsUri();
    const Case cases[] = {
        {"HostName=" + goodTls, CaVariable(), true, {}},
        {"HostName=" + goodTls, CaConf(), true, {}},
        {"HostName=127.0.0.1\nStartTLS=yes", CaConf(), true, {}},  // Port of the sandbox's own configuration
        {"HostName=" + good->Uri() + "\nStartTLS=YES", CaVariable(), true, {}},
        {"HostName=" + good->Uri() + "\nStartTLS=no", {}, true, {}},
        {"HostName=" + good->Uri() + "\nStartTLS=perhaps",
         CaVariable(),
         true,
         {"XOMTA.INI [Ldap] StartTLS is neither yes nor no; yes used"}},
        // Certificate checking stays on whatever ldap.conf says.
        {"HostName=" + goodTls,
         CaConf("lax.conf"),
         false,
         {"LDAP connect to " + goodTls + " failed: Can't contact LDAP server (-1)",
          "reason \"TLS: peer cert untrusted or revoked"}},
        {"HostName=" + goodTls, {}, false, {"LDAP connect to " + goodTls + " failed", "peer cert untrusted"}},
        {"HostName=" + goodTls,
         {{"LDAPTLS_CACERT", certificates->Folder() + "/absent.crt"}},
         false,
         {"LDAP connect to " + goodTls + " failed", "reason \"TLS: could not use CA certificate file"}},
        // A certificate for another name.
        {"HostName=" + otherTls,
         CaVariable(),
         false,
         {"LDAP connect to " + otherTls + " failed: Can't contact LDAP server (-1)",
          "reason \"TLS: hostname (127.0.0.1) does not match"}},
        {"HostName=" + other->Uri() + "\nStartTLS=yes",
         CaConf(),
         false,
         {"LDAP StartTLS with " + other->Uri() + " failed: Connect error (-11)",
          "reason \"TLS: hostname (127.0.0.1) does not match"}},
        // A server without TLS: StartTLS required means no session.
        {"HostName=" + plain->Uri() + "\nStartTLS=yes",
         CaVariable(),
         false,
         {"LDAP StartTLS with " + plain->Uri() + " failed: "}},
    };
    for (const Case& c : cases) {
        ProcessResult result = Request(c.ldap, c.ca);
        EXPECT_EQ(result.exitStatus, 0) << c.ldap;
        EXPECT_EQ(result.out, c.accepted ? DetailsPage() : kRefused) << c.ldap;
        Strings texts = LogTexts();
        ASSERT_EQ(texts.size(), c.logged.empty() ? 0u : 1u) << c.ldap << "\n" << good->ReadLog();
        std::size_t at = 0;
        for (const std::string& piece : c.logged) {
            at = texts[0].find(piece, at);
            EXPECT_NE(at, std::string::npos) << c.ldap << ": no \"" << piece << "\" in " << texts[0];
        }
    }
}

TEST_F(DirectoryTls, TheFirstServerThatAnswersIsUsed) {
    SilentServer frozen;  // accepts connections, never answers
    ASSERT_NE(frozen.Port(), 0);
    std::string stopped = plain->Uri(), frozenUri = "ldap://127.0.0.1:" + std::to_string(frozen.Port());
    ASSERT_TRUE(plain->Stop());
    struct Case {
        std::string hosts;  // HostName
        bool accepted;
        Strings logged;  // the start of each log line
    };
    const Case cases[] = {
        {stopped + " " + good->Uri(),
         true,
         {"LDAP connect to " + stopped + " failed: Can't contact LDAP server"}},
        {" \t" + stopped + "\t " + good->TlsUri() + "  ", true, {"LDAP connect to " + stopped + " failed"}},
        {other->TlsUri() + " " + good->TlsUri(), true, {"LDAP connect to " + other->TlsUri() + " failed"}},
        {frozenUri + " " + good->Uri(), true, {"LDAP bind as \"cn=root\" failed: Timed out (-5)"}},
        {good->Uri() + " " + stopped, true, {}},
        {stopped + " " + other->TlsUri(),
         false,
         {"LDAP connect to " + stopped + " failed", "LDAP connect to " + other->TlsUri() + " failed"}},
        {"127.0.0.1 " + good->Uri(), true, {"LDAP connect to ldap://127.0.0.1:1 failed"}},  // Port=1 below
    };
    for (const Case& c : cases) {
        std::string port = c.hosts.rfind("127.0.0.1 ", 0) == 0 ? "\nPort=1" : "";
        ProcessResult result = Request("HostName=" + c.hosts + "\nTimeout=1" + port, CaVariable());
        EXPECT_EQ(result.out, c.accepted ? DetailsPage() : kRefused) << c.hosts;
        Strings texts = LogTexts();
        ASSERT_EQ(texts.size(), c.logged.size()) << c.hosts << "\n" << good->ReadLog();
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i].rfind(c.logged[i], 0), 0u) << c.hosts << ": " << texts[i];
    }
    // A server that refuses the bind answers: the next one is not tried.
    ProcessResult refused = Request("HostName=" + good->Uri() + " " + other->Uri() + "\nPassword=wrong", {});
    EXPECT_EQ(refused.out, kRefused);
    Strings texts = LogTexts();
    ASSERT_EQ(texts.size(), 1u) << good->ReadLog();
    EXPECT_EQ(texts[0].rfind("LDAP bind as \"cn=root\" failed: Invalid credentials (49)", 0), 0u) << texts[0];
    ASSERT_TRUE(plain->Start());
}

}  // namespace
