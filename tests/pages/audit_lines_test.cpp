// The audit trail that requests leave, against the sandbox directory: a user
// created with the domain entries it adds, a rename, a refusal that changes
// nothing, and the alias table build with its sequence writes, then refused
// while another build holds the lock. Each line holds the requester, the
// command, the operation and names, and the result; the bind password never
// reaches the log. The other changes' lines are the directory test's, the
// forged requests' (and the command that NewUser's Submit stands for) the
// hostile suite's, the quoting of values base/'s. It resets the shared
// sandbox's entries and configuration and builds in a queue folder inside its
// configuration folder.
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

constexpr int kBuildWaits = 200;  // of 50 ms: the build goes on after its page
const string kWho = "audit: user=\"admin\" address=\"192.0.2.7\" command=";

// Sends the url-encoded body and checks the audit lines that follow: each
// begins with the requester and a part's text before " ... " and ends with
// the text after it. `awaited`: a text of the last line, written later.
void ExpectAuditLines(const string& body, const Strings& parts, const string& awaited = "") {
    ASSERT_TRUE(Dir().ClearLog());
    RunCgiPost(
        body,
        {{"REMOTE_USER", "admin"}, {"REMOTE_ADDR", "192.0.2.7"}, {"XOMTA_CONFIG_DIR", Dir().ConfigDir()}});
    for (int wait = 0; wait < kBuildWaits && Dir().ReadLog().find(awaited) == string::npos; ++wait)
        usleep(50000);
    const Strings lines = LogTexts(Dir().ReadLog(), "4");
    ASSERT_EQ(lines.size(), parts.size()) << body << "\n" << Dir().ReadLog();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const string part = kWho + parts[i];
        const std::size_t cut = part.find(" ... ");
        const string head = part.substr(0, cut), tail = cut == string::npos ? "" : part.substr(cut + 4);
        EXPECT_TRUE(lines[i].rfind(head, 0) == 0 && lines[i].size() >= head.size() + tail.size() &&
                    lines[i].compare(lines[i].size() - tail.size(), tail.size(), tail) == 0)
            << body << ": " << lines[i] << "\nis no " << part;
    }
    EXPECT_EQ(Dir().ReadLog().find(Dir().RootPassword()), string::npos) << body;  // the bind's
}

TEST(AuditLines, EachKindOfChangeLeavesItsLinesWithWhoWhatAndResult) {
    const string queue = Dir().ConfigDir() + "/audit-queue", ok = " ... result=0 (Success)";
    const string lee = "mail=lee@new.example.org,dc=new,dc=example,dc=org\"",
                 leo = "mail=leo@new.example.org,dc=new,dc=example,dc=org\"", add = "\"NewUser\" add \"";
    ASSERT_TRUE(system(("rm -rf '" + queue + "'").c_str()) == 0 && mkdir(queue.c_str(), 0755) == 0);
    ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue + "\n") &&
                Dir().Reset(string(kExampleDomainLdif) +  // one alias for the build
                            "dn: mail=anna@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                            "mail: anna@example.com\nmail: ann@example.com\nsn: Smith\n"));
    // A new domain's entries first.
    ExpectAuditLines(
        "Command=NewUser&Submit=Create+User&FirstName=Lee&LastName=Stone&TelNo=&Address=&Mail=lee%40new.example.org",
        {add + "dc=org\"" + ok, add + "dc=example,dc=org\"" + ok, add + "dc=new,dc=example,dc=org\"" + ok,
         add + lee + " +objectClass=\"xoperson\"" + ok});
    ExpectAuditLines(
        "Command=UpdateUser&MailNdx=lee%40new.example.org&FirstName=&LastName=Stone&TelNo=&Address=&"
        "Mail=leo%40new.example.org",
        {"\"UpdateUser\" rename \"" + lee + " to \"" + leo + ok,
         "\"UpdateUser\" modify \"" + leo + " -firstname=\"Lee\"" + ok});
    ExpectAuditLines("Command=VerifyDeleteUser&Mail=nobody%40example.com", {});  // refused before any change
    const string
        build = "\"BuildAliasTable\" alias-table-build ",
        sequence = "\"BuildAliasTable\" profile-string section=\"PreProcessor\" key=\"AliasSequence\" value=";
    ExpectAuditLines("Command=BuildAliasTable",
                     {sequence + "\"0!\" result=0 (Success)", sequence + "\"1\" result=0 (Success)",
                      build + "generation=1 result=published (1 records)"},
                     "alias-table-build");
    int lock = open((queue + "/AliasTables/build.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_TRUE(lock >= 0 && flock(lock, LOCK_EX) == 0);
    ExpectAuditLines(
        "Command=BuildAliasTable",
        {build + "result=not-published (Another Mail Alias Table build is in progress, Alias Table "
                 "not built)"});
    close(lock);
}

}  // namespace
