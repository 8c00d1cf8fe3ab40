// The aliastable tool's reader verbs run as a process (lookup, dump, check,
// prune) on tables the relation wrote, and on damaged ones, which it must
// refuse. The build verb is tested with the build, against the directory.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/generation_sum.h"
#include "platform/recbase/db_format.h"
#include "tests/support/db_test_support.h"
#include "tests/support/run_cgi.h"

namespace {

class AliasToolTest : public ::testing::Test {
protected:
    void SetUp() override { folder.SetLookupSetting(nullptr); }

    // Generation `name`, recorded as published: two known records and `count` generated ones.
    void Build(unsigned long count, const char* name = "5") {
        folder.WriteGeneration(name);
        recordBase database;
        dbMailAlias relation(&database, folder.path.c_str(), name);
        ASSERT_EQ(relation.status, DB_OK);
        ASSERT_EQ(AddAlias(&relation, "postmaster@example.org", "admin@example.org"), DB_OK);
        ASSERT_EQ(AddAlias(&relation, "Sales@Example.org", "jane@example.org"), DB_OK);
        for (unsigned long i = 0; i < count; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
        WriteWholeFile(folder.File("published"), name + std::string("\n"));
        Seal(name, relation.keysIgnoreCase());
    }
    // GEN.sum from the files as they are, as the build writes it.
    void Seal(const char* name = "5", bool ignoreCase = false) {
        char text[kGenerationSumSize], error[kGenerationSumErrorSize];
        ASSERT_TRUE(
            FormGenerationSum(folder.path.c_str(), name, ignoreCase, text, sizeof text, error, sizeof error))
            << error;
        WriteWholeFile(folder.File(name + std::string(".sum")), text);
    }

    ProcessResult Tool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), BinaryPath("aliastable"));
        return RunProcess(arguments, {{"XOMTA_CONFIG_DIR", folder.path}}, "");
    }
    ProcessResult Lookup(const std::string& alias) { return Tool({"lookup", folder.path, "5", alias}); }
    ProcessResult Check() { return Tool({"check", folder.path, "5"}); }
    // The verb's exit status and where its standard output and error hold `said`.
    void Expect(const ProcessResult& run, int exitStatus, const std::string& said) {
        EXPECT_EQ(run.exitStatus, exitStatus) << said << ": " << run.err;
        EXPECT_NE((run.out + run.err).find(said), std::string::npos) << run.out << run.err;
    }

    ScratchFolder folder;
};

TEST_F(AliasToolTest, LookupDumpAndCheckUnderTheCaseSetting) {
    Build(300);
    EXPECT_EQ(Lookup(GeneratedAlias(234)).out, GeneratedMail(234) + "\n");
    Expect(Lookup("sales@example.org"), 1, "no alias \"sales@example.org\"");  // exact without the setting
    std::set<std::string> lines = {"Sales@Example.org\tjane@example.org\n",
                                   "postmaster@example.org\tadmin@example.org\n"};
    for (unsigned long i = 0; i < 300; ++i) lines.insert(GeneratedAlias(i) + "\t" + GeneratedMail(i) + "\n");
    std::string dump;
    for (const std::string& line : lines) dump += line;  // key order
    EXPECT_EQ(Tool({"dump", folder.path, "5"}).out, dump);
    Expect(Check(), 0, "sound: 302 records, ");
    folder.SetLookupSetting("YES");
    Build(30);
    EXPECT_EQ(Lookup("SALES@EXAMPLE.ORG").out, "jane@example.org\n");
    // The setting changed since the build: said, as the sum records the old one.
    folder.SetLookupSetting("NO");
    ProcessResult check = Check();
    Expect(check, 1, "sound: 32 records, ");
    EXPECT_EQ(
        check.err,
        "aliastable: generation 5 was built with UseCaseSensitiveAliasLookup=YES, the setting is now NO: "
        "its lookups miss aliases until the next build\n");
    // A sum without the record, as written before it was kept: read under the setting.
    std::string sum = ReadWholeFile(folder.File("5.sum"));
    WriteWholeFile(folder.File("5.sum"), sum.substr(0, sum.find("UseCase")));
    Expect(Check(), 1, "out of order");
    folder.SetLookupSetting("YES");
    EXPECT_EQ(Check().exitStatus, 0);
}

