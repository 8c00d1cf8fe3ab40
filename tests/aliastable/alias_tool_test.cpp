// The aliastable tool's reader verbs run as a process (lookup, dump, check,
// prune) on tables the relation wrote, and on damaged ones, which it must
// refuse. The build verb is tested with the build, against the directory.
#include <fcntl.h>
#include <sys/file.h>

#include <functional>
#include <tuple>

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

    // The tool with `arguments` ("D": the folder), stopped if it waits; bound by file permissions.
    ProcessResult Tool(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = NoBypass();
        argv.insert(argv.end(), {"/usr/bin/timeout", "20", BinaryPath("aliastable")});
        for (const std::string& argument : arguments)
            argv.push_back(argument == "D" ? folder.path : argument);
        return RunProcess(argv, {{"XOMTA_CONFIG_DIR", folder.path}}, "");
    }
    // The exit status, and standard output and error holding `said`.
    ProcessResult Expect(const std::vector<std::string>& arguments, int exitStatus, const std::string& said) {
        ProcessResult run = Tool(arguments);
        EXPECT_EQ(run.exitStatus, exitStatus) << said << ": " << run.err;
        EXPECT_NE((run.out + run.err).find(said), std::string::npos) << run.out << run.err;
        return run;
    }

    ScratchFolder folder;
    const std::vector<std::string> check = {"check", "D", "5"}, dump = {"dump", "D", "5"};
};

TEST_F(AliasToolTest, LookupDumpAndCheckUnderTheCaseSetting) {
    Build(0);
    EXPECT_EQ(Tool({"lookup", "D", "5", "postmaster@example.org"}).out, "admin@example.org\n");
    Expect({"lookup", "D", "5", "sales@example.org"}, 1, "no alias \"sales@example.org\"");  // exact
    Expect({"lookup", "D", "5", "x\x1b[2J"}, 1, "no alias \"x\\x1B[2J\"");
    EXPECT_EQ(Tool(dump).out,
              "Sales@Example.org\tjane@example.org\npostmaster@example.org\tadmin@example.org\n");
    Expect(check, 0, "sound: 2 records, ");
    // Tables already written carry CRC-32C sums: its check value, bytes split anywhere.
    const unsigned char* digits = reinterpret_cast<const unsigned char*>("123456789");
    EXPECT_EQ(Crc32c(Crc32c(0, digits, 1), digits + 1, 8), 0xE3069283u);
    folder.SetLookupSetting("YES");
    Build(0);
    EXPECT_EQ(Tool({"lookup", "D", "5", "SALES@EXAMPLE.ORG"}).out, "jane@example.org\n");
    // The setting changed since the build: said, as the sum records the old one.
    folder.SetLookupSetting("NO");
    EXPECT_EQ(
        Expect(check, 1, "sound: 2 records, ").err,
        "aliastable: generation 5 was built with UseCaseSensitiveAliasLookup=YES, the setting is now NO: "
        "its lookups miss aliases until the next build\n");
}

// Refusals, each on a fresh generation 5 (two records) with one file of it
// replaced: by `text`, "<fifo>" (refused at once, not waited on), "<none>"
// (removed) or "<unreadable>" (mode 0). Nothing goes to standard output.
TEST_F(AliasToolTest, WrongUsageMissingNonRegularAndUnpublishedFilesAreRefused) {
    const std::vector<std::string> lookup = {"lookup", "D", "5", "postmaster@example.org"};
    struct Case {
        const char* file;
        std::string text;
        std::vector<std::string> arguments;
        int exitStatus;
        std::string said;
    } cases[] = {
        {"", "", {}, 2, "usage"},
        {"", "", {"check", "D", "77"}, 1, "cannot open"},
        {"5.sum", "<none>", check, 1, "cannot open the checksum file"},
        {"5.sum", "5.db 1 \x1b]0;x\x07\xc2\x9b\n", check, 1,
         "5.sum holds \"5.db 1 \\x1B]0;x\\x07\\xC2\\x9B\"\n"},
        {"5.db", "<fifo>", {"lookup", "D", "5", "x"}, 2, "5.db is not a regular file"},
        {"published", "<fifo>", dump, 2, "(none is recorded)"},
        // Only the recorded published generation is read, however sound another:
        // a build that failed may have left it.
        {"published", "<none>", check, 1,
         "generation 5 in " + folder.path + " is not the published one (none is recorded)\n"},
        {"published", "-5\n", lookup, 2, "(none is recorded)\n"},
        {"published", "3\n", dump, 2, "(published: 3)\n"},
        // The setting unknown, not taken for its default.
        {"xomta.ini", "<unreadable>", check, 2,
         "cannot read the configuration file xomta.ini in " + folder.path + ": "},
    };
    for (Case& c : cases) {
        Build(0);
        std::string path = folder.File(c.file);
        if (c.text == "<fifo>" || c.text == "<none>") unlink(path.c_str());
        ASSERT_TRUE(c.text != "<fifo>" || mkfifo(path.c_str(), 0660) == 0) << path;
        ASSERT_TRUE(c.text != "<unreadable>" || chmod(path.c_str(), 0) == 0) << path;
        if (c.text[0] != '<' && c.file[0]) WriteWholeFile(path, c.text);
        EXPECT_EQ(Expect(c.arguments, c.exitStatus, c.said).out, "") << c.said;
        unlink(path.c_str());
    }
}

