// The "Build Alias Table" menu page, run as the web server runs it: the
// whole page with and without the in-progress warning, and the page when the
// directory cannot be reached.
#include "tests/aliastable/build_fixture.h"

namespace {

TEST_F(AliasBuildTest, MenuWithoutSequenceHasNoWarning) {
    CgiRun run = RunCommand("AliasTable");
    EXPECT_EQ(run.page, MenuPage(false));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(StoredSequence(), "<none>");
}

TEST_F(AliasBuildTest, MenuWarnsOnlyOfAMarkedSequence) {
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "7"));
    EXPECT_EQ(RunCommand("AliasTable").page, MenuPage(false));
    ASSERT_TRUE(Sandbox().Reset(DomainsLdif()));
    ASSERT_TRUE(StoreProfileString("PreProcessor", "AliasSequence", "7!"));
    EXPECT_EQ(RunCommand("AliasTable").page, MenuPage(true));
    EXPECT_EQ(StoredSequence(), "7!");
}

TEST_F(AliasBuildTest, MenuAndBuildWithoutDirectoryServer) {
    ASSERT_TRUE(Sandbox().WriteConfig("[Ldap]\nPort=" + std::to_string(FreePort()) +
                                      "\n[Gateway]\nQueueDirectory=" + queue_ + "\n"));
    CgiRun menu = RunCommand("AliasTable");
    EXPECT_EQ(menu.page, PageHeader("Build Alias Table") +
                             ResultBox("Error connecting to LDAP server, Alias Table can not be built") + kPageEnd);
    EXPECT_EQ(menu.exitStatus, 0);
    CgiRun build = RunCommand("BuildAliasTable");
    EXPECT_EQ(build.page, FailurePage(kNotConnected));
    EXPECT_EQ(build.exitStatus, 0);
    EXPECT_FALSE(Exists(tables_));
    EXPECT_TRUE(Log().empty());
}

}  // namespace
