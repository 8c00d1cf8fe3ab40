// The alias table build against the sandbox slapd, run as the web server runs
// it: pages, the alias sequence, the generation files and their modes, the
// table as the aliastable tool reads it, and the log lines.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <iostream>
#include <list>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/log/logapi.h"
#include "tests/support/db_test_support.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"

namespace {

using namespace std::chrono_literals;

const char kTitle[] = "Build Alias Table";
const char kDirectoryDenied[] = "Could create Alias Directory for the Mail Alias Tables";
const char kImagesNotWritten[] = "Error Writing the Disk Images for the Mail Alias Tables.";
const char kBuildRunning[] = "Another Mail Alias Table build is in progress, Alias Table not built";
const char kMarkNotWritten[] = "Could not write the new Mail Alias Sequence # to the LDAP server";

std::string MenuPage(bool warning) {
    return pagetexts::Header(kTitle) +
           "<p>This operation extracts all Mail Aliases from the LDAP Directory and builds a separate "
           "database.</p><p>This database is required by the Preprocessor to recognise recipients in "
           "incoming messages by their alias name.</p>" +
           (warning ? "<p>Warning! Another Mail Alias Table build may already be in progress. Do not press "
                      "the \"Build Alias Table\" until the previous build is complete.</p>"
                    : "") +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
           "<input type=\"hidden\" name=\"Command\" value=\"BuildAliasTable\">\n"
           "<center><input type=\"submit\" name=\"AliasTable\" value=\"Build Alias Table\"></center>\n"
           "</form>" +
           pagetexts::PageEnd();
}

std::string BuildPage(int number) {
    return pagetexts::Header(kTitle) +
           "<p>The Mail Alias Table will now be built in the background ( Sequence # is " +
           std::to_string(number) +
           " ).</p><p>The new database will be ready for the Preprocessor in approx. two minutes.</p>" +
           pagetexts::PageEnd();
}

std::string Failure(const std::string& message) { return pagetexts::ResultPage(kTitle, message); }

// An entry named by its address.
std::string User(const std::string& address, const std::vector<std::string>& mail) {
    std::string ldif = "dn: mail=" + address + ",dc=example,dc=com\nobjectClass: xoperson\n";
    for (const auto& value : mail) ldif += "mail: " + value + "\n";
    return ldif + "\n";
}

// `count` users userN@example.com, each with aliases aliasK.userN@x.org.
std::string Users(int count, int aliases) {
    std::string ldif;
    for (int i = 0; i < count; ++i) {
        std::string user = "user" + std::to_string(i);
        std::vector<std::string> mail = {user + "@example.com"};
        for (int k = 0; k < aliases; ++k) mail.push_back("alias" + std::to_string(k) + "." + user + "@x.org");
        ldif += User(mail[0], mail);
    }
    return ldif;
}

const char kDomains[] =
    "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
    "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n";

int ModeOf(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit = 60s) {
    for (auto end = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Loopback relay to the sandbox slapd, a thread per direction. With `hold`,
// a connection that carried the users search ("xoperson") passes some of its
// answer, then waits for Release(); with `cutPublication` its next request
// cuts it. Drop() cuts every connection, as a failing network would.
class Relay {
public:
    explicit Relay(bool hold, bool cutPublication = false) : hold_(hold), cutPublication_(cutPublication) {
        listen_ = ListenOnLoopback(&port_);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~Relay() {
        released_ = true;
        shutdown(listen_, SHUT_RDWR);
        acceptor_.join();
        Drop();
        for (std::thread& pump : pumps_) pump.join();
        for (Link& link : links_) close(link.client), close(link.server);
        close(listen_);
    }
    int Port() const { return port_; }
    bool WaitHolding() const {
        return WaitFor([this] { return bool(holding_); }, 30s);
    }
    void Release() { released_ = true; }
    void Drop() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Link& link : links_) Cut(link);
    }

private:
    struct Link {
        int client = -1, server = -1;
        std::atomic<bool> extraction{false}, cut{false};
    };
    static void Cut(Link& link) {
        link.cut = true, shutdown(link.client, SHUT_RDWR), shutdown(link.server, SHUT_RDWR);
    }
    void Accept() {
        for (int client; (client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            sockaddr_in server = LoopbackAddress(DirectorySandbox::Get().Port());
            std::lock_guard<std::mutex> lock(mutex_);
            Link& link = links_.emplace_back();
            link.client = client, link.server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(link.server, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) Cut(link);
            pumps_.emplace_back([this, &link] { Pump(link, true); });
            pumps_.emplace_back([this, &link] { Pump(link, false); });
        }
    }
    void Pump(Link& link, bool request) {
        char buffer[16384];
        for (ssize_t n; (n = read(request ? link.client : link.server, buffer, sizeof buffer)) > 0;) {
            if (request && link.extraction && cutPublication_) break;
            if (request && std::string(buffer, std::size_t(n)).find("xoperson") != std::string::npos)
                link.extraction = true;
            if (write(request ? link.server : link.client, buffer, std::size_t(n)) != n) break;
            while (!request && link.extraction && hold_ && !released_ && !link.cut)
                holding_ = true, std::this_thread::sleep_for(5ms);
        }
        Cut(link);
    }

    bool hold_, cutPublication_;
    int listen_ = -1, port_ = 0;
    std::atomic<bool> holding_{false}, released_{false};
    std::mutex mutex_;
    std::list<Link> links_;
    std::thread acceptor_;
    std::vector<std::thread> pumps_;
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
        ASSERT_TRUE(Sandbox().Reset(kDomains));
        queue_ = scratch_.File("queue" + std::to_string(++fresh_));
        tables_ = queue_ + "/AliasTables";
        ASSERT_EQ(mkdir(queue_.c_str(), 0755), 0);
        ASSERT_TRUE(Config());
        logStart_ = Sandbox().ReadLog().size();
    }
    bool Config(const std::string& extra = "") {
        return Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n" + extra);
    }
    bool UseRelay(const Relay& relay) {
        return relay.Port() > 0 && Config("[Ldap]\nPort=" + std::to_string(relay.Port()) + "\n");
    }

    // Runs the CGI (behind `prefix`) with Command=`command`; returns once the
    // build it leaves behind has ended too, as that keeps standard error.
    ProcessResult Run(const std::string& command, std::vector<std::string> prefix = {}) {
        std::string body = "Command=" + command;
        Environment env = {{"REQUEST_METHOD", "POST"},
                           {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                           {"CONTENT_LENGTH", std::to_string(body.size())},
                           {"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()},
                           {"PATH", getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"}};
        if (getenv("ASAN_OPTIONS")) env["ASAN_OPTIONS"] = getenv("ASAN_OPTIONS");
        prefix.push_back(LDAPCGI_EXECUTABLE);
        return RunProcess(prefix, env, body);
    }

    // The sequence in the directory, "<none>" when not stored.
    std::string Sequence() {
        std::string found = Sandbox().Search("cn=AliasSequence,cn=PreProcessor,cn=profiles",
                                             "(objectClass=*)", "xoprofilevalue");
        std::size_t at = found.find("xoprofilevalue: ");
        return at == std::string::npos ? "<none>" : found.substr(at + 16, found.find('\n', at) - at - 16);
    }
    void StoreProfile(const std::string& section, const std::string& key, const std::string& value) {
        Sandbox().Add("dn: cn=profiles\nobjectClass: xoprofilesection\ncn: profiles\n");  // fails if present
        std::string dn = "cn=" + section + ",cn=profiles";
        Sandbox().Add("dn: " + dn + "\nobjectClass: xoprofilesection\ncn: " + section + "\n");
        ASSERT_TRUE(Sandbox().Add("dn: cn=" + key + "," + dn + "\nobjectClass: xoprofilestring\ncn: " + key +
                                  "\nxoprofilevalue: " + value + "\n"));
    }
    void StoreSequence(const std::string& value) { StoreProfile("PreProcessor", "AliasSequence", value); }

    // Log lines since the test began that hold `text`, at `level`.
    int LogCount(int level, const std::string& text = "") {
        return CountLogLines(Log(), text, std::to_string(level));
    }
    std::string Log() { return Sandbox().ReadLog().substr(logStart_); }

    // The aliastable tool on a generation: check verdict, dump, lookup.
    ProcessResult Tool(const std::string& verb, int generation, const std::string& alias = "") {
        std::vector<std::string> argv = {BinaryPath("aliastable"), verb, tables_, std::to_string(generation)};
        if (!alias.empty()) argv.push_back(alias);
        return RunProcess(argv, {{"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()}}, "");
    }
    // A published generation: sound, files 0660 in a 0770 folder, dumped as `dump`.
    void ExpectTable(int generation, const std::string& dump) {
        ProcessResult check = Tool("check", generation);
        EXPECT_EQ(check.exitStatus, 0) << check.err;
        for (const char* extension : {".db", ".id0", ".str"})
            EXPECT_EQ(ModeOf(File(generation, extension)), 0660) << extension;
        EXPECT_EQ(Tool("dump", generation).out, dump);
    }
    std::string File(int generation, const char* extension) const {
        return tables_ + "/" + std::to_string(generation) + extension;
    }
    // No build holds the build lock: a build logs its end before it closes
    // its files (fsyncs) and lets go of the lock.
    bool BuildLockFree() const {
        int fd = open((tables_ + "/build.lock").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return true;
        bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return free;
    }

    ScratchFolder scratch_;
    int fresh_ = 0;
    std::string queue_, tables_;
    std::size_t logStart_ = 0;
};

// Five entries fetched three at a time.
TEST_F(AliasBuildTest, FirstBuildPublishesGenerationOne) {
    std::string longAlias = std::string(140, 'l') + "@example.com";
    ASSERT_TRUE(Sandbox().Add(
        // The primary address in capitals among the values gives no record.
        User("anna@example.com", {"ANNA@EXAMPLE.COM", "a.smith@example.com", "office@example.com"}) +
            User("bob@example.com", {"bob@example.com"}) +  // no aliases
            User("carol@example.org", {"carol@example.org", "Carol.K@Example.ORG", "office@example.com"}) +
            User("dan@example.com", {"dan@example.com", longAlias}) +
            User("eve@example.com", {"eve@example.com", longAlias.substr(0, 140) + "\a@example.org"}),
        true));  // one alias on two users, past the directory's uniqueness guard
    ASSERT_TRUE(Config("[Ldap]\nRecordLimit=3\n"));
    ProcessResult menu = Run("AliasTable");  // no sequence: no warning
    EXPECT_EQ(menu.out, MenuPage(false));
    EXPECT_EQ(menu.exitStatus, 0);
    ProcessResult run = Run("BuildAliasTable");
    EXPECT_EQ(run.out, BuildPage(1));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(Sequence(), "1");
    EXPECT_EQ(Run("AliasTable").out, MenuPage(false));
    // The alias on two users: one record, either one, no error.
    std::string office = Tool("lookup", 1, "office@example.com").out;
    EXPECT_TRUE(office == "anna@example.com\n" || office == "carol@example.org\n") << office;
    ExpectTable(1, "Carol.K@Example.ORG\tcarol@example.org\na.smith@example.com\tanna@example.com\n" +
                       longAlias.substr(0, 127) + "\tdan@example.com\noffice@example.com\t" + office);
    EXPECT_EQ(LogCount(kLogProgress, "Entry anna@example.com, Alias \"a.smith@example.com\""), 1);
    EXPECT_EQ(LogCount(kLogProgress, "Written 4 records to the New Alias File 1.db"), 1);
    EXPECT_EQ(LogCount(kLogError, "is longer than 127 characters"), 1);  // cut, reported
    // Eve's alias cut to Dan's key: not stored, both named, the control byte escaped.
    const std::string eve = longAlias.substr(0, 140) + "\\x07@example.org";
    EXPECT_EQ(
        LogCount(kLogError, "Alias \"" + eve + "\" of eve@example.com is not stored: its first 127 " +
                                "characters are the key of alias \"" + longAlias + "\" of dan@example.com"),
        1);
    EXPECT_EQ(LogCount(kLogError), 2) << Log();
    // The comparison the index was built with is recorded; check says when it changed.
    EXPECT_NE(ReadWholeFile(File(1, ".sum")).find("\nUseCaseSensitiveAliasLookup=NO\n"), std::string::npos);
    ASSERT_TRUE(Config("[PreProcessor]\nUseCaseSensitiveAliasLookup=yes\n"));
    EXPECT_NE(Tool("check", 1).err.find("built with UseCaseSensitiveAliasLookup=NO, the setting is now YES"),
              std::string::npos);
}

TEST_F(AliasBuildTest, MarkedSequenceBuildsTheNextGenerationOverLeftovers) {
    StoreSequence("7!");
    EXPECT_EQ(Run("AliasTable").out, MenuPage(true));  // the warning, nothing changed
    EXPECT_EQ(Sequence(), "7!");
    // A "+" stands escaped in the DN; the record holds the address itself.
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "anna.s@example.com"}) +
                              User("a\\+b@example.com", {"a+b@example.com", "ab@example.com"})));
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    for (const char* extension : {".db", ".id0", ".str"}) {
        WriteWholeFile(File(8, extension), std::string(5000, 'x'));  // left by a failed build
        WriteWholeFile(File(7, extension), "current");
    }
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(8));
    EXPECT_EQ(Sequence(), "8");
    ExpectTable(8, "ab@example.com\ta+b@example.com\nanna.s@example.com\tanna@example.com\n");  // 0660 too
    EXPECT_EQ(ReadWholeFile(File(7, ".db")), "current");
    EXPECT_EQ(LogCount(kLogProgress, "Written 2 records to the New Alias File 8.db"), 1);
}

TEST_F(AliasBuildTest, QueueDirectoryEmptyEndingInSlashOrHoldingTheTables) {
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    const char dump[] = "anna.s@example.com\tanna@example.com\n";
    // Empty: AliasTables in the working folder.
    ASSERT_TRUE(Sandbox().WriteConfig());
    EXPECT_EQ(Run("BuildAliasTable", {"/usr/bin/env", "-C", queue_}).out, BuildPage(1));
    EXPECT_EQ(ModeOf(tables_), 0770);
    ExpectTable(1, dump);
    // Ending in "/": used as given (the doubled "/" shows in a log line).
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "/\n"));
    ASSERT_EQ(mkdir(File(2, ".id0").c_str(), 0770), 0);  // unwritable image
    EXPECT_EQ(Run("BuildAliasTable").out, Failure(kImagesNotWritten));
    EXPECT_EQ(
        LogCount(kLogError, "Could not open file " + queue_ + "//AliasTables/2.id0 for write (errno:21)"), 1);
    EXPECT_EQ(Sequence(), "1!");
    // An existing AliasTables folder is used unchanged.
    rmdir(File(2, ".id0").c_str());
    ASSERT_EQ(chmod(tables_.c_str(), 0750), 0);
    WriteWholeFile(tables_ + "/notes.txt", "kept");
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(2));
    ExpectTable(2, dump);
    EXPECT_EQ(Sequence(), "2");
    // The directory records the published generation; the tool reads no other.
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "2\n");
    EXPECT_EQ(ModeOf(tables_ + "/published"), 0660);
    ProcessResult earlier = Tool("check", 1);
    EXPECT_EQ(earlier.exitStatus, 1);
    EXPECT_EQ(earlier.err,
              "aliastable: generation 1 in " + tables_ + " is not the published one (published: 2)\n");
    EXPECT_EQ(ModeOf(tables_), 0750);
    EXPECT_EQ(ReadWholeFile(tables_ + "/notes.txt"), "kept");
}

// Builds refused before anything is published: the page, the sequence left
// as it was (or marked), no new table, the level-1 log line.
TEST_F(AliasBuildTest, RefusedBuildsLoseNothing) {
    // Without the capabilities that let root bypass file permissions.
    std::vector<std::string> noBypass;
    if (geteuid() == 0)
        noBypass = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
    struct Case {  // logLine: the one level-1 line ("@": the queue folder), "": none
        const char* name;
        std::function<void()> setup;
        std::string page, sequence, logLine;
    };
    std::vector<Case> cases = {
        {"denied queue folder", [&] { chmod(queue_.c_str(), 0555); }, kDirectoryDenied, "4", ""},
        {"unwritable table folder", [&] { mkdir(tables_.c_str(), 0550); }, kImagesNotWritten, "4",
         "Could not open the lock file @/AliasTables/build.lock (errno:13)"},
        {"queue below a file",
         [&] { WriteWholeFile(queue_ + "/f", ""), Config("[Gateway]\nQueueDirectory=" + queue_ + "/f/q\n"); },
         kImagesNotWritten, "4", "Could not open the lock file @/f/q/AliasTables/build.lock (errno:20)"},
        {"overlong queue folder",
         [&] { StoreProfile("mqapi", "mqlocallinuxrootdir", "/" + std::string(4090, 'x')); },
         kDirectoryDenied, "4", "Queue directory too long"},
        {"no directory server", [&] { Config("[Ldap]\nPort=1\n"); },
         "Error connecting to LDAP server, Alias Table not built", "4",
         "LDAP connect to ldap://127.0.0.1:1 failed: Can't contact LDAP server (-1)"},
        {"FIFO as the lock",
         [&] { mkdir(tables_.c_str(), 0770), mkfifo((tables_ + "/build.lock").c_str(), 0660); },
         kImagesNotWritten, "4", "Could not open the lock file @/AliasTables/build.lock (errno:22)"},
        {"FIFO as an image", [&] { mkdir(tables_.c_str(), 0770), mkfifo(File(5, ".id0").c_str(), 0660); },
         kImagesNotWritten, "4!", "WriteArray; Could not open file @/AliasTables/5.id0 for write (errno:6)"},
        {"mark not writable",
         [&] {  // an entry in the sequence's place that cannot hold a value
             Sandbox().Reset(kDomains), StoreProfile("PreProcessor", "Other", "x");
             Sandbox().Add(
                 "dn: cn=AliasSequence,cn=PreProcessor,cn=profiles\nobjectClass: xoprofilesection\n"
                 "cn: AliasSequence\n");
         },
         kMarkNotWritten, "<none>",
         "LDAP profile string write of PreProcessor/AliasSequence failed: Object class violation (65), "
         "server message \"attribute 'xoprofilevalue' not allowed\""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        StoreSequence("4");
        c.setup();
        ProcessResult run = Run("BuildAliasTable", noBypass);
        EXPECT_EQ(run.out, Failure(c.page));
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(Sequence(), c.sequence);
        for (const char* extension : {".db", ".id0", ".str"})  // a failed build's files go
            EXPECT_EQ(ModeOf(File(5, extension)), -1) << extension;
        EXPECT_EQ(LogCount(kLogError), c.logLine.empty() ? 0 : 1) << Log();
        std::size_t at = c.logLine.find('@');  // stands for the queue folder
        if (at != std::string::npos) c.logLine.replace(at, 1, queue_);
        EXPECT_EQ(LogCount(kLogError, c.logLine), c.logLine.empty() ? 0 : 1) << Log();
        chmod(queue_.c_str(), 0755), chmod(tables_.c_str(), 0770);
    }
    ASSERT_TRUE(Sandbox().Reset(kDomains));  // the failed build left no lock
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    ASSERT_TRUE(Config("[Ldap]\nPort=1\n"));  // the menu without a directory server
    EXPECT_EQ(Run("AliasTable").out,
              Failure("Error connecting to LDAP server, Alias Table can not be built"));
}

TEST_F(AliasBuildTest, ServerLostOrPublicationFailingLeavesTheSequenceMarked) {
    StoreSequence("5");
    ASSERT_TRUE(Sandbox().Add(Users(400, 2)));
    {
        Relay relay(true);  // some users arrive, the rest is held
        ASSERT_TRUE(UseRelay(relay));
        // With standard error elsewhere, the run ends with the request.
        auto request = std::async(std::launch::async, [&] {
            return Run("BuildAliasTable", {"/bin/sh", "-c", "\"$0\" 2>/dev/null"});
        });
        ASSERT_TRUE(relay.WaitHolding());
        bool early = request.wait_for(30s) == std::future_status::ready;
        if (!early) relay.Release();
        ASSERT_TRUE(early) << "the page waited for the extraction";
        ProcessResult page = request.get();
        EXPECT_EQ(page.out, BuildPage(6));
        EXPECT_EQ(page.exitStatus, 0);
        relay.Drop();
        std::string lost = "Table 6 not published, the Mail Alias Sequence stays at 5";
        EXPECT_TRUE(WaitFor([&] { return LogCount(kLogError, lost); })) << Log();
        EXPECT_TRUE(WaitFor([&] { return ModeOf(File(6, ".db")) == -1; })) << "the unfinished table stays";
        EXPECT_TRUE(WaitFor([&] { return BuildLockFree(); }));
    }
    EXPECT_EQ(LogCount(kLogError, "The search for Mail Aliases failed"), 1);
    EXPECT_EQ(LogCount(kLogError), 2);
    EXPECT_GT(LogCount(kLogProgress, "Entry user"), 0);
    EXPECT_EQ(LogCount(kLogProgress, "Written"), 0);
    EXPECT_EQ(Sequence(), "5!");
    // The extraction ends, the new number cannot be stored.
    Relay relay(false, true);
    ASSERT_TRUE(UseRelay(relay));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(6));
    EXPECT_EQ(Sequence(), "5!");
    EXPECT_EQ(LogCount(kLogError, kMarkNotWritten), 1) << Log();
    EXPECT_EQ(LogCount(kLogError, "LDAP profile string write of PreProcessor/AliasSequence failed"), 1);
    EXPECT_EQ(LogCount(kLogError), 4);
    EXPECT_EQ(LogCount(kLogProgress, "Written"), 0);
    // Complete, but not published (the number read back says so): gone.
    for (const char* extension : {".db", ".id0", ".str"})
        EXPECT_EQ(ModeOf(File(6, extension)), -1) << extension;
}

// A server that stops answering in the middle of the extraction: the build
// gives up after the time limit, publishes nothing and says why in the log;
// the process never hangs. (At the bind: the frozen-directory fault test.)
TEST_F(AliasBuildTest, StalledServerEndsTheBuildWithinTheLimit) {
    StoreSequence("3");
    ASSERT_TRUE(Sandbox().Add(Users(400, 1)));
    // Stalled after some users arrived: the page is out, the extraction ends.
    Relay relay(true);
    ASSERT_TRUE(relay.Port() > 0 && Config("[Ldap]\nPort=" + std::to_string(relay.Port()) + "\nTimeout=1\n"));
    ProcessResult run;
    double seconds =
        SecondsTaken([&] { run = Run("BuildAliasTable"); });  // until the detached build has ended
    EXPECT_EQ(run.out, BuildPage(4));
    EXPECT_TRUE(seconds >= 0.9 && seconds < 5) << seconds;
    EXPECT_EQ(LogCount(kLogError, "The search for Mail Aliases failed: Timed out (-5)"), 1) << Log();
    EXPECT_EQ(LogCount(kLogError, "Table 4 not published, the Mail Alias Sequence stays at 3"), 1) << Log();
    EXPECT_EQ(Sequence(), "3!");
    relay.Release();
}

TEST_F(AliasBuildTest, TwoBuildsTogetherOneRefusedTableSound) {
    StoreSequence("9");
    ASSERT_TRUE(Sandbox().Add(Users(300, 2)));
    Relay relay(true);  // the extraction that starts is held: the other build meets it
    ASSERT_TRUE(UseRelay(relay));
    auto build = [&] { return std::async(std::launch::async, [&] { return Run("BuildAliasTable"); }); };
    auto one = build(), other = build();
    EXPECT_TRUE(relay.WaitHolding());
    auto ended = [](std::future<ProcessResult>& r) { return r.wait_for(0s) == std::future_status::ready; };
    EXPECT_TRUE(WaitFor([&] { return ended(one) || ended(other); }, 30s));  // the refused one, held
    relay.Release();
    EXPECT_EQ((std::set<std::string>{one.get().out, other.get().out}),
              (std::set<std::string>{BuildPage(10), Failure(kBuildRunning)}));
    EXPECT_EQ(Sequence(), "10");
    EXPECT_EQ(Tool("check", 10).out.rfind("sound: 600 records", 0), 0u);
    EXPECT_EQ(ModeOf(File(11, ".db")), -1);
    EXPECT_EQ(LogCount(kLogError), 0) << Log();
}

// Damage to any file of a published generation shows in check, naming the
// file: the text file too, whose bytes no structure check can judge.
TEST_F(AliasBuildTest, ChecksumShowsDamageInEachFile) {
    ASSERT_TRUE(Sandbox().Add(Users(200, 2)));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    ProcessResult intact = Tool("check", 1);
    EXPECT_EQ(intact.exitStatus, 0) << intact.err;
    EXPECT_EQ(ModeOf(File(1, ".sum")), 0660);
    EXPECT_EQ(ReadWholeFile(File(1, ".sum")).rfind("1.db ", 0), 0u);
    for (const char* extension : {".db", ".id0", ".str"}) {
        std::string path = File(1, extension), original = ReadWholeFile(path);
        for (std::size_t offset : {std::size_t(0), original.size() / 2, original.size() - 1}) {
            SCOPED_TRACE(std::string(extension) + " byte " + std::to_string(offset));
            std::string damaged = original;
            damaged[offset] = char(damaged[offset] ^ 0x20);
            WriteWholeFile(path, damaged);
            ProcessResult check = Tool("check", 1);
            EXPECT_EQ(check.exitStatus, 1);
            EXPECT_EQ(check.out, "");
            EXPECT_NE(check.err.find("1" + std::string(extension) + " differs from its checksum"),
                      std::string::npos)
                << check.err;
        }
        WriteWholeFile(path, original);
    }
    EXPECT_EQ(Tool("check", 1).exitStatus, 0);
}

// Fault tests: after each fault nothing published is incomplete, the build
// lock is free, and the next build publishes every alias.
class AliasBuildFaultTest : public AliasBuildTest {
protected:
    // The published generation (the sequence's digits) is sound and holds `aliases` records.
    void ExpectPublishedSound(int aliases) {
        std::string sequence = Sequence();
        int published = sequence == "<none>" ? 0 : std::atoi(sequence.c_str());
        if (published == 0) return;
        ProcessResult check = Tool("check", published);
        EXPECT_EQ(check.exitStatus, 0) << "generation " << published << ": " << check.err;
        EXPECT_EQ(check.out.rfind("sound: " + std::to_string(aliases) + " records", 0), 0u) << check.out;
    }
    bool LockFree() {
        int fd = open((tables_ + "/build.lock").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT;
        bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return free;
    }
    // The next build publishes the next generation with every alias.
    void ExpectNextBuildSucceeds(int aliases) {
        std::string sequence = Sequence();
        int next = (sequence == "<none>" ? 0 : std::atoi(sequence.c_str())) + 1;
        ASSERT_TRUE(Config());
        EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(next));
        EXPECT_EQ(Sequence(), std::to_string(next));
        ExpectPublishedSound(aliases);
        EXPECT_TRUE(LockFree());
    }
    // SIGKILL to every running process of our executable started by this test; how many were hit.
    static int KillBuilds() {
        char target[PATH_MAX];
        if (realpath(LDAPCGI_EXECUTABLE, target) == nullptr) return 0;
        int killed = 0;
        DIR* proc = opendir("/proc");
        for (dirent* entry; proc != nullptr && (entry = readdir(proc)) != nullptr;) {
            int pid = std::atoi(entry->d_name);
            if (pid <= 0) continue;
            char exe[PATH_MAX];
            ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe - 1);
            if (n <= 0) continue;
            exe[n] = '\0';
            if (std::strcmp(exe, target) != 0) continue;
            // Only this test process's runs (its configuration folder), not other tests' under ctest -j.
            std::string environment = ReadWholeFile("/proc/" + std::to_string(pid) + "/environ");
            std::string mine = std::string("XOMTA_CONFIG_DIR=") + Sandbox().ConfigDir() + '\0';
            if (environment.find(mine) != std::string::npos && kill(pid, SIGKILL) == 0) ++killed;
        }
        if (proc != nullptr) closedir(proc);
        return killed;
    }
};

