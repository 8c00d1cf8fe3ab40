// Alias table builds that must not publish, or must not start: a denied or
// unusable alias table folder, images that cannot be written, a full disk
// during the extraction, the directory server stopped in the middle of the
// extraction, and a second build while one runs. Each is checked for its
// page, the alias sequence, the files and the log lines.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "tests/aliastable/build_fixture.h"
#include "tests/aliastable/build_relay.h"

namespace {

// Runs the CGI without the capabilities that let root bypass file
// permissions, so that a folder without write permission refuses it too.
CgiOptions WithoutPermissionBypass() {
    CgiOptions options;
    if (geteuid() == 0) {
        options.prefix = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
    }
    return options;
}

TEST_F(AliasBuildTest, DeniedAliasTablesFolderChangesNothing) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv not installed";
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "4"));
    ASSERT_EQ(chmod(queue_.c_str(), 0555), 0);
    CgiRun run = RunCommand("BuildAliasTable", WithoutPermissionBypass());
    chmod(queue_.c_str(), 0755);
    EXPECT_EQ(run.page, FailurePage(kDirectoryDenied));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(StoredSequence(), "4");
    EXPECT_FALSE(Exists(tables_));
    EXPECT_EQ(CountLevel(Log(), 1), 0);
}

TEST_F(AliasBuildTest, UnwritableAliasTablesFolderChangesNothing) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv not installed";
    ASSERT_EQ(mkdir(tables_.c_str(), 0550), 0);
    ASSERT_EQ(chmod(tables_.c_str(), 0550), 0);
    CgiRun run = RunCommand("BuildAliasTable", WithoutPermissionBypass());
    chmod(tables_.c_str(), 0770);
    EXPECT_EQ(run.page, FailurePage(kImagesNotWritten));
    EXPECT_EQ(StoredSequence(), "<none>");
    EXPECT_FALSE(Exists(Generation("1", ".db")));
    EXPECT_EQ(CountLogLines(Log(), 1, "Could not open the lock file " + tables_ + "/build.lock (errno:13)"), 1);
}

TEST_F(AliasBuildTest, QueueDirectoryBelowAFileChangesNothing) {
    std::ofstream(scratch_.Path() + "/plain") << "a file, not a folder";
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + scratch_.Path() + "/plain/queue\n"));
    CgiRun run = RunCommand("BuildAliasTable");
    EXPECT_EQ(run.page, FailurePage(kImagesNotWritten));
    EXPECT_EQ(StoredSequence(), "<none>");
    EXPECT_EQ(CountLogLines(Log(), 1, "Could not open the lock file " + scratch_.Path() +
                                           "/plain/queue/AliasTables/build.lock (errno:20)"), 1);
}

TEST_F(AliasBuildTest, MarkThatCannotBeWrittenStopsTheBuild) {
    // An entry in the sequence's place that cannot hold a value.
    ASSERT_TRUE(Sandbox().Add("dn: cn=profiles\nobjectClass: xoprofilesection\ncn: profiles\n\n"
                              "dn: cn=PreProcessor,cn=profiles\nobjectClass: xoprofilesection\ncn: PreProcessor\n\n"
                              "dn: cn=AliasSequence,cn=PreProcessor,cn=profiles\nobjectClass: xoprofilesection\n"
                              "cn: AliasSequence\n"));
    CgiRun run = RunCommand("BuildAliasTable");
    EXPECT_EQ(run.page, FailurePage("Could not write the new Mail Alias Sequence # to the LDAP server"));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(StoredSequence(), "<none>");
    EXPECT_FALSE(Exists(Generation("1", ".db")));
    EXPECT_TRUE(Log().empty());
    // The lock went with the failed build.
    ASSERT_TRUE(Sandbox().Reset(DomainsLdif()));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
}

TEST_F(AliasBuildTest, OverlongQueueDirectoryIsRefused) {
    ASSERT_TRUE(StoreProfileString("mqapi", "mqlocallinuxrootdir", "/" + std::string(4090, 'q')));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, FailurePage(kDirectoryDenied));
    EXPECT_EQ(StoredSequence(), "<none>");
    EXPECT_EQ(CountLogLines(Log(), 1, "Queue directory too long"), 1);
}

