// The alias table build against the sandbox slapd, run as the web server
// runs it: the page, the alias sequence, the generation files and their
// modes, the records and lookups, and the log lines of successful builds.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

#include "tests/aliastable/build_fixture.h"

namespace {

using Records = std::map<std::string, std::string>;

TEST_F(AliasBuildTest, FirstBuildCreatesGenerationOneAndPublishesIt) {
    ASSERT_TRUE(Sandbox().Add(
        // The primary address in capitals among the values gives no record.
        UserLdif("anna@example.com", {"ANNA@EXAMPLE.COM", "a.smith@example.com"}) +
        UserLdif("bob@example.com", {"bob@example.com"}) +
        UserLdif("carol@example.org", {"carol@example.org", "Carol.K@Example.ORG", "ck@example.com"})));
    ASSERT_EQ(StoredSequence(), "<none>");

    CgiRun run = RunCommand("BuildAliasTable");
    EXPECT_EQ(run.page, BuildPage(1));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(StoredSequence(), "1");

    EXPECT_EQ(ModeOf(tables_), 0770);
    for (const char* extension : {".db", ".id0", ".str"}) {
        EXPECT_EQ(ModeOf(Generation("1", extension)), 0660) << extension;
    }
    EXPECT_TRUE(ToolCheck(tables_, "1"));
    EXPECT_EQ(TableRecords(tables_, "1"), (Records{{"a.smith@example.com", "anna@example.com"},
                                                   {"Carol.K@Example.ORG", "carol@example.org"},
                                                   {"ck@example.com", "carol@example.org"}}));
    EXPECT_NE(ToolLookup(tables_, "1", "ck@example.com").find("carol@example.org"), std::string::npos);
    EXPECT_EQ(ToolLookup(tables_, "1", "bob@example.com"), "");

    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLogLines(log, 6, "Entry anna@example.com, Alias \"a.smith@example.com\""), 1);
    EXPECT_EQ(CountLogLines(log, 6, "Entry carol@example.org, Alias \"Carol.K@Example.ORG\""), 1);
    EXPECT_EQ(CountLogLines(log, 6, "Entry bob@example.com"), 0);
    EXPECT_EQ(CountLogLines(log, 6, "Written 3 records to the New Alias File 1.db"), 1);
    EXPECT_EQ(CountLevel(log, 1), 0);
}

TEST_F(AliasBuildTest, MarkedSequenceBuildsTheNextGenerationOverLeftovers) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "7!"));
    ASSERT_TRUE(Sandbox().Add(UserLdif("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    // A failed earlier build left generation 8 behind; generation 7 is current.
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    for (const char* extension : {".db", ".id0", ".str"}) {
        std::ofstream(Generation("8", extension)) << std::string(5000, 'x');
        std::ofstream(Generation("7", extension)) << "current";
    }

    CgiRun run = RunCommand("BuildAliasTable");
    EXPECT_EQ(run.page, BuildPage(8));
    EXPECT_EQ(StoredSequence(), "8");
    EXPECT_TRUE(ToolCheck(tables_, "8"));
    EXPECT_EQ(TableRecords(tables_, "8"), (Records{{"anna.s@example.com", "anna@example.com"}}));
    EXPECT_EQ(ReadFileBytes(Generation("7", ".db")), "current");
    EXPECT_EQ(CountLogLines(Log(), 6, "Written 1 records to the New Alias File 8.db"), 1);
}

TEST_F(AliasBuildTest, PlainSequenceIsIncreasedAndEarlierGenerationsKept) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "41"));
    ASSERT_TRUE(Sandbox().Add(UserLdif("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(42));
    EXPECT_EQ(StoredSequence(), "42");
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(43));
    EXPECT_EQ(StoredSequence(), "43");
    EXPECT_TRUE(ToolCheck(tables_, "42"));
    EXPECT_TRUE(ToolCheck(tables_, "43"));
}

TEST_F(AliasBuildTest, DirectoryWithoutAliasesPublishesAnEmptyTable) {
    ASSERT_TRUE(Sandbox().Add(UserLdif("bob@example.com", {"bob@example.com"})));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_TRUE(ToolCheck(tables_, "1"));
    EXPECT_TRUE(TableRecords(tables_, "1").empty());
    EXPECT_EQ(CountLogLines(Log(), 6, "Written 0 records to the New Alias File 1.db"), 1);
}

TEST_F(AliasBuildTest, AliasOfTwoUsersGivesOneRecordWithoutError) {
    ASSERT_TRUE(Sandbox().Add(UserLdif("anna@example.com", {"anna@example.com", "office@example.com"}) +
                              UserLdif("bob@example.com", {"bob@example.com", "office@example.com"})));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    Records records = TableRecords(tables_, "1");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records["office@example.com"] == "anna@example.com" ||
                records["office@example.com"] == "bob@example.com");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLevel(log, 1), 0);
    EXPECT_EQ(CountLogLines(log, 6, "Written 1 records to the New Alias File 1.db"), 1);
}

