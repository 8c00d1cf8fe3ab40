// The test directory server itself: reset, add, stop/restart with the same
// data, the XOMTA.INI it writes, and the script's start/load/stop for CI and
// local runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace {

const char kDomainLdif[] =
    "dn: dc=org\nobjectClass: domain\ndc: org\n\n"
    "dn: dc=example,dc=org\nobjectClass: domain\ndc: example\n";

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Environment PathOnly() { return {{"PATH", getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"}}; }

TEST(DirectorySandbox, ResetReplacesEveryEntry) {
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ASSERT_TRUE(sandbox.Ok());
    ASSERT_TRUE(sandbox.Reset(kDomainLdif));
    EXPECT_NE(sandbox.Search("", "(dc=example)", "dn").find("dn: dc=example,dc=org"), std::string::npos);
    ASSERT_TRUE(sandbox.Reset("dn: dc=net\nobjectClass: domain\ndc: net\n"));
    EXPECT_EQ(sandbox.Search("", "(objectClass=*)", "dn"), "dn: dc=net\n\n");
    ASSERT_TRUE(sandbox.Reset());
    EXPECT_EQ(sandbox.Search("", "(objectClass=*)", "dn"), "");
    EXPECT_FALSE(sandbox.Add("dn: dc=x,dc=missing\nobjectClass: domain\ndc: x\n"));
}

TEST(DirectorySandbox, StopAndStartKeepPortAndData) {
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ASSERT_TRUE(sandbox.Reset(kDomainLdif));
    int port = sandbox.Port();
    ASSERT_TRUE(sandbox.Stop());
    EXPECT_EQ(sandbox.Search("", "(objectClass=*)", "dn"), "");
    ASSERT_TRUE(sandbox.Start());
    EXPECT_EQ(sandbox.Port(), port);
    EXPECT_NE(sandbox.Search("", "(dc=example)", "dn").find("dc=example,dc=org"), std::string::npos);
}

TEST(DirectorySandbox, WriteConfigMergesSections) {
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ASSERT_TRUE(sandbox.WriteConfig("[ldap]\nRecordLimit=10\nport=7\n[Gateway]\nQueueDirectory=/q\n"));
    std::string ini = ReadText(sandbox.ConfigDir() + "/XOMTA.INI");
    EXPECT_EQ(ini,
              "[Ldap]\nHostName=127.0.0.1\nPort=7\nUserName=cn=root\nPassword=kpqz\nRecordLimit=10\n\n"
              "[Log]\nFile=" + sandbox.LogFile() + "\n\n[Gateway]\nQueueDirectory=/q\n\n");
    ASSERT_TRUE(sandbox.WriteConfig());
    EXPECT_NE(ReadText(sandbox.ConfigDir() + "/XOMTA.INI").find("Port=" + std::to_string(sandbox.Port()) + "\n"),
              std::string::npos);
}

TEST(DirectorySandboxScript, StartLoadStop) {
    char pattern[] = LDAPCGI_BINARY_DIR "/sandboxes/scriptXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::string script = SourcePath("scripts/directory-sandbox");
    std::string ldif = dir + "/seed.ldif";
    std::ofstream(ldif) << kDomainLdif;

    ProcessResult started = RunProcess({script, "start", dir + "/s", ldif}, PathOnly(), "");
    ASSERT_EQ(started.exitStatus, 0) << started.err;
    int port = atoi(started.out.c_str());
    ASSERT_GT(port, 0);
    EXPECT_NE(ReadText(dir + "/s/XOMTA.INI").find("Port=" + std::to_string(port) + "\n"), std::string::npos);
    std::string uri = "ldap://127.0.0.1:" + std::to_string(port);
    std::vector<std::string> search = {"/usr/bin/ldapsearch", "-LLL", "-x", "-H", uri, "-D", "cn=root",
                                       "-w", "kpqz", "-b", "", "(dc=*)", "dn"};

    std::ofstream(dir + "/more.ldif") << "dn: dc=net\nobjectClass: domain\ndc: net\n";
    EXPECT_EQ(RunProcess({script, "load", dir + "/s", dir + "/more.ldif"}, PathOnly(), "").exitStatus, 0);
    std::string listed = RunProcess(search, PathOnly(), "").out;
    EXPECT_NE(listed.find("dn: dc=example,dc=org"), std::string::npos);
    EXPECT_NE(listed.find("dn: dc=net"), std::string::npos);

    // A second start in the same folder is refused while the first runs.
    EXPECT_NE(RunProcess({script, "start", dir + "/s"}, PathOnly(), "").exitStatus, 0);

    int pid = atoi(ReadText(dir + "/s/slapd.pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(RunProcess({script, "stop", dir + "/s"}, PathOnly(), "").exitStatus, 0);
    EXPECT_NE(kill(pid, 0), 0);
    EXPECT_NE(RunProcess(search, PathOnly(), "").exitStatus, 0);
    RunProcess({"/bin/rm", "-rf", dir}, PathOnly(), "");
}

}  // namespace