TEST_F(AliasBuildTest, ImageOnAFullDiskFailsTheBuild) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "2"));
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    // The string image goes to a device that is always full: the error shows
    // only when the stream is flushed.
    ASSERT_EQ(symlink("/dev/full", Generation("3", ".str").c_str()), 0);
    EXPECT_EQ(RunCommand("BuildAliasTable").page, FailurePage(kImagesNotWritten));
    EXPECT_EQ(StoredSequence(), "2!");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLogLines(log, 1, "WriteArray; Error writing to file " + Generation("3", ".str")), 1);
    EXPECT_EQ(CountLevel(log, 1), 1);
    // The other two images were written all the same.
    EXPECT_EQ(ModeOf(Generation("3", ".id0")), 0660);
    EXPECT_EQ(ModeOf(Generation("3", ".db")), 0660);
}

TEST_F(AliasBuildTest, WriteErrorDuringExtractionLeavesTheGenerationUnpublished) {
    std::string ldif;
    for (int i = 0; i < 50; ++i) {
        ldif += UserLdif("u" + std::to_string(i) + "@example.com",
                         {"u" + std::to_string(i) + "@example.com", "a" + std::to_string(i) + "@example.org"});
    }
    ASSERT_TRUE(Sandbox().Add(ldif));
    // The log goes to a file of its own that stays below the limit.
    std::string logFile = scratch_.Path() + "/build.log";
    ASSERT_TRUE(Sandbox().WriteConfig("[Log]\nFile=" + logFile + "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    CgiOptions options;
    options.fileSizeLimit = 6000;  // room for the images, not for 50 records
    CgiRun run = RunCommand("BuildAliasTable", options);
    EXPECT_EQ(run.page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "0!");
    std::string log = ReadFileBytes(logFile);
    // The write error shows at an add or when the relation is closed: either
    // way before publishing.
    EXPECT_NE(log.find(" 1 LDAP CGI["), std::string::npos) << log;
    EXPECT_NE(log.find("Error when writing"), std::string::npos) << log;
    EXPECT_NE(log.find("not published"), std::string::npos) << log;
    EXPECT_EQ(log.find("Written"), std::string::npos);
}

TEST_F(AliasBuildTest, PageIsHandedOverBeforeTheExtractionAndNumberPublishedAfter) {
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(20, 1)));
    LdapRelay relay(Sandbox().Port(), 0);
    ASSERT_TRUE(relay.Ok());
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) +
                                      "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    CgiProcess build = StartCgi("Command=BuildAliasTable");
    EXPECT_EQ(ReadPage(build), BuildPage(1));
    ASSERT_TRUE(relay.WaitHolding(30));
    // The request has ended for the web server; the build goes on.
    EXPECT_EQ(WaitRequestExit(build), 0);
    EXPECT_TRUE(StillRunning(build));
    EXPECT_EQ(StoredSequence(), "0!");
    relay.Release();
    EXPECT_EQ(WaitExit(build), 0);
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_TRUE(ToolCheck(tables_, "1"));
    EXPECT_EQ(TableRecords(tables_, "1").size(), 20u);
}

// Starts a build whose extraction goes through `relay` and waits until part
// of the users have arrived and the rest is held back.
CgiProcess StartHeldBuild(LdapRelay& relay, const std::string& queue, unsigned long number) {
    CgiProcess build;
    if (!relay.Ok() || !DirectorySandbox::Get().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) +
                                                            "\n[Gateway]\nQueueDirectory=" + queue + "\n")) {
        ADD_FAILURE() << "relay not ready";
        return build;
    }
    build = StartCgi("Command=BuildAliasTable");
    EXPECT_EQ(ReadPage(build), BuildPage(number));
    EXPECT_TRUE(relay.WaitHolding(30));
    return build;
}

TEST_F(AliasBuildTest, ConnectionLostDuringExtractionLeavesTheGenerationUnpublished) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "5"));
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(400, 2)));
    LdapRelay relay(Sandbox().Port(), 8192);  // some users arrive, then the rest is held
    CgiProcess build = StartHeldBuild(relay, queue_, 6);
    relay.Drop();
    EXPECT_EQ(WaitExit(build), 0);

    EXPECT_EQ(StoredSequence(), "5!");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLogLines(log, 1, "The search for Mail Aliases failed"), 1) << Joined(log);
    EXPECT_EQ(CountLogLines(log, 1, "Mail Alias Table 6 not published, the Mail Alias Sequence stays at 5"), 1);
    EXPECT_EQ(CountLevel(log, 1), 2);
    EXPECT_EQ(CountLogLines(log, 6, "Written"), 0);
    EXPECT_GT(CountLogLines(log, 6, "Entry user"), 0);
}