TEST_F(AliasToolTest, WrongUsageMissingFilesAndDamageAreRefused) {
    Build(100);
    const std::string& dir = folder.path;
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        const char* said;
    } cases[] = {{{}, 2, "usage"},
                 {{"lookup", dir, "5"}, 2, "usage"},
                 {{"list", dir, "5"}, 2, "usage"},
                 {{"build", dir}, 2, "usage"},
                 {{"check", dir, "77"}, 1, "cannot open"},
                 {{"lookup", dir, "77", "a"}, 2, "cannot open"}};
    for (const Case& c : cases) Expect(Tool(c.arguments), c.exitStatus, c.said);
    // A byte changed anywhere in any file shows in check, naming the file.
    for (const char* file : {"5.db", "5.id0", "5.str"}) {
        std::string original = ReadWholeFile(folder.File(file));
        for (std::size_t offset : {std::size_t(0), original.size() / 2, original.size() - 1}) {
            std::string damaged = original;
            damaged[offset] = char(damaged[offset] ^ 0x20);
            WriteWholeFile(folder.File(file), damaged);
            ProcessResult check = Check();
            Expect(check, 1, std::string(file) + " differs from its checksum");
            EXPECT_EQ(check.out, "") << file << " byte " << offset;
        }
        WriteWholeFile(folder.File(file), original);
    }
    // Sealed again after the damage (npos: the last 3 bytes cut), the structure check finds it.
    struct Damage {
        const char* file;
        std::size_t offset;
        std::string bytes;
        const char* said;
    } damages[] = {{"5.str", std::string::npos, "", "5.str"},
                   {"5.db", 0x50, "\x01", "header differs"},
                   {"5.db", kDbRelationHeaderSize + 4, "X", "record 0 holds"}};
    for (const Damage& d : damages) {
        Build(100);
        std::string content = ReadWholeFile(folder.File(d.file));
        if (d.offset == std::string::npos)
            content.resize(content.size() - 3);
        else
            content.replace(d.offset, d.bytes.size(), d.bytes);
        WriteWholeFile(folder.File(d.file), content);
        Seal();
        Expect(Check(), 1, d.said);
    }
    // The index names a record that now holds another alias.
    Expect(Lookup("postmaster@example.org"), 2, "damaged");
    // A missing or damaged checksum file.
    struct Sum {
        std::string text;  // "<none>": no file
        const char* said;
    } sums[] = {{"<none>", "cannot open the checksum file"},
                {"", "no line for 5.db"},
                {std::string(300, 'x'), "too long"},
                {ReadWholeFile(folder.File("5.sum")) + "extra\n", "text after the last line"}};
    for (const Sum& c : sums) {
        unlink(folder.File("5.sum").c_str());
        if (c.text != "<none>") WriteWholeFile(folder.File("5.sum"), c.text);
        Expect(Check(), 1, c.said);
    }
}

// A generation that is not the recorded published one is refused whole,
// however sound its files: a build that failed may have left it.
TEST_F(AliasToolTest, OnlyThePublishedGenerationIsRead) {
    Build(10);
    const std::pair<const char*, const char*> records[] = {
        // the record, what the refusal says of it ("": no record)
        {"", "none is recorded"},  {"3\n", "published: 3"},      {"05\n", "published: 05"},
        {"5", "none is recorded"}, {"5x\n", "none is recorded"}, {"-5\n", "none is recorded"}};
    for (auto [record, said] : records) {
        unlink(folder.File("published").c_str());
        if (record[0] != '\0') WriteWholeFile(folder.File("published"), record);
        const std::string expected =
            "aliastable: generation 5 in " + folder.path + " is not the published one (" + said + ")\n";
        for (std::vector<std::string> arguments : {std::vector<std::string>{"check", folder.path, "5"},
                                                   {"dump", folder.path, "5"},
                                                   {"lookup", folder.path, "5", "postmaster@example.org"}}) {
            ProcessResult run = Tool(arguments);
            EXPECT_EQ(run.exitStatus, arguments[0] == "check" ? 1 : 2) << record << arguments[0];
            EXPECT_EQ(run.out + run.err, expected) << arguments[0];
        }
    }
    // Superseded since the caller read the record: lookup and dump are served
    // once more from the recorded one; check takes none but its own.
    Build(20, "6");
    ProcessResult found = Lookup(GeneratedAlias(17));  // only in 6
    EXPECT_EQ(found.out, GeneratedMail(17) + "\n");
    EXPECT_EQ(found.err, "aliastable: generation 5 was superseded; reading 6\n");
    EXPECT_EQ(Tool({"dump", folder.path, "5"}).out, Tool({"dump", folder.path, "6"}).out);
    EXPECT_EQ(Check().exitStatus, 1);
}

