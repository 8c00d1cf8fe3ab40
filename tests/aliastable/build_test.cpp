// The alias table build against the sandbox slapd, run as the web server runs
// the page and as an administrator runs `aliastable build`: pages, the alias
// sequence, the generation files and their modes, the table as the aliastable
// tool reads it, the log lines, and the faults a build must come through.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <iostream>
#include <thread>

#include "platform/log/logapi.h"
#include "tests/support/db_test_support.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const char kDirectoryDenied[] = "Could create Alias Directory for the Mail Alias Tables";
const char kImagesNotWritten[] = "Error Writing the Disk Images for the Mail Alias Tables.";
const char kMarkNotWritten[] = "Could not write the new Mail Alias Sequence # to the LDAP server";
const char kNotConnected[] = "Error connecting to LDAP server, Alias Table not built";
const char kNotPublished[] = "Table 2 not published, the Mail Alias Sequence stays at 1";

// The expected pages of generation 1 and of the refusal for a running build,
// with another number or message.
std::string BuildPage(int number) {
    return Replaced(ExpectedPage("alias_table_build"), "is 1 )", "is " + std::to_string(number) + " )");
}
std::string Failure(const std::string& message) {
    return Replaced(ExpectedPage("alias_table_build_running"),
                    "Another Mail Alias Table build is in progress, Alias Table not built", message);
}

// An entry named by its address.
std::string User(const std::string& address, const Strings& mail) {
    std::string ldif = "dn: mail=" + address + ",dc=example,dc=com\nobjectClass: xoperson\n";
    for (const auto& value : mail) ldif += "mail: " + value + "\n";
    return ldif + "\n";
}