// Damage shows in check: a byte changed in any file against the checksums,
// naming the file; sealed again, in the structure of the relation.
TEST_F(AliasToolTest, DamagedTablesAreRefused) {
    Build(100);
    for (const char* file : {"5.db", "5.id0", "5.str"}) {
        std::string original = ReadWholeFile(folder.File(file)), damaged = original;
        damaged[original.size() / 2] ^= 0x20;
        WriteWholeFile(folder.File(file), damaged);
        EXPECT_EQ(Expect(check, 1, std::string(file) + " differs from its checksum").out, "");
        WriteWholeFile(folder.File(file), original);
    }
    // Record 1 pointed at record 0's string; record 0's alias changed.
    const std::tuple<std::size_t, std::string, const char*> damages[] = {
        {kAliasRecordLength, std::string("\x0c\0\0\0", 4), "record 1: string at 12 is not the record's own"},
        {4, "X", "record 0 holds"}};
    for (const auto& [offset, bytes, said] : damages) {
        Build(100);
        std::string content = ReadWholeFile(folder.File("5.db"));
        WriteWholeFile(folder.File("5.db"),
                       content.replace(kDbRelationHeaderSize + offset, bytes.size(), bytes));
        Seal();
        Expect(check, 1, said);
    }
    // The index names a record that now holds another alias.
    Expect({"lookup", "D", "5", "postmaster@example.org"}, 2, "damaged");
}

// A generation superseded since the caller read the record: lookup and dump
// are served once more from the recorded one; check takes none but its own.
TEST_F(AliasToolTest, SupersededGenerationIsReadFromTheRecord) {
    Build(10);
    Build(20, "6");
    ProcessResult found = Tool({"lookup", "D", "5", GeneratedAlias(17)});  // only in 6
    EXPECT_EQ(found.out, GeneratedMail(17) + "\n");
    EXPECT_EQ(found.err, "aliastable: generation 5 was superseded; reading 6\n");
    EXPECT_EQ(Tool(dump).out, Tool({"dump", "D", "6"}).out);
    EXPECT_EQ(Tool(check).exitStatus, 1);
    for (const char* extension : {".db", ".id0", ".str", ".sum"})
        unlink(folder.File(std::string("5") + extension).c_str());
    EXPECT_EQ(Tool({"lookup", "D", "5", GeneratedAlias(17)}).out, found.out);  // pruned since, too
}

// prune keeps the recorded generation and KEEP-1 before it, never a later
// one; nothing goes while a build holds the lock, or without a record.
TEST_F(AliasToolTest, PruneKeepsThePublishedAndTheOnesBefore) {
    for (std::string name : {"1", "2", "3", "4", "6"}) folder.WriteGeneration(name), Seal(name.c_str());
    Build(3);
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
        {[&] {
             held = open(folder.File("build.lock").c_str(), O_RDWR | O_CREAT, 0660), flock(held, LOCK_EX);
         },
         "3", 1, "a build is running in " + folder.path + "; nothing removed\n", "123456"},
        {[&] { close(held); }, "3", 0, "pruned: 8 files removed; kept generation 5 and those from 3 on\n",
         "--3456"},
        {[&] { WriteWholeFile(folder.File("published"), "9\n"); }, "1", 1,
         "the recorded generation 9 is not whole", "--3456"},
        {[&] { unlink(folder.File("published").c_str()); }, "1", 1, "no published generation", "--3456"},
    };
    for (Case& c : cases) {
        c.setup();
        Expect({"prune", "D", c.keep}, c.exitStatus, c.said);
        EXPECT_EQ(left(), c.left) << c.said;
    }
}

}  // namespace