TEST_F(AliasBuildTest, ServerStoppedDuringExtractionLeavesTheGenerationUnpublished) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "5"));
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(400, 2)));
    LdapRelay relay(Sandbox().Port(), 8192);
    CgiProcess build = StartHeldBuild(relay, queue_, 6);
    ASSERT_TRUE(Sandbox().Stop());
    relay.Release();
    EXPECT_EQ(WaitExit(build), 0);
    ASSERT_TRUE(Sandbox().Start());

    // Whether the answers that the server had sent before it stopped hold
    // the whole result is up to the sockets: either the extraction fails or
    // the number cannot be published; both leave the sequence marked.
    EXPECT_EQ(StoredSequence(), "5!");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLogLines(log, 1, "The search for Mail Aliases failed") +
                  CountLogLines(log, 1, "Could not write the new Mail Alias Sequence # to the LDAP server"),
              1)
        << Joined(log);
    EXPECT_EQ(CountLogLines(log, 6, "Written"), 0);
}

TEST_F(AliasBuildTest, NumberThatCannotBePublishedLeavesTheSequenceMarked) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "5"));
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(30, 1)));
    LdapRelay relay(Sandbox().Port(), static_cast<std::size_t>(-1), true);
    ASSERT_TRUE(relay.Ok());
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) +
                                      "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    CgiRun run = RunCommand("BuildAliasTable");
    EXPECT_EQ(run.page, BuildPage(6));
    EXPECT_EQ(StoredSequence(), "5!");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLogLines(log, 1, "Could not write the new Mail Alias Sequence # to the LDAP server"), 1)
        << Joined(log);
    EXPECT_EQ(CountLevel(log, 1), 1);
    EXPECT_EQ(CountLogLines(log, 6, "Written"), 0);
    // The table itself is complete; it is only not published.
    EXPECT_TRUE(ToolCheck(tables_, "6"));
    EXPECT_EQ(TableRecords(tables_, "6").size(), 30u);
}

TEST_F(AliasBuildTest, BuildIsRefusedWhileAnotherHoldsTheLock) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "3"));
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    int lock = open((tables_ + "/build.lock").c_str(), O_RDWR | O_CREAT, 0660);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    CgiRun run = RunCommand("BuildAliasTable");
    close(lock);
    EXPECT_EQ(run.page, FailurePage(kBuildRunning));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(StoredSequence(), "3");
    EXPECT_FALSE(Exists(Generation("4", ".db")));
    EXPECT_EQ(CountLevel(Log(), 1), 0);
}

TEST_F(AliasBuildTest, TwoBuildsStartedTogetherOneRefusedTableSound) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "9"));
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(300, 2)));
    // Both go through the relay: the extraction that starts is held, so the
    // other build meets a build in progress whichever of them wins.
    LdapRelay relay(Sandbox().Port(), 0);
    ASSERT_TRUE(relay.Ok());
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) +
                                      "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    CgiProcess first = StartCgi("Command=BuildAliasTable");
    CgiProcess second = StartCgi("Command=BuildAliasTable");
    std::string secondPage;
    std::thread reader([&] { secondPage = ReadPage(second); });
    std::string firstPage = ReadPage(first);
    reader.join();
    ASSERT_TRUE(relay.WaitHolding(30));
    relay.Release();
    EXPECT_EQ(WaitExit(first), 0);
    EXPECT_EQ(WaitExit(second), 0);

    bool firstBuilt = firstPage == BuildPage(10);
    EXPECT_EQ(firstBuilt ? secondPage : firstPage, FailurePage(kBuildRunning));
    EXPECT_EQ(firstBuilt ? firstPage : secondPage, BuildPage(10));
    EXPECT_EQ(StoredSequence(), "10");
    EXPECT_TRUE(ToolCheck(tables_, "10"));
    EXPECT_EQ(TableRecords(tables_, "10").size(), 600u);
    EXPECT_FALSE(Exists(Generation("11", ".db")));
    EXPECT_EQ(CountLevel(Log(), 1), 0);
}

}  // namespace