// `count` users userN@example.com, each with aliases aliasK.userN@x.org.
std::string Users(int count, int aliases) {
    std::string ldif;
    for (int i = 0; i < count; ++i) {
        Strings mail = {"user" + std::to_string(i) + "@example.com"};
        for (int k = 0; k < aliases; ++k) mail.push_back("alias" + std::to_string(k) + "." + mail[0]);
        ldif += User(mail[0], mail);
    }
    return ldif;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 60s) {
    for (auto end = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Where HeldBuild holds a build: the answer to the `occurrence`-th request holding `marker` (by
// default the extraction's first), reached with `ldap` settings; released after `meanwhile` unless `keep`.
struct Hold {
    std::string marker = "xoperson", ldap = "";
    int occurrence = 1;
    bool keep = false;
};

class AliasBuildTest : public ::testing::Test {
protected:
    static DirectorySandbox& Sandbox() { return DirectorySandbox::Get(); }

    void SetUp() override {
        ASSERT_TRUE(Sandbox().Ok());
        Fresh();
    }
    // Only the domains in the directory, a new queue folder in XOMTA.INI, the log from here on.
    void Fresh() {
        ASSERT_TRUE(Sandbox().Reset(kExampleDomainLdif));
        queue_ = scratch_.File("queue" + std::to_string(++fresh_));
        tables_ = queue_ + "/AliasTables";
        ASSERT_EQ(mkdir(queue_.c_str(), 0755), 0);
        ASSERT_TRUE(Config());
        logStart_ = Sandbox().ReadLog().size();
    }
    bool Config(const std::string& extra = "") {
        return Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n" + extra);
    }
    bool UseRelay(const HoldingRelay& relay, const std::string& ldap = "") {
        return relay.Port() > 0 && Config("[Ldap]\nPort=" + std::to_string(relay.Port()) + "\n" + ldap);
    }

    // Runs the CGI (behind `prefix`) with Command=`command`, or with no
    // command `aliastable build`; returns once the build it leaves behind has
    // ended too, as that keeps standard error.
    ProcessResult Run(const std::string& command, Strings prefix = {}) {
        std::string body = command.empty() ? "" : "Command=" + command;
        Environment env = {{"REQUEST_METHOD", "POST"},
                           {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                           {"CONTENT_LENGTH", std::to_string(body.size())},
                           {"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()},
                           {"PATH", getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"}};
        if (getenv("ASAN_OPTIONS")) env["ASAN_OPTIONS"] = getenv("ASAN_OPTIONS");
        prefix.insert(prefix.end(), command.empty() ? BinaryPath("aliastable") : LDAPCGI_EXECUTABLE);
        if (command.empty()) prefix.push_back("build");
        return RunProcess(prefix, env, body);
    }
    ProcessResult Build(Strings prefix = {}) { return Run("BuildAliasTable", prefix); }
    // Behind it, a run writes its process id to pidFile_ first.
    Strings PidPrefix() const { return {"/bin/sh", "-c", "echo $$ >" + pidFile_ + "; exec \"$0\" \"$1\""}; }
    // A build (of `command`, behind `prefix`) held as `hold` says; the directory stays behind the relay.
    ProcessResult HeldBuild(const std::function<void()>& meanwhile, const Hold& hold = {},
                            const std::string& command = "BuildAliasTable", const Strings& prefix = {}) {
        HoldingRelay relay(Sandbox().Port(), hold.marker, hold.occurrence);
        EXPECT_TRUE(UseRelay(relay, hold.ldap));
        auto request = std::async(std::launch::async, [&] { return Run(command, prefix); });
        EXPECT_TRUE(relay.WaitHolding());
        meanwhile();
        if (!hold.keep) relay.Release();
        return request.get();
    }

    // The sequence in the directory, "<none>" when not stored.
    std::string Sequence() {
        std::string found = Sandbox().Search("cn=AliasSequence,cn=PreProcessor,cn=profiles",
                                             "(objectClass=*)", "xoprofilevalue");
        std::size_t at = found.find("xoprofilevalue: ");
        return at == std::string::npos ? "<none>" : found.substr(at + 16, found.find('\n', at) - at - 16);
    }
    // The sequence stored anew as `value`; "": an entry in its place that cannot hold a value.
    void SetSequence(const std::string& value) {
        const std::string dn = "dn: cn=AliasSequence,cn=PreProcessor,cn=profiles\n";
        Sandbox().Modify(dn + "changetype: delete\n");  // fails when absent
        if (!value.empty()) return StoreProfile("PreProcessor", "AliasSequence", value);
        ASSERT_TRUE(Sandbox().Add(dn + "objectClass: xoprofilesection\ncn: AliasSequence\n"));
    }
    void StoreProfile(const std::string& section, const std::string& key, const std::string& value) {
        Sandbox().Add("dn: cn=profiles\nobjectClass: xoprofilesection\ncn: profiles\n");  // fails if present
        std::string dn = "cn=" + section + ",cn=profiles";
        Sandbox().Add("dn: " + dn + "\nobjectClass: xoprofilesection\ncn: " + section + "\n");
        ASSERT_TRUE(Sandbox().Add("dn: cn=" + key + "," + dn + "\nobjectClass: xoprofilestring\ncn: " + key +
                                  "\nxoprofilevalue: " + value + "\n"));
    }

    // Log lines since the test began that hold `text`, at `level`.
    int LogCount(int level, const std::string& text = "") {
        return CountLogLines(Log(), text, std::to_string(level));
    }
    std::string Log() { return Sandbox().ReadLog().substr(logStart_); }
    // The level-1 lines since the last look: one for each of `parts`, which it holds ("@/": the queue folder's).
    void ExpectErrors(Strings parts) {
        const std::string log = Log(), level = std::to_string(kLogError);
        logStart_ += log.size();
        EXPECT_EQ(LogTexts(log, level).size(), parts.size()) << log;
        for (std::string& part : parts) {
            if (part.find("@/") != std::string::npos) part.replace(part.find("@/"), 1, queue_);
            EXPECT_EQ(CountLogLines(log, part, level), 1) << part;
        }
    }

    // The aliastable tool on a generation: check verdict, dump, lookup.
    ProcessResult Tool(const std::string& verb, int generation, const std::string& alias = "") {
        Strings argv = {BinaryPath("aliastable"), verb, tables_, std::to_string(generation)};
        if (!alias.empty()) argv.push_back(alias);
        return RunProcess(argv, {{"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()}}, "");
    }
    // None of the three files of `generation` is there.
    void ExpectGone(int generation) {
        for (const char* extension : {".db", ".id0", ".str"})
            EXPECT_EQ(ModeOf(File(generation, extension)), -1) << generation << extension;
    }
    std::string File(int generation, const char* extension) const {
        return tables_ + "/" + std::to_string(generation) + extension;
    }
    // No build holds the build lock.
    bool LockFree() const {
        int fd = open((tables_ + "/build.lock").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT;
        bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return free;
    }

    // The published generation (the sequence's digits) is sound, holds `aliases` records, its files 0660.
    void ExpectPublishedSound(int aliases) {
        int published = std::atoi(Sequence().c_str());  // "<none>": 0
        if (published == 0) return;
        ProcessResult check = Tool("check", published);
        EXPECT_EQ(check.exitStatus, 0) << "generation " << published << ": " << check.err;
        EXPECT_EQ(check.out.rfind("sound: " + std::to_string(aliases) + " records", 0), 0u) << check.out;
        for (const char* extension : {".db", ".id0", ".str", ".sum"})
            EXPECT_EQ(ModeOf(File(published, extension)), 0660) << extension;
    }
    // The next build publishes the next generation with every alias.
    void ExpectNextBuildSucceeds(int aliases) {
        int next = std::atoi(Sequence().c_str()) + 1;
        ASSERT_TRUE(Config());
        EXPECT_EQ(Build().out, BuildPage(next));
        EXPECT_EQ(Sequence(), std::to_string(next));
        ExpectPublishedSound(aliases);
        EXPECT_TRUE(LockFree());
    }

    ScratchFolder scratch_;
    int fresh_ = 0;
    std::string queue_, tables_, pidFile_ = scratch_.File("build.pid");
    std::size_t logStart_ = 0;
};

TEST_F(AliasBuildTest, FirstBuildPublishesGenerationOne) {
    const std::string longAlias = std::string(140, 'l') + "@example.com";
    ASSERT_TRUE(Sandbox().Add(ReadWholeFile(SourcePath("tests/aliastable/first_build.ldif")), true));
    ASSERT_TRUE(Config("[Ldap]\nRecordLimit=3\n"));
    EXPECT_EQ(Run("AliasTable").out, ExpectedPage("alias_table_menu"));  // no sequence: no warning
    ProcessResult run = Build();
    EXPECT_EQ(run.out, ExpectedPage("alias_table_build"));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(Sequence(), "1");
    // The alias on two users: one record, either one, no error.
    std::string office = Tool("lookup", 1, "office@example.com").out;
    EXPECT_TRUE(office == "anna@example.com\n" || office == "carol@example.org\n") << office;
    ExpectPublishedSound(5);
    EXPECT_EQ(Tool("dump", 1).out,
              "Carol.K@Example.ORG\tcarol@example.org\na.smith@example.com\tanna@example.com\n"
              "b\\x09\\xC2\\x9Bb@example.com\tbob@example.com\n" +
                  longAlias.substr(0, 127) + "\tdan@example.com\noffice@example.com\t" + office);
    EXPECT_EQ(LogCount(kLogProgress, "Entry anna@example.com, Alias \"a.smith@example.com\""), 1);
    EXPECT_EQ(LogCount(kLogProgress, "Written 5 records to the New Alias File 1.db"), 1);
    // Dan's alias cut, reported; Eve's cut to Dan's key: not stored, both named, the control byte escaped.
    ExpectErrors(
        {"is longer than 127 characters",
         "Alias \"bob\" of bob@example.com holds a NUL byte and is not stored",
         "Alias \"" + longAlias.substr(0, 140) + "\\x07@example.org\" of eve@example.com is not stored: " +
             "its first 127 characters are the key of alias \"" + longAlias + "\" of dan@example.com"});
    // The comparison the index was built with is recorded.
    EXPECT_NE(ReadWholeFile(File(1, ".sum")).find("\nUseCaseSensitiveAliasLookup=NO\n"), std::string::npos);
}

TEST_F(AliasBuildTest, MarkedSequenceBuildsTheNextGenerationOverLeftovers) {
    SetSequence("7!");
    EXPECT_EQ(Run("AliasTable").out, ExpectedPage("alias_table_menu_warning"));  // nothing changed
    EXPECT_EQ(Sequence(), "7!");
    // A "+" stands escaped in the DN; the record holds the address itself.
    ASSERT_TRUE(Sandbox().Add(User("a\\+b@example.com", {"a+b@example.com", "ab@example.com"})));
    ASSERT_EQ(mkdir(tables_.c_str(), 0750), 0);  // an existing folder is used unchanged
    for (const char* extension : {".db", ".id0", ".str"})
        WriteWholeFile(File(8, extension), std::string(5000, 'x'));  // left by a failed build
    // A reader holds the leftover open; a link planted in the folder leads elsewhere.
    const std::string held = scratch_.File("held"), victim = scratch_.File("victim");
    WriteWholeFile(victim, "kept");
    ASSERT_TRUE(link(File(8, ".db").c_str(), held.c_str()) == 0 && unlink(File(8, ".str").c_str()) == 0 &&
                symlink(victim.c_str(), File(8, ".str").c_str()) == 0);
    EXPECT_EQ(Build().out, BuildPage(8));
    EXPECT_EQ(ReadWholeFile(held) + ReadWholeFile(victim), std::string(5000, 'x') + "kept");
    EXPECT_EQ(Sequence(), "8");
    ExpectPublishedSound(1);  // files 0660 over the leftovers
    EXPECT_EQ(Tool("dump", 8).out, "ab@example.com\ta+b@example.com\n");
    EXPECT_EQ(ModeOf(tables_), 0750);
    // A sequence behind the record (a restored directory, another mail server's build): the next
    // generation comes after the recorded one, never over it.
    SetSequence("3");
    const std::string current = ReadWholeFile(File(8, ".db"));
    EXPECT_EQ(Build().out, BuildPage(9));
    EXPECT_EQ(Sequence(), "9");
    EXPECT_EQ(ReadWholeFile(File(8, ".db")), current);
    SetSequence("8");  // a whole generation's
    EXPECT_EQ(Build().out, BuildPage(10));
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "10\n");
    // The sequence's read left unanswered: nothing built, nothing written over it.
    EXPECT_EQ(HeldBuild([] {}, {"AliasSequence", "Timeout=1\n", 1, true}, "").err,
              "aliastable: nothing built: " + std::string(kNotConnected) + "\n");
    EXPECT_EQ(Sequence(), "10");
    // The record not written (a folder holding a file under its temporary name): published all the
    // same, said, exit 1; an empty folder left there does not stop the next record.
    ASSERT_TRUE(Config());
    const std::string leftover = tables_ + "/published.new";
    ASSERT_TRUE(mkdir(leftover.c_str(), 0770) == 0 && mkdir((leftover + "/x").c_str(), 0770) == 0);
    ProcessResult unrecorded = Run("");
    EXPECT_EQ(unrecorded.exitStatus, 1);
    EXPECT_EQ(unrecorded.err,
              "aliastable: generation 11 published, not recorded: the published generation "
              "could not be recorded in the alias table folder\n");
    EXPECT_EQ(LogCount(kLogAudit, "generation=11 result=published-not-recorded (1 records; "), 1) << Log();
    EXPECT_EQ(Sequence(), "11");
    ASSERT_EQ(rmdir((leftover + "/x").c_str()), 0);
    EXPECT_EQ(Build().out, BuildPage(12));
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "12\n");
}

// Builds refused before anything is published: the page, the sequence left
// as it was (or marked), no new table, the one level-1 log line.
TEST_F(AliasBuildTest, RefusedBuildsLoseNothing) {
    struct Case {  // logLine: the one level-1 line, "": none
        std::function<void()> setup;
        std::string page, sequence, logLine;
    } cases[] = {
        {[&] { chmod(queue_.c_str(), 0555); }, kDirectoryDenied, "4", ""},
        {[&] { StoreProfile("mqapi", "mqlocallinuxrootdir", "/" + std::string(4090, 'x')); },
         kDirectoryDenied, "4", "Queue directory too long"},
        {[&] { mkdir(tables_.c_str(), 0770), mkfifo((tables_ + "/build.lock").c_str(), 0660); },
         kImagesNotWritten, "4", "Could not open the lock file @/AliasTables/build.lock (errno:22)"},
        {[&] {  // a queue folder ending in "/" is used as given
             Config("[Gateway]\nQueueDirectory=" + queue_ + "/\n");
             mkdir(tables_.c_str(), 0770), mkfifo(File(5, ".id0").c_str(), 0660);
         },
         kImagesNotWritten, "4!",
         "WriteArray; Could not open file @//AliasTables/5.id0 for write (errno:17)"},
        {[&] { SetSequence(""); }, kMarkNotWritten, "<none>",
         "LDAP profile string write of PreProcessor/AliasSequence failed: Object class violation (65), "
         "server message \"attribute 'xoprofilevalue' not allowed\""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        Fresh();
        SetSequence("4");
        c.setup();
        ProcessResult run = Build(NoBypass());
        EXPECT_EQ(run.out, Failure(c.page));
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(Sequence(), c.sequence);
        ExpectGone(5);
        ExpectErrors(c.logLine.empty() ? Strings{} : Strings{c.logLine});
        chmod(queue_.c_str(), 0755), chmod(tables_.c_str(), 0770);
    }
    ASSERT_TRUE(Config("[Ldap]\nPort=1\n"));  // the menu without a directory server
    EXPECT_EQ(Run("AliasTable").out,
              Failure("Error connecting to LDAP server, Alias Table can not be built"));
}

// Faults met by builds of 800 aliases, each leaving the published generation
// as it was, the lock free and no new table: the directory frozen (SIGSTOP)
// before a build, where the bind gives up within the time limit; stalled
// during the extraction, where the search does and the page has not waited
// for it; the folder made unwritable (the checksum file cannot be written);
// the queue folder replaced by a copy (the build's files stay in the old);
// the file size limit (a full file system: the first record that cannot be
// written, 800 records filling the relation's write buffer more than once,
// ends the build with one error line and abandons the search). The next
// build succeeds.
TEST_F(AliasBuildTest, DirectoryOrDiskFailingDuringABuild) {
    ASSERT_TRUE(Sandbox().Add(Users(400, 2)));
    EXPECT_EQ(Build().out, BuildPage(1));
    ASSERT_TRUE(Config("[Ldap]\nTimeout=1\n"));
    ASSERT_TRUE(Sandbox().Signal(SIGSTOP));
    ProcessResult run;
    double seconds = SecondsTaken([&] { run = Build(); });
    Sandbox().Signal(SIGCONT);
    EXPECT_EQ(run.out, Failure(kNotConnected));
    EXPECT_TRUE(seconds >= 0.9 && seconds < 5) << seconds;
    ExpectErrors({"LDAP bind as \"cn=root\" failed: Timed out (-5)"});
    EXPECT_EQ(Sequence(), "1");
    EXPECT_TRUE(LockFree());
    // The queue folder unread is not "none stored": the tables may be elsewhere.
    EXPECT_EQ(HeldBuild([] {}, {"mqlocallinuxrootdir", "Timeout=1\n", 1, true}).out, Failure(kNotConnected));
    ExpectErrors({"LDAP profile string read of mqapi/mqlocallinuxrootdir failed: Timed out (-5)"});
    EXPECT_EQ(Sequence(), "1");
    {
        HoldingRelay relay(Sandbox().Port(), "xoperson", 1);
        ASSERT_TRUE(UseRelay(relay, "Timeout=2\n"));
        // With standard error elsewhere, the run ends with the request.
        EXPECT_EQ(Build({"/bin/sh", "-c", "\"$0\" 2>/dev/null"}).out, BuildPage(2));
        EXPECT_TRUE(relay.WaitHolding());
        EXPECT_FALSE(LockFree()) << "the page waited for the extraction";
        EXPECT_TRUE(WaitFor([&] { return LockFree(); }, 10s)) << "the build hung on the stalled directory";
    }
    ExpectErrors({"The search for Mail Aliases failed: Timed out (-5)", kNotPublished});
    EXPECT_EQ(Sequence(), "1!");
    ExpectGone(2);
    ProcessResult unwritable =
        HeldBuild([&] { ASSERT_EQ(chmod(tables_.c_str(), 0550), 0); }, {}, "BuildAliasTable", NoBypass());
    EXPECT_EQ(unwritable.out, BuildPage(2));
    ASSERT_EQ(chmod(tables_.c_str(), 0770), 0);
    ExpectErrors({"Could not open file @/AliasTables/2.sum for write (errno:13)", kNotPublished,
                  "2.db of an unfinished", "2.id0 of an unfinished", "2.str of an unfinished"});
    EXPECT_EQ(Sequence(), "1!");
    // The queue folder replaced by a copy during the extraction: nothing of the copy is summed or
    // published; the build's own files stay where they went.
    const std::string q = "q=" + queue_ + "; ";
    auto replace = [&] {
        ASSERT_EQ(system((q + "cp -a $q $q.new && mv $q $q.old && mv $q.new $q").c_str()), 0);
    };
    auto restore = [&] { ASSERT_EQ(system((q + "rm -r $q && mv $q.old $q").c_str()), 0); };
    EXPECT_EQ(HeldBuild(replace).out, BuildPage(2));
    ExpectErrors({"The Alias Directory @/AliasTables was moved or replaced during the build", kNotPublished});
    EXPECT_EQ(Sequence(), "1!");
    EXPECT_EQ(ModeOf(queue_ + ".old/AliasTables/2.db"), 0660);
    restore();
    // The same before the images are written: the page says so, whole.
    EXPECT_EQ(HeldBuild(replace, {"AliasSequence"}).out, Failure(kImagesNotWritten));
    restore();
    ExpectErrors({"The Alias Directory @/AliasTables was moved or replaced during the build", kNotPublished});
    // The same, the extraction then timing out: the copy's files are not removed.
    EXPECT_EQ(HeldBuild(replace, {"xoperson", "Timeout=1\n", 1, true}).out, BuildPage(2));
    EXPECT_EQ(ModeOf(tables_ + "/2.db"), 0660);
    restore();
    ExpectErrors({"The search for Mail Aliases failed: Timed out (-5)", kNotPublished,
                  "The Alias Directory @/AliasTables was moved or replaced during the build"});
    // A fresh log of errors only, below the limit too; room for the images,
    // not for the first write of buffered records.
    std::string log = scratch_.File("build.log");
    ASSERT_TRUE(Config("[Log]\nFile=" + log + "\nLevel=1\n"));
    EXPECT_EQ(Build({"/usr/bin/prlimit", "--fsize=6000", "--"}).out, BuildPage(2));
    EXPECT_EQ(Sequence(), "1!");
    std::string text = ReadWholeFile(log);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(" 1 LDAP CGI["), std::string::npos) << text;
    EXPECT_NE(text.find("Error when writing record to the Mail Alias Table, "), std::string::npos) << text;
    ExpectGone(2);
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "1\n");
    ExpectPublishedSound(800);
    ExpectNextBuildSucceeds(800);
}

// Builds stopped between publishing their number and recording it, twice in
// a row, left the directory two generations ahead of the record, and the
// tool trusted neither. A build first records the whole generation that the
// directory names (a damaged one it leaves unrecorded), and holds the build
// lock meanwhile: a second build is refused.
TEST_F(AliasBuildTest, RecordCatchesUpAndASecondBuildIsRefused) {
    ASSERT_TRUE(Sandbox().Add(Users(300, 2)));
    EXPECT_EQ(Build().out, BuildPage(1));
    EXPECT_EQ(Build().out, BuildPage(2));
    const std::string record = tables_ + "/published";
    WriteWholeFile(record, "1\n");
    EXPECT_EQ(HeldBuild([&] {
                  EXPECT_EQ(ReadWholeFile(record), "2\n");  // before the extraction of generation 3
                  EXPECT_EQ(Build().out, ExpectedPage("alias_table_build_running"));
              }).out,
              BuildPage(3));
    EXPECT_EQ(ReadWholeFile(record), "3\n");
    ExpectPublishedSound(600);
    EXPECT_EQ(ModeOf(File(4, ".db")), -1);
    ExpectErrors({});
    // Generation 3 damaged: the record stays behind it, seen when the next
    // build then fails to write its files.
    WriteWholeFile(record, "2\n");
    WriteWholeFile(File(3, ".str"), ReadWholeFile(File(3, ".str")) + "x");
    ASSERT_TRUE(Config());
    ASSERT_EQ(mkfifo(File(4, ".id0").c_str(), 0660), 0);
    EXPECT_EQ(Build().out, Failure(kImagesNotWritten));
    EXPECT_EQ(ReadWholeFile(record), "2\n");
    unlink(File(4, ".id0").c_str());
    ExpectNextBuildSucceeds(600);
    EXPECT_EQ(ReadWholeFile(record), "4\n");
    WriteWholeFile(record, "9\n");  // damaged: a record of no generation is not followed
    EXPECT_EQ(Build().out, BuildPage(5));
    EXPECT_EQ(ReadWholeFile(record), "5\n");
    // aliastable build sent SIGTERM while its publication (the third request: read, mark, publish)
    // waits for the answer: it records and audits it first.
    auto stop = [&] {
        const int pid = std::atoi(ReadWholeFile(pidFile_).c_str());
        ASSERT_TRUE(pid > 0 && kill(pid, SIGTERM) == 0);
    };
    EXPECT_EQ(HeldBuild(stop, {"AliasSequence", "", 3}, "", PidPrefix()).exitStatus, 128 + SIGTERM);
    EXPECT_EQ(ReadWholeFile(record), "6\n");
    EXPECT_EQ(LogCount(kLogAudit, "alias-table-build generation=6 result=published (600 records)"), 1)
        << Log();
}

// aliastable build: the same build from the command line, audited as the
// account that ran it; exit 1 with the reason when nothing is published.
TEST_F(AliasBuildTest, BuildVerbPublishesOrSaysWhyNot) {
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    ASSERT_TRUE(Sandbox().WriteConfig());  // no queue folder: AliasTables in the working folder
    const Strings inQueue = {"/usr/bin/env", "-C", queue_};
    ProcessResult built = Run("", inQueue);
    EXPECT_EQ(built.exitStatus, 0) << built.err;
    EXPECT_EQ(built.out + built.err, "");  // not a terminal: silent
    EXPECT_EQ(ModeOf(tables_), 0770);
    EXPECT_EQ(Tool("lookup", 1, "anna.s@example.com").out, "anna@example.com\n");
    std::string account = getpwuid(geteuid())->pw_name;
    EXPECT_EQ(LogCount(kLogAudit, "audit: user=\"" + account + "\" address=- command=\"BuildAliasTable\" " +
                                      "alias-table-build generation=1 result=published (1 records)"),
              1)
        << Log();
    // The directory refuses the publication (an entry that cannot hold a value
    // put in the sequence's place during the extraction): the files go.
    ProcessResult refused = HeldBuild([&] { SetSequence(""); }, {}, "", inQueue);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "aliastable: generation 2 not published: " + std::string(kMarkNotWritten) + "\n");
    EXPECT_EQ(LogCount(kLogError, kMarkNotWritten), 1) << Log();
    ExpectGone(2);
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "1\n");
    // A server that took the connection and did not answer is not passed over, as for the page.
    SilentServer stalled;
    ASSERT_TRUE(Config("[Ldap]\nTimeout=1\nHostName=ldap://127.0.0.1:" + std::to_string(stalled.Port()) +
                       " " + Sandbox().Uri() + "\n"));
    EXPECT_EQ(Run("", inQueue).err, "aliastable: nothing built: " + std::string(kNotConnected) + "\n");
}

// SIGKILL at points spread over one build (of `aliastable build`, which
// runs the page's build in one process): the published generation stays
// whole, the lock free, and the next build publishes every alias. Last of
// the directory's tests: emptying the directory of 50 000 entries again
// would take longer than the test.
TEST_F(AliasBuildTest, BuildKilledAtPointsOverItsRun) {
    const int kUsers = 50000, kKillPoints = 24;
    ASSERT_TRUE(Sandbox().Load(Users(kUsers, 1)));
    double full = SecondsTaken([&] { EXPECT_EQ(Run("").exitStatus, 0); });
    ExpectPublishedSound(kUsers);
    int hits = 0;
    for (int point = 0; point < kKillPoints; ++point) {
        SCOPED_TRACE("kill point " + std::to_string(point));
        // A point the build ran past is tried again a little earlier.
        double delay = full * 0.9 * (point + 0.5) / kKillPoints;
        for (int attempt = 0; attempt < 3; ++attempt, delay *= 0.6) {
            unlink(pidFile_.c_str());
            auto run = std::async(std::launch::async, [&] { return Run("", PidPrefix()); });
            ASSERT_TRUE(WaitFor([&] { return ReadWholeFile(pidFile_).find('\n') != std::string::npos; }));
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            // Only while it is still this test's run (its configuration folder), not a process that took its number.
            std::string pid = std::to_string(std::atoi(ReadWholeFile(pidFile_).c_str()));
            if (ReadWholeFile("/proc/" + pid + "/environ").find(Sandbox().ConfigDir() + '\0') !=
                std::string::npos)
                kill(std::stoi(pid), SIGKILL);
            bool hit = run.get().exitStatus == 128 + SIGKILL;
            EXPECT_TRUE(LockFree());
            ExpectPublishedSound(kUsers);
            if (hit) {
                ++hits;
                break;
            }
        }
    }
    std::cout << "[ figures  ] build of " << kUsers << " aliases in " << full << " s, killed at " << hits
              << " of " << kKillPoints << " points\n";
    EXPECT_GE(hits, 20);
    ExpectNextBuildSucceeds(kUsers);
}

}  // namespace
