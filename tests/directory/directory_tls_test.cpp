// TLS to the directory and failover between servers, through real requests
// (the User Details page) against a sandbox slapd that serves a certificate
// for 127.0.0.1 made here with openssl, and the shared sandbox without TLS.
// The CA comes from the OpenLDAP client configuration, as LDAPTLS_CACERT or
// as TLS_CACERT in an ldap.conf named by LDAPCONF.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"

namespace {

const std::string kUsers =
    std::string(kExampleDomainLdif) +
    "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: anna@example.com\nsn: Smith\n";
const char kRefused[] = "Error connecting to LDAP port on server";

class DirectoryTls : public ::testing::Test {
protected:
    // server.crt for IP 127.0.0.1, its own CA (ca.crt), and a CA of no one (stranger.crt).
    static void SetUpTestSuite() {
        std::filesystem::create_directories(folder);
        for (const char* name : {"server", "stranger"}) {
            std::istringstream words(
                "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                folder + "/" + name + ".key -out " + folder + "/" + name + ".crt");
            std::vector<std::string> argv = {"/usr/bin/openssl"};
            for (std::string word; words >> word;) argv.push_back(word);
            if (RunProcess(argv, {}, "").exitStatus != 0) return;
        }
        std::filesystem::copy_file(folder + "/server.crt", folder + "/ca.crt");
        std::ofstream(folder + "/ldap.conf") << "TLS_CACERT " << folder << "/ca.crt\n";
        std::ofstream(folder + "/lax.conf")
            << "TLS_CACERT " << folder << "/stranger.crt\nTLS_REQCERT never\n";
        tls = std::make_unique<DirectorySandbox>(0, folder);
        ready = tls->Ok() && tls->Add(kUsers) && DirectorySandbox::Get().Reset(kUsers);
    }
    static void TearDownTestSuite() { tls.reset(), std::filesystem::remove_all(folder); }
    void SetUp() override { ASSERT_TRUE(ready) << "no certificates or no TLS sandbox"; }

    // Each case: [Ldap] lines, the client configuration, whether the User
    // Details page of anna is shown, and the start of each log line.
    struct Case {
        std::string ldap;
        bool accepted;
        std::vector<std::string> logged;
        Environment env;
    };
    static void Check(Case c) {
        ASSERT_TRUE(tls->WriteConfig("[Ldap]\n" + c.ldap + "\n") && tls->ClearLog());
        c.env.emplace("XOMTA_CONFIG_DIR", tls->ConfigDir());
        ProcessResult result = RunCgiGet("Command=FindUser&Mail=anna%40example.com", c.env);
        EXPECT_EQ(result.exitStatus, 0) << c.ldap;
        EXPECT_NE(result.out.find(c.accepted ? "Smith" : kRefused), std::string::npos)
            << c.ldap << result.out;
        std::vector<std::string> texts = LogTexts(tls->ReadLog());
        ASSERT_EQ(texts.size(), c.logged.size()) << c.ldap << "\n" << tls->ReadLog();
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i].rfind(c.logged[i], 0), 0u) << c.ldap << ": " << texts[i];
    }

    static inline std::string folder = BinaryPath("test-scratch/tls");
    static inline std::unique_ptr<DirectorySandbox> tls;
    static inline bool ready = false;
};

// Certificates are checked whatever ldap.conf says; HostName lists servers
// tried in turn until one answers; one that refuses the bind ends the list.
TEST_F(DirectoryTls, CheckedCertificatesAreAcceptedAndTheFirstServerThatAnswersIsUsed) {
    const Environment caVariable = {{"LDAPTLS_CACERT", folder + "/ca.crt"}},
                      caConf = {{"LDAPCONF", folder + "/ldap.conf"}};
    const std::string ldaps = tls->TlsUri(), plain = DirectorySandbox::Get().Uri(),
                      localhost = "ldaps://localhost:" + ldaps.substr(ldaps.rfind(':') + 1);
    SilentServer frozen;  // accepts connections, never answers
    const std::string stopped = "ldap://127.0.0.1:1",
                      frozenUri = "ldap://127.0.0.1:" + std::to_string(frozen.Port());
    const std::string timedOut = "LDAP bind as \"cn=root\" failed: Timed out (-5)";
    ASSERT_NE(frozen.Port(), 0);
    const Case cases[] = {
        {"HostName=" + ldaps, true, {}, caVariable},
        {"HostName=127.0.0.1\nStartTLS=yes", true, {}, caConf},  // Port of the sandbox's own configuration
        {"HostName=" + ldaps,
         false,
         {"LDAP connect to " + ldaps +
          " failed: Can't contact LDAP server (-1), server message \"\", matched DN "
          "\"\", reason \"TLS: peer cert untrusted or revoked"},
         {{"LDAPCONF", folder + "/lax.conf"}}},
        {"HostName=" + localhost,
         false,
         {"LDAP connect to " + localhost + " failed"},
         caVariable},  // not its name
        {"HostName=" + plain + "\nStartTLS=yes",
         false,
         {"LDAP StartTLS with " + plain + " failed: "},
         caVariable},
        {"HostName= \t" + stopped + "\t " + ldaps + " \nTimeout=1",
         true,
         {"LDAP connect to " + stopped + " failed: Can't contact LDAP server"},
         caVariable},
        {"HostName=" + frozenUri + " " + tls->Uri() + "\nTimeout=1", true, {timedOut}, caVariable},
        {"HostName=" + stopped + " " + frozenUri + "\nTimeout=1",
         false,
         {"LDAP connect to " + stopped + " failed", timedOut},
         caVariable},
        {"HostName=" + tls->Uri() + " " + plain + "\nPassword=wrong",
         false,
         {"LDAP bind as \"cn=root\" failed: Invalid credentials (49)"},
         caVariable},
    };
    for (const Case& c : cases) Check(c);
}

}  // namespace
