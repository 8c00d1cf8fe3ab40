// Fixture of the alias table build tests: an emptied sandbox directory with
// the example domains, a scratch folder with a queue directory named in
// XOMTA.INI, and the log offset at the start of the test.
#ifndef LDAPCGI_TESTS_ALIASTABLE_BUILD_FIXTURE_H
#define LDAPCGI_TESTS_ALIASTABLE_BUILD_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/aliastable/build_support.h"
#include "tests/support/directory_sandbox.h"

constexpr char kNotConnected[] = "Error connecting to LDAP server, Alias Table not built";
constexpr char kDirectoryDenied[] = "Could create Alias Directory for the Mail Alias Tables";
constexpr char kImagesNotWritten[] = "Error Writing the Disk Images for the Mail Alias Tables.";
constexpr char kBuildRunning[] = "Another Mail Alias Table build is in progress, Alias Table not built";

class AliasBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sandbox().Ok());
        ASSERT_TRUE(Sandbox().Reset(DomainsLdif()));
        ASSERT_FALSE(scratch_.Path().empty());
        queue_ = scratch_.Path() + "/queue";
        tables_ = queue_ + "/AliasTables";
        ASSERT_EQ(mkdir(queue_.c_str(), 0755), 0);
        ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n"));
        logStart_ = LogSize();
    }
    void TearDown() override {
        if (!Sandbox().Ok()) Sandbox().Start();
        Sandbox().WriteConfig();
    }

    static DirectorySandbox& Sandbox() { return DirectorySandbox::Get(); }
    std::vector<std::string> Log() const { return LogLinesSince(logStart_); }
    std::string Generation(const std::string& number, const std::string& extension) const {
        return tables_ + "/" + number + extension;
    }

    ScratchDir scratch_;
    std::string queue_;
    std::string tables_;
    std::size_t logStart_ = 0;
};

#endif
