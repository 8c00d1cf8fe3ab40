// The audit trail that requests leave, against the sandbox directory: a
// rename, and an alias table build refused while another build holds the
// lock. Each line holds the requester, the command, the operation and names,
// and the result; the bind password never reaches the log. The other
// changes' lines are the directory test's (and the audited_changes check
// keeps every change on that audited path), a published build's the alias
// table build test's, the forged requests' (and the command that NewUser's
// Submit stands for) the hostile suite's, the quoting of values base/'s. It
// resets the shared sandbox's entries and configuration and builds in a
// queue folder inside its configuration folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"

namespace {

using std::string;
using Strings = std::vector<string>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

const string kWho = "audit: user=\"admin\" address=\"192.0.2.7\" command=";

// Sends the url-encoded body and checks the audit lines that follow: the
// requester and each of `parts`, whole.
void ExpectAuditLines(const string& body, Strings parts) {
    ASSERT_TRUE(Dir().ClearLog());
    RunCgiPost(
        body,
        {{"REMOTE_USER", "admin"}, {"REMOTE_ADDR", "192.0.2.7"}, {"XOMTA_CONFIG_DIR", Dir().ConfigDir()}});
    for (string& part : parts) part = kWho + part;
    EXPECT_EQ(LogTexts(Dir().ReadLog(), "4"), parts) << body;
    EXPECT_EQ(Dir().ReadLog().find(Dir().RootPassword()), string::npos) << body;  // the bind's
}

TEST(AuditLines, ARenameAndARefusedBuildLeaveTheirLinesWithWhoWhatAndResult) {
    const string queue = Dir().ConfigDir() + "/audit-queue", ok = " result=0 (Success)";
    const string lee = "mail=lee@example.com,dc=example,dc=com\"",
                 leo = "mail=leo@example.com,dc=example,dc=com\"";
    ASSERT_TRUE(system(("rm -rf '" + queue + "'").c_str()) == 0 && mkdir(queue.c_str(), 0755) == 0 &&
                mkdir((queue + "/AliasTables").c_str(), 0770) == 0);
    ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue + "\n") &&
                Dir().Reset(string(kExampleDomainLdif) +
                            "dn: mail=lee@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                            "mail: lee@example.com\nfirstname: Lee\nsn: Stone\n"));
    ExpectAuditLines(
        "Command=UpdateUser&MailNdx=lee%40example.com&FirstName=&LastName=Stone&TelNo=&Address=&"
        "Mail=leo%40example.com",
        {"\"UpdateUser\" rename \"" + lee + " to \"" + leo + ok,
         "\"UpdateUser\" modify \"" + leo + " -firstname=\"Lee\" +cn=\"Stone\"" + ok});
    int lock = open((queue + "/AliasTables/build.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_TRUE(lock >= 0 && flock(lock, LOCK_EX) == 0);
    ExpectAuditLines(
        "Command=BuildAliasTable",
        {"\"BuildAliasTable\" alias-table-build result=not-published (Another Mail Alias Table build is in "
         "progress, Alias Table not built)"});
    close(lock);
}

}  // namespace