TEST_F(AliasBuildTest, EntriesThatAreNoUsersGiveNoRecords) {
    ASSERT_TRUE(Sandbox().Add(
        "dn: cn=list,dc=example,dc=com\nobjectClass: xoperson\ncn: list\n"
        "mail: list@example.com\nmail: list-alias@example.com\n\n" +
        UserLdif("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(TableRecords(tables_, "1"), (Records{{"anna.s@example.com", "anna@example.com"}}));
    EXPECT_EQ(CountLevel(Log(), 1), 0);
}

TEST_F(AliasBuildTest, LongAliasIsStoredCutAndReported) {
    std::string longAlias = std::string(140, 'l') + "@example.com";
    ASSERT_TRUE(Sandbox().Add(UserLdif("anna@example.com", {"anna@example.com", longAlias})));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_EQ(TableRecords(tables_, "1"), (Records{{longAlias.substr(0, 127), "anna@example.com"}}));
    EXPECT_EQ(CountLogLines(Log(), 1, "is longer than 127 characters"), 1);
}

TEST_F(AliasBuildTest, RecordLimitDoesNotShortenTheTable) {
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(12, 2)));
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nRecordLimit=3\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    Records records = TableRecords(tables_, "1");
    EXPECT_EQ(records.size(), 24u);
    EXPECT_EQ(records["alias1.user11@example.org"], "user11@example.com");
    EXPECT_EQ(CountLogLines(Log(), 6, "Written 24 records to the New Alias File 1.db"), 1);
}

TEST_F(AliasBuildTest, LogLevelBelowProgressKeepsEveryRecordAndTheErrors) {
    std::string longAlias = std::string(130, 'm') + "@example.com";
    ASSERT_TRUE(Sandbox().Add(ManyUsersLdif(6, 3) +
                              UserLdif("anna@example.com", {"anna@example.com", "anna.s@example.com", longAlias})));
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n[Log]\nLevel=5\n"));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    Records records = TableRecords(tables_, "1");
    EXPECT_EQ(records.size(), 20u);
    EXPECT_EQ(records["alias2.user5@example.org"], "user5@example.com");
    EXPECT_EQ(records["anna.s@example.com"], "anna@example.com");
    EXPECT_EQ(records[longAlias.substr(0, 127)], "anna@example.com");
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountLevel(log, 6), 0);
    EXPECT_EQ(CountLogLines(log, 1, "is longer than 127 characters"), 1);

    // Back to every level: the next build logs each alias again.
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(2));
    log = Log();
    EXPECT_EQ(CountLogLines(log, 6, "Entry user"), 18);
    EXPECT_EQ(CountLogLines(log, 6, "Entry anna@example.com, Alias"), 2);
    EXPECT_EQ(CountLogLines(log, 6, "Written 20 records to the New Alias File 2.db"), 1);
}

TEST_F(AliasBuildTest, EmptyQueueDirectoryMeansAliasTablesInTheWorkingFolder) {
    ASSERT_TRUE(Sandbox().WriteConfig());
    ASSERT_TRUE(Sandbox().Add(UserLdif("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    std::string cwd = scratch_.Path() + "/cwd";
    ASSERT_EQ(mkdir(cwd.c_str(), 0755), 0);
    CgiOptions options;
    options.cwd = cwd;
    EXPECT_EQ(RunCommand("BuildAliasTable", options).page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_EQ(ModeOf(cwd + "/AliasTables"), 0770);
    EXPECT_TRUE(ToolCheck(cwd + "/AliasTables", "1"));
    EXPECT_EQ(TableRecords(cwd + "/AliasTables", "1").size(), 1u);
}

TEST_F(AliasBuildTest, QueueDirectoryInTheDirectoryComesBeforeTheIni) {
    std::string other = scratch_.Path() + "/other";
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    ASSERT_TRUE(StoreProfileString("mqapi", "mqlocallinuxrootdir", other));
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_TRUE(ToolCheck(other + "/AliasTables", "1"));
    EXPECT_FALSE(Exists(tables_));
}

TEST_F(AliasBuildTest, QueueDirectoryWithTrailingSlashIsUsedAsGiven) {
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "/\n"));
    // A folder where an image belongs makes the doubled "/" show in the log.
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    ASSERT_EQ(mkdir(Generation("1", ".id0").c_str(), 0770), 0);
    EXPECT_EQ(RunCommand("BuildAliasTable").page, FailurePage(kImagesNotWritten));
    EXPECT_EQ(CountLogLines(Log(), 1, "WriteArray; Could not open file " + queue_ + "//AliasTables/1.id0 for write (errno:21)"), 1);
    rmdir(Generation("1", ".id0").c_str());

    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_TRUE(ToolCheck(tables_, "1"));
}

TEST_F(AliasBuildTest, ExistingAliasTablesFolderIsUsedUnchanged) {
    ASSERT_EQ(mkdir(tables_.c_str(), 0750), 0);
    ASSERT_EQ(chmod(tables_.c_str(), 0750), 0);
    std::ofstream(tables_ + "/notes.txt") << "kept";
    EXPECT_EQ(RunCommand("BuildAliasTable").page, BuildPage(1));
    EXPECT_EQ(StoredSequence(), "1");
    EXPECT_EQ(ModeOf(tables_), 0750);
    EXPECT_EQ(ReadFileBytes(tables_ + "/notes.txt"), "kept");
    EXPECT_TRUE(ToolCheck(tables_, "1"));
}

}  // namespace