// prune keeps the recorded generation and KEEP-1 before it, never a later
// one; nothing goes while a build holds the lock, or without a record.
TEST_F(AliasToolTest, PruneKeepsThePublishedAndTheOnesBefore) {
    for (std::string name : {"1", "2", "3", "4", "6"}) folder.WriteGeneration(name), Seal(name.c_str());
    Build(3);
    WriteWholeFile(folder.File("05.db"), "x");
    auto left = [&] {  // per generation: its digit when whole, '-' when gone
        std::string shown;
        for (char name = '1'; name <= '6'; ++name) {
            int count = 0;
            for (const char* extension : {".db", ".id0", ".str", ".sum"})
                count += access(folder.File(name + std::string(extension)).c_str(), F_OK) == 0;
            shown += count == 4 ? name : count == 0 ? '-' : '?';
        }
        return shown;
    };
    int held = -1;
    struct Case {
        std::function<void()> setup;
        const char* keep;
        int exitStatus;
        std::string said, left;
    } cases[] = {
        {[] {}, "0", 2, "usage", "123456"},
        {[] {}, "3", 1, "cannot open the build lock: No such file", "123456"},
        {[&] {
             held = open(folder.File("build.lock").c_str(), O_RDWR | O_CREAT, 0660), flock(held, LOCK_EX);
         },
         "3", 1, "a build is running in " + folder.path + "; nothing removed\n", "123456"},
        {[&] { close(held); }, "3", 0, "pruned: 8 files removed; kept generation 5 and those from 3 on\n",
         "--3456"},
        {[] {}, "1", 0, "pruned: 8 files removed; kept generation 5 and those from 5 on\n", "----56"},
        {[&] { unlink(folder.File("published").c_str()); }, "1", 1, "no published generation", "----56"},
    };
    for (Case& c : cases) {
        c.setup();
        Expect(Tool({"prune", folder.path, c.keep}), c.exitStatus, c.said);
        EXPECT_EQ(left(), c.left) << c.said;
    }
    EXPECT_EQ(ReadWholeFile(folder.File("05.db")), "x");
}

// A FIFO in a file's place is refused at once, not waited on.
TEST_F(AliasToolTest, NonRegularFilesAreRefusedWithoutWaiting) {
    WriteWholeFile(folder.File("build.lock"), "");
    struct Case {
        const char* fifo;
        std::vector<std::string> arguments;
        int exitStatus;
        const char* said;
    } cases[] = {{"5.sum", {"check", folder.path, "5"}, 1, "5.sum: not a regular file"},
                 {"5.db", {"lookup", folder.path, "5", "x"}, 2, "5.db is not a regular file"},
                 {"published", {"dump", folder.path, "5"}, 2, "(none is recorded)"},
                 {"build.lock", {"prune", folder.path, "1"}, 1, "build lock: not a regular file"}};
    for (Case& c : cases) {
        Build(3);
        unlink(folder.File(c.fifo).c_str());
        ASSERT_EQ(mkfifo(folder.File(c.fifo).c_str(), 0660), 0);
        c.arguments.insert(c.arguments.begin(), {"/usr/bin/timeout", "20", BinaryPath("aliastable")});
        Expect(RunProcess(c.arguments, {{"XOMTA_CONFIG_DIR", folder.path}}, ""), c.exitStatus, c.said);
        unlink(folder.File(c.fifo).c_str());
    }
}

}  // namespace