TEST_F(AliasBuildFaultTest, BuildKilledAtPointsOverItsRun) {
    const int kUsers = 50000, kKillPoints = 24;
    ASSERT_TRUE(Sandbox().Load(Users(kUsers, 1)));
    double full = SecondsTaken([&] { EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1)); });
    ExpectPublishedSound(kUsers);
    int hits = 0;
    for (int point = 0; point < kKillPoints; ++point) {
        SCOPED_TRACE("kill point " + std::to_string(point));
        // A point the build ran past is tried again a little earlier.
        double delay = full * 0.9 * (point + 0.5) / kKillPoints;
        for (int attempt = 0; attempt < 3; ++attempt, delay *= 0.6) {
            auto run = std::async(std::launch::async, [&] { return Run("BuildAliasTable"); });
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            bool hit = KillBuilds() > 0;
            run.get();
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

// The directory frozen (SIGSTOP) before a build and during one: the build
// ends within the time limit and publishes nothing.
TEST_F(AliasBuildFaultTest, DirectoryFrozenBeforeAndDuringABuild) {
    const int kUsers = 3000;
    ASSERT_TRUE(Sandbox().Add(Users(kUsers, 1)));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    ASSERT_TRUE(Config("[Ldap]\nTimeout=1\n"));
    ASSERT_EQ(kill(Sandbox().Pid(), SIGSTOP), 0);
    ProcessResult run;
    double seconds = SecondsTaken([&] { run = Run("BuildAliasTable"); });
    kill(Sandbox().Pid(), SIGCONT);
    EXPECT_EQ(run.out, Failure("Error connecting to LDAP server, Alias Table not built"));
    EXPECT_TRUE(seconds >= 0.9 && seconds < 5) << seconds;
    EXPECT_EQ(LogCount(kLogError, "LDAP bind as \"cn=root\" failed: Timed out (-5)"), 1) << Log();
    EXPECT_EQ(Sequence(), "1");
    EXPECT_TRUE(LockFree());
    // During: frozen once the extraction is under way (held by the relay).
    Relay relay(true);
    ASSERT_TRUE(relay.Port() > 0 && Config("[Ldap]\nPort=" + std::to_string(relay.Port()) + "\nTimeout=1\n"));
    auto request = std::async(std::launch::async, [&] { return Run("BuildAliasTable"); });
    ASSERT_TRUE(relay.WaitHolding());
    ASSERT_EQ(kill(Sandbox().Pid(), SIGSTOP), 0);
    relay.Release();
    bool ended = request.wait_for(10s) == std::future_status::ready;
    kill(Sandbox().Pid(), SIGCONT);
    ASSERT_TRUE(ended) << "the build hung on the frozen directory";
    EXPECT_EQ(request.get().out, BuildPage(2));
    // Frozen before the publication's answer: its write may still be applied
    // once the server runs again, and then the complete generation 2 is published.
    EXPECT_TRUE(WaitFor([&] { return Sequence() != "1!" || LogCount(kLogError, "not published") > 0; }));
    std::string sequence = Sequence();
    EXPECT_TRUE(sequence == "1!" || sequence == "2") << sequence;
    EXPECT_GE(LogCount(kLogError, "LDAP"), 1) << Log();
    ExpectPublishedSound(kUsers);
    EXPECT_TRUE(LockFree());
    ExpectNextBuildSucceeds(kUsers);
}

// Builds stopped between publishing their number and recording it, twice in
// a row, left the directory two generations ahead of the record, and the
// tool trusted neither. A build first records the whole generation that the
// directory names; a damaged one it leaves unrecorded.
TEST_F(AliasBuildFaultTest, RecordCatchesUpBeforeTheNextBuild) {
    ASSERT_TRUE(Sandbox().Add(Users(300, 1)));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(2));
    const std::string record = tables_ + "/published";
    WriteWholeFile(record, "1\n");
    Relay relay(true);
    ASSERT_TRUE(UseRelay(relay));
    auto request = std::async(std::launch::async, [&] { return Run("BuildAliasTable"); });
    ASSERT_TRUE(relay.WaitHolding());
    EXPECT_EQ(ReadWholeFile(record), "2\n");  // before the extraction of generation 3
    relay.Release();
    EXPECT_EQ(request.get().out, BuildPage(3));
    EXPECT_EQ(ReadWholeFile(record), "3\n");
    ExpectPublishedSound(300);
    // Generation 3 damaged: the record stays behind it.
    WriteWholeFile(record, "2\n");
    WriteWholeFile(tables_ + "/3.str", ReadWholeFile(tables_ + "/3.str") + "x");
    ASSERT_TRUE(Config());
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(4));
    EXPECT_EQ(ReadWholeFile(record), "4\n");
    EXPECT_EQ(Tool("check", 4).exitStatus, 0);
}

// The alias table folder made unwritable while a build runs: the checksum
// file cannot be written, nothing is published.
TEST_F(AliasBuildFaultTest, FolderUnwritableDuringABuild) {
    std::vector<std::string> noBypass;
    if (geteuid() == 0)
        noBypass = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
    ASSERT_TRUE(Sandbox().Add(Users(300, 2)));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    Relay relay(true);
    ASSERT_TRUE(UseRelay(relay));
    auto request = std::async(std::launch::async, [&] { return Run("BuildAliasTable", noBypass); });
    ASSERT_TRUE(relay.WaitHolding());
    ASSERT_EQ(chmod(tables_.c_str(), 0550), 0);
    relay.Release();
    EXPECT_EQ(request.get().out, BuildPage(2));
    ASSERT_EQ(chmod(tables_.c_str(), 0770), 0);
    EXPECT_EQ(LogCount(kLogError, "Could not open file " + tables_ + "/2.sum for write (errno:13)"), 1)
        << Log();
    EXPECT_EQ(LogCount(kLogError, "Table 2 not published"), 1) << Log();
    EXPECT_EQ(Sequence(), "1!");
    ExpectPublishedSound(600);
    EXPECT_TRUE(LockFree());
    ExpectNextBuildSucceeds(600);
}

// The file size limit (a full file system) met while the records are
// written: the first record that cannot be written (800 records fill the
// relation's write buffer more than once) ends the build with one error line;
// the search is abandoned, nothing is published, the generation's files are
// removed, and the next build succeeds.
TEST_F(AliasBuildFaultTest, FileSystemFullDuringABuild) {
    ASSERT_TRUE(Sandbox().Add(Users(400, 2)));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    // A fresh log of errors only: it stays below the limit too.
    std::string log = scratch_.File("build.log");
    ASSERT_TRUE(Config("[Log]\nFile=" + log + "\nLevel=1\n"));
    // Room for the images, not for the first write of buffered records.
    std::string limited = "trap '' XFSZ; exec prlimit --fsize=6000 -- \"$0\"";
    EXPECT_EQ(Run("BuildAliasTable", {"/bin/sh", "-c", limited}).out, BuildPage(2));
    EXPECT_EQ(Sequence(), "1!");
    // One line, not one for every alias after the failure.
    std::string text = ReadWholeFile(log);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(" 1 LDAP CGI["), std::string::npos) << text;
    EXPECT_NE(text.find("Error when writing record to the Mail Alias Table, "), std::string::npos) << text;
    for (const char* extension : {".db", ".id0", ".str"})
        EXPECT_EQ(ModeOf(File(2, extension)), -1) << extension;
    EXPECT_EQ(ReadWholeFile(tables_ + "/published"), "1\n");
    ExpectPublishedSound(800);
    EXPECT_TRUE(LockFree());
    ExpectNextBuildSucceeds(800);
}

}  // namespace
