// The alias table build against the sandbox slapd, run as the web server runs
// it: pages, the alias sequence, the generation files and their modes, the
// table as the aliastable tool reads it, and the log lines.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/platform/db_test_support.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"

namespace {

using namespace std::chrono_literals;

const char kTitle[] = "Build Alias Table";
const char kDirectoryDenied[] = "Could create Alias Directory for the Mail Alias Tables";
const char kImagesNotWritten[] = "Error Writing the Disk Images for the Mail Alias Tables.";
const char kBuildRunning[] = "Another Mail Alias Table build is in progress, Alias Table not built";
const char kMarkNotWritten[] = "Could not write the new Mail Alias Sequence # to the LDAP server";

std::string MenuPage(bool warning) {
    return pagetexts::Header(kTitle) +
           "<p>This operation extracts all Mail Aliases from the LDAP Directory and builds a separate database.</p>"
           "<p>This database is required by the Preprocessor to recognise recipients in incoming messages by "
           "their alias name.</p>" +
           (warning ? "<p>Warning! Another Mail Alias Table build may already be in progress. Do not press the "
                      "\"Build Alias Table\" until the previous build is complete.</p>"
                    : "") +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
           "<input type=\"hidden\" name=\"Command\" value=\"BuildAliasTable\">\n"
           "<center><input type=\"submit\" name=\"AliasTable\" value=\"Build Alias Table\"></center>\n"
           "</form>" + pagetexts::PageEnd();
}

std::string BuildPage(int number) {
    return pagetexts::Header(kTitle) +
           "<p>The Mail Alias Table will now be built in the background ( Sequence # is " + std::to_string(number) +
           " ).</p><p>The new database will be ready for the Preprocessor in approx. two minutes.</p>" +
           pagetexts::PageEnd();
}

std::string Failure(const std::string& message) { return pagetexts::ResultPage(kTitle, message); }

// An entry below dc=example,dc=com or dc=example,dc=org named by its address.
std::string User(const std::string& address, const std::vector<std::string>& mail) {
    std::string domain = address.substr(address.find('@') + 1);
    std::string ldif = "dn: mail=" + address + ",dc=" + domain.substr(0, domain.find('.')) + ",dc=" +
                       domain.substr(domain.find('.') + 1) + "\nobjectClass: xoperson\n";
    for (const auto& value : mail) ldif += "mail: " + value + "\n";
    return ldif + "\n";
}

// `count` users userN@example.com, each with aliases aliasK.userN@example.org.
std::string Users(int count, int aliases) {
    std::string ldif;
    for (int i = 0; i < count; ++i) {
        std::string user = "user" + std::to_string(i);
        std::vector<std::string> mail = {user + "@example.com"};
        for (int k = 0; k < aliases; ++k) mail.push_back("alias" + std::to_string(k) + "." + user + "@example.org");
        ldif += User(mail[0], mail);
    }
    return ldif;
}

const char kDomains[] = "dn: dc=com\nobjectClass: domain\ndc: com\n\ndn: dc=example,dc=com\nobjectClass: domain\n"
                        "dc: example\n\ndn: dc=org\nobjectClass: domain\ndc: org\n\ndn: dc=example,dc=org\n"
                        "objectClass: domain\ndc: example\n\n";

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

// Loopback relay to the sandbox slapd. Once a connection has carried the
// users search ("xoperson" in a request) it forwards `holdAfter` answer bytes
// and holds the rest until Release(). Drop() closes every connection, as a
// failing network would; with `dropNextRequest` the request after the search
// (the publication) closes its connection.
class Relay {
public:
    explicit Relay(std::size_t holdAfter, bool dropNextRequest = false)
        : holdAfter_(holdAfter), dropNextRequest_(dropNextRequest) {
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listen_, 16) == 0 &&
            getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
            thread_ = std::thread([this] { Run(); });
        }
    }
    ~Relay() { stop_ = true, thread_.joinable() ? thread_.join() : void(), close(listen_); }
    int Port() const { return port_; }
    bool WaitHolding() const { return WaitFor([this] { return bool(holding_); }, 30s); }
    void Release() { released_ = true; }
    void Drop() { drop_ = true, WaitFor([this] { return !drop_; }); }

private:
    struct Link { int client, server; bool extraction = false; std::size_t answered = 0; };
    static sockaddr_in Loopback(int port) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        return address;
    }
    static void Close(Link& link) { close(link.client), close(link.server), link.client = -1; }
    void Run() {
        std::vector<Link> links;
        char buffer[16384];
        while (!stop_) {
            if (drop_) {
                for (Link& link : links) Close(link);
                links.clear();
                drop_ = false;
            }
            std::vector<pollfd> fds = {{listen_, POLLIN, 0}};
            for (const Link& link : links) {
                bool held = link.extraction && !released_ && link.answered >= holdAfter_;
                fds.push_back({link.client, POLLIN, 0});
                fds.push_back({held ? -1 : link.server, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), 20) <= 0) continue;
            for (std::size_t i = 0; i < links.size(); ++i) {
                Link& link = links[i];
                for (int side = 0; side < 2 && link.client >= 0; ++side) {
                    if (fds[1 + 2 * i + side].fd < 0 || fds[1 + 2 * i + side].revents == 0) continue;
                    bool request = side == 0;
                    if (request && link.extraction && dropNextRequest_) {
                        Close(link);
                        break;
                    }
                    std::size_t room = sizeof buffer;
                    if (!request && link.extraction && !released_) room = std::min(room, holdAfter_ - link.answered);
                    ssize_t n = read(request ? link.client : link.server, buffer, room);
                    if (n <= 0 || write(request ? link.server : link.client, buffer, std::size_t(n)) != n) {
                        Close(link);
                        break;
                    }
                    if (request && std::string(buffer, std::size_t(n)).find("xoperson") != std::string::npos) {
                        link.extraction = true;
                    } else if (!request && link.extraction) {
                        link.answered += std::size_t(n);
                    }
                    if (link.extraction && !released_ && link.answered >= holdAfter_) holding_ = true;
                }
            }
            links.erase(std::remove_if(links.begin(), links.end(), [](const Link& l) { return l.client < 0; }),
                        links.end());
            if (fds[0].revents & POLLIN) {
                Link link = {accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC),
                             socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
                sockaddr_in server = Loopback(DirectorySandbox::Get().Port());
                bool connected = connect(link.server, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
                connected ? links.push_back(link) : Close(link);
            }
        }
        for (Link& link : links) Close(link);
    }

    std::size_t holdAfter_;
    bool dropNextRequest_;
    int listen_ = -1, port_ = 0;
    std::atomic<bool> holding_{false}, released_{false}, drop_{false}, stop_{false};
    std::thread thread_;
};

class AliasBuildTest : public ::testing::Test {
protected:
    static DirectorySandbox& Sandbox() { return DirectorySandbox::Get(); }

    void SetUp() override {
        ASSERT_TRUE(Sandbox().Ok());
        Fresh();
    }
    // Only the example domains in the directory, a new queue folder in XOMTA.INI, the log from here on.
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
        Environment env = {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                           {"CONTENT_LENGTH", std::to_string(body.size())}, {"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()},
                           {"PATH", getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"}};
        if (getenv("ASAN_OPTIONS")) env["ASAN_OPTIONS"] = getenv("ASAN_OPTIONS");
        prefix.push_back(LDAPCGI_EXECUTABLE);
        return RunProcess(prefix, env, body);
    }

    // The sequence in the directory, "<none>" when not stored.
    std::string Sequence() {
        std::string found =
            Sandbox().Search("cn=AliasSequence,cn=PreProcessor,cn=profiles", "(objectClass=*)", "xoprofilevalue");
        std::size_t at = found.find("xoprofilevalue: ");
        return at == std::string::npos ? "<none>" : found.substr(at + 16, found.find('\n', at) - at - 16);
    }
    void StoreProfile(const std::string& section, const std::string& key, const std::string& value) {
        Sandbox().Add("dn: cn=profiles\nobjectClass: xoprofilesection\ncn: profiles\n");  // fails when present
        Sandbox().Add("dn: cn=" + section + ",cn=profiles\nobjectClass: xoprofilesection\ncn: " + section + "\n");
        ASSERT_TRUE(Sandbox().Add("dn: cn=" + key + ",cn=" + section + ",cn=profiles\nobjectClass: xoprofilestring\n"
                                  "cn: " + key + "\nxoprofilevalue: " + value + "\n"));
    }
    void StoreSequence(const std::string& value) { StoreProfile("PreProcessor", "AliasSequence", value); }

    // Log lines since the test began that hold `text`, at `level`.
    int LogCount(int level, const std::string& text = "") {
        std::istringstream log(Sandbox().ReadLog().substr(logStart_));
        int count = 0;
        for (std::string line; std::getline(log, line);)
            count += line.find(" " + std::to_string(level) + " LDAP CGI") != std::string::npos &&
                     line.find(text) != std::string::npos;
        return count;
    }
    std::string Log() { return Sandbox().ReadLog().substr(logStart_); }

    // The aliastable tool on a generation: check verdict, dump, lookup.
    static ProcessResult Tool(const std::string& verb, const std::string& dir, int generation,
                              const std::string& alias = "") {
        std::vector<std::string> argv = {BinaryPath("aliastable"), verb, dir, std::to_string(generation)};
        if (!alias.empty()) argv.push_back(alias);
        return RunProcess(argv, {{"XOMTA_CONFIG_DIR", Sandbox().ConfigDir()}}, "");
    }
    // A published generation: sound, files 0660 in a 0770 folder, dumped as `dump`.
    void ExpectTable(const std::string& dir, int generation, const std::string& dump, bool modes = true) {
        ProcessResult check = Tool("check", dir, generation);
        EXPECT_EQ(check.exitStatus, 0) << check.err;
        for (const char* extension : {".db", ".id0", ".str"})
            EXPECT_EQ(modes ? ModeOf(dir + "/" + std::to_string(generation) + extension) : 0660, 0660) << extension;
        EXPECT_EQ(Tool("dump", dir, generation).out, dump);
    }
    std::string File(int generation, const char* extension) const {
        return tables_ + "/" + std::to_string(generation) + extension;
    }

    ScratchFolder scratch_;
    int fresh_ = 0;
    std::string queue_, tables_;
    std::size_t logStart_ = 0;
};

TEST_F(AliasBuildTest, MenuWarnsOnlyOfAMarkedSequence) {
    ProcessResult menu = Run("AliasTable");
    EXPECT_EQ(menu.out, MenuPage(false));
    EXPECT_EQ(menu.exitStatus, 0);
    StoreSequence("7");
    EXPECT_EQ(Run("AliasTable").out, MenuPage(false));
    Fresh();
    StoreSequence("7!");
    EXPECT_EQ(Run("AliasTable").out, MenuPage(true));
    EXPECT_EQ(Sequence(), "7!");
}

TEST_F(AliasBuildTest, FirstBuildPublishesGenerationOne) {
    ASSERT_TRUE(Sandbox().Add(
        // The primary address in capitals among the values gives no record.
        User("anna@example.com", {"ANNA@EXAMPLE.COM", "a.smith@example.com"}) +
        User("bob@example.com", {"bob@example.com"}) +  // no aliases
        User("carol@example.org", {"carol@example.org", "Carol.K@Example.ORG", "ck@example.com"}) +
        "dn: cn=list,dc=example,dc=com\nobjectClass: xoperson\ncn: list\nmail: l@example.com\nmail: l2@example.com\n\n"));
    ProcessResult run = Run("BuildAliasTable");
    EXPECT_EQ(run.out, BuildPage(1));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(Sequence(), "1");
    EXPECT_EQ(ModeOf(tables_), 0770);
    ExpectTable(tables_, 1, "Carol.K@Example.ORG\tcarol@example.org\na.smith@example.com\tanna@example.com\n"
                            "ck@example.com\tcarol@example.org\n");
    EXPECT_EQ(Tool("lookup", tables_, 1, "ck@example.com").out, "carol@example.org\n");
    EXPECT_EQ(Tool("lookup", tables_, 1, "bob@example.com").exitStatus, 1);
    EXPECT_EQ(LogCount(6, "Entry anna@example.com, Alias \"a.smith@example.com\""), 1);
    EXPECT_EQ(LogCount(6, "Entry bob@example.com"), 0);
    EXPECT_EQ(LogCount(6, "Written 3 records to the New Alias File 1.db"), 1);
    EXPECT_EQ(LogCount(1), 0) << Log();
}

TEST_F(AliasBuildTest, MarkedSequenceBuildsTheNextGenerationOverLeftovers) {
    StoreSequence("7!");
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    // A "+" stands escaped in the DN; the record holds the address itself.
    ASSERT_TRUE(Sandbox().Add(User("a\\+b@example.com", {"a+b@example.com", "ab@example.com"})));
    ASSERT_EQ(mkdir(tables_.c_str(), 0770), 0);
    for (const char* extension : {".db", ".id0", ".str"}) {
        WriteWholeFile(File(8, extension), std::string(5000, 'x'));  // left by a failed build
        WriteWholeFile(File(7, extension), "current");
    }
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(8));
    EXPECT_EQ(Sequence(), "8");
    ExpectTable(tables_, 8, "ab@example.com\ta+b@example.com\nanna.s@example.com\tanna@example.com\n");  // leftovers get 0660 too
    EXPECT_EQ(ReadWholeFile(File(7, ".db")), "current");
    EXPECT_EQ(LogCount(6, "Written 2 records to the New Alias File 8.db"), 1);
}

TEST_F(AliasBuildTest, SameAliasOnTwoUsersGivesOneRecordWithoutError) {
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "office@example.com"}) +
                              User("bob@example.com", {"bob@example.com", "office@example.com"})));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    EXPECT_EQ(Sequence(), "1");
    std::string dump = Tool("dump", tables_, 1).out;
    EXPECT_TRUE(dump == "office@example.com\tanna@example.com\n" || dump == "office@example.com\tbob@example.com\n")
        << dump;
    EXPECT_EQ(LogCount(1), 0) << Log();
    EXPECT_EQ(LogCount(6, "Written 1 records"), 1);
}

TEST_F(AliasBuildTest, RecordLimitAndQuietLogKeepTheTableComplete) {
    std::string longAlias = std::string(140, 'l') + "@example.com";
    ASSERT_TRUE(Sandbox().Add(Users(12, 2) + User("anna@example.com", {"anna@example.com", longAlias})));
    ASSERT_TRUE(Config("[Ldap]\nRecordLimit=3\n[Log]\nLevel=5\n"));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    EXPECT_EQ(Sequence(), "1");
    EXPECT_EQ(Tool("check", tables_, 1).out.rfind("sound: 25 records", 0), 0u);
    EXPECT_EQ(Tool("lookup", tables_, 1, "alias1.user11@example.org").out, "user11@example.com\n");
    EXPECT_EQ(Tool("lookup", tables_, 1, longAlias.substr(0, 127)).out, "anna@example.com\n");  // cut, reported
    EXPECT_EQ(LogCount(1, "is longer than 127 characters"), 1);
    EXPECT_EQ(LogCount(6), 0);
    // Back to every level: each alias is logged.
    ASSERT_TRUE(Config("[Ldap]\nRecordLimit=3\n"));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(2));
    EXPECT_EQ(LogCount(6, "Entry user"), 24);
    EXPECT_EQ(LogCount(6, "Written 25 records to the New Alias File 2.db"), 1);
}

TEST_F(AliasBuildTest, QueueDirectoryEmptyEndingInSlashOrHoldingTheTables) {
    ASSERT_TRUE(Sandbox().Add(User("anna@example.com", {"anna@example.com", "anna.s@example.com"})));
    // Empty: AliasTables in the working folder.
    ASSERT_TRUE(Sandbox().WriteConfig());
    EXPECT_EQ(Run("BuildAliasTable", {"/usr/bin/env", "-C", queue_}).out, BuildPage(1));
    EXPECT_EQ(ModeOf(tables_), 0770);
    ExpectTable(tables_, 1, "anna.s@example.com\tanna@example.com\n");
    // Ending in "/": used as given (the doubled "/" shows in a log line).
    ASSERT_TRUE(Sandbox().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "/\n"));
    ASSERT_EQ(mkdir(File(2, ".id0").c_str(), 0770), 0);  // unwritable image
    EXPECT_EQ(Run("BuildAliasTable").out, Failure(kImagesNotWritten));
    EXPECT_EQ(LogCount(1, "WriteArray; Could not open file " + queue_ + "//AliasTables/2.id0 for write (errno:21)"),
              1);
    EXPECT_EQ(Sequence(), "1!");
    rmdir(File(2, ".id0").c_str());
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(2));
    ExpectTable(tables_, 2, "anna.s@example.com\tanna@example.com\n");
    // An existing AliasTables folder is used unchanged.
    ASSERT_EQ(chmod(tables_.c_str(), 0750), 0);
    WriteWholeFile(tables_ + "/notes.txt", "kept");
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(3));
    EXPECT_EQ(Sequence(), "3");
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
    int lock = -1;
    struct Case {  // logLine: the one level-1 line ("@": the queue folder), "": none
        const char* name; std::function<void()> setup; std::string page, sequence, logLine; bool logEmpty = false;
    };
    std::vector<Case> cases = {
        {"denied queue folder", [&] { chmod(queue_.c_str(), 0555); }, kDirectoryDenied, "4", ""},
        {"unwritable table folder", [&] { mkdir(tables_.c_str(), 0550); },
         kImagesNotWritten, "4", "Could not open the lock file @/AliasTables/build.lock (errno:13)"},
        {"queue below a file",
         [&] { WriteWholeFile(queue_ + "/plain", ""), Config("[Gateway]\nQueueDirectory=" + queue_ + "/plain/q\n"); },
         kImagesNotWritten, "4", "Could not open the lock file @/plain/q/AliasTables/build.lock (errno:20)"},
        {"overlong queue folder", [&] { StoreProfile("mqapi", "mqlocallinuxrootdir", "/" + std::string(4090, 'x')); },
         kDirectoryDenied, "4", "Queue directory too long"},
        {"build in progress", [&] { mkdir(tables_.c_str(), 0770), lock = open((tables_ + "/build.lock").c_str(),
                                    O_RDWR | O_CREAT | O_CLOEXEC, 0660), flock(lock, LOCK_EX); }, kBuildRunning, "4", ""},
        {"no directory server", [&] { Config("[Ldap]\nPort=1\n"); },
         "Error connecting to LDAP server, Alias Table not built", "4", "", true},
        {"disk full at flush",
         [&] { mkdir(tables_.c_str(), 0770), symlink("/dev/full", (tables_ + "/5.str").c_str()); },
         kImagesNotWritten, "4!", "WriteArray; Error writing to file @/AliasTables/5.str"},
        {"mark not writable", [&] {  // an entry in the sequence's place that cannot hold a value
             Sandbox().Reset(kDomains), StoreProfile("PreProcessor", "Other", "x");
             Sandbox().Add("dn: cn=AliasSequence,cn=PreProcessor,cn=profiles\nobjectClass: xoprofilesection\n"
                           "cn: AliasSequence\n"); }, kMarkNotWritten, "<none>", "", true},
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
        EXPECT_EQ(ModeOf(tables_ + "/5.db"), c.sequence == "4!" ? 0660 : -1);
        EXPECT_EQ(LogCount(1), c.logLine.empty() ? 0 : 1) << Log();
        std::size_t at = c.logLine.find('@');  // stands for the queue folder
        if (at != std::string::npos) c.logLine.replace(at, 1, queue_);
        EXPECT_EQ(LogCount(1, c.logLine), c.logLine.empty() ? 0 : 1) << Log();
        EXPECT_TRUE(!c.logEmpty || Log().empty()) << Log();
        chmod(queue_.c_str(), 0755), chmod(tables_.c_str(), 0770), close(lock), lock = -1;
    }
    ASSERT_TRUE(Sandbox().Reset(kDomains));  // the failed build left no lock
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(1));
    ASSERT_TRUE(Config("[Ldap]\nPort=1\n"));  // the menu without a directory server
    EXPECT_EQ(Run("AliasTable").out, Failure("Error connecting to LDAP server, Alias Table can not be built"));
}

TEST_F(AliasBuildTest, WriteErrorDuringExtractionPublishesNothing) {
    ASSERT_TRUE(Sandbox().Add(Users(50, 1)));
    std::string log = scratch_.File("build.log");  // a fresh log stays below the limit
    ASSERT_TRUE(Config("[Log]\nFile=" + log + "\n"));
    // Room for the images, not for 50 records.
    ProcessResult run = Run("BuildAliasTable", {"/bin/sh", "-c", "trap '' XFSZ; exec prlimit --fsize=6000 -- \"$0\""});
    EXPECT_EQ(run.out, BuildPage(1));
    EXPECT_EQ(Sequence(), "0!");
    std::string text = ReadWholeFile(log);
    for (const char* part : {" 1 LDAP CGI[", "Error when writing", "not published"})
        EXPECT_NE(text.find(part), std::string::npos) << text;
    EXPECT_EQ(text.find("Written"), std::string::npos) << text;
}

TEST_F(AliasBuildTest, ServerLostDuringExtractionPublishesNothing) {
    StoreSequence("5");
    ASSERT_TRUE(Sandbox().Add(Users(400, 2)));
    Relay relay(8192);  // some users arrive, the rest is held
    ASSERT_TRUE(UseRelay(relay));
    // With standard error elsewhere, the run ends with the request.
    auto request = std::async(std::launch::async,
                              [&] { return Run("BuildAliasTable", {"/bin/sh", "-c", "\"$0\" 2>/dev/null"}); });
    ASSERT_TRUE(relay.WaitHolding());
    bool early = request.wait_for(30s) == std::future_status::ready;
    if (!early) relay.Release();
    ASSERT_TRUE(early) << "the page waited for the extraction";
    ProcessResult page = request.get();
    EXPECT_EQ(page.out, BuildPage(6));
    EXPECT_EQ(page.exitStatus, 0);
    relay.Drop();
    EXPECT_TRUE(WaitFor([&] { return LogCount(1, "Table 6 not published, the Mail Alias Sequence stays at 5"); }))
        << Log();
    EXPECT_EQ(LogCount(1, "The search for Mail Aliases failed"), 1);
    EXPECT_EQ(LogCount(1), 2);
    EXPECT_GT(LogCount(6, "Entry user"), 0);
    EXPECT_EQ(LogCount(6, "Written"), 0);
    EXPECT_EQ(Sequence(), "5!");
}

TEST_F(AliasBuildTest, NumberThatCannotBePublishedLeavesTheSequenceMarked) {
    StoreSequence("5");
    ASSERT_TRUE(Sandbox().Add(Users(30, 1)));
    Relay relay(std::string::npos, true);
    ASSERT_TRUE(UseRelay(relay));
    EXPECT_EQ(Run("BuildAliasTable").out, BuildPage(6));
    EXPECT_EQ(Sequence(), "5!");
    EXPECT_EQ(LogCount(1, kMarkNotWritten), 1) << Log();
    EXPECT_EQ(LogCount(1), 1);
    EXPECT_EQ(LogCount(6, "Written"), 0);
    EXPECT_EQ(Tool("check", tables_, 6).out.rfind("sound: 30 records", 0), 0u);  // complete, not published
}

TEST_F(AliasBuildTest, TwoBuildsTogetherOneRefusedTableSound) {
    StoreSequence("9");
    ASSERT_TRUE(Sandbox().Add(Users(300, 2)));
    Relay relay(0);  // the extraction that starts is held: the other build meets it
    ASSERT_TRUE(UseRelay(relay));
    // Both from one shell: test threads forking at once would pass each other their pipes.
    std::string body = scratch_.File("body"), one = scratch_.File("one"), other = scratch_.File("other");
    WriteWholeFile(body, "Command=BuildAliasTable");
    auto both = std::async(std::launch::async, [&] {
        std::string cgi = "\"$0\" <" + body + " >";
        return Run("BuildAliasTable", {"/bin/sh", "-c", cgi + one + " & " + cgi + other + "; wait"});
    });
    EXPECT_TRUE(relay.WaitHolding());
    auto refused = [&](const std::string& page) { return ReadWholeFile(page) == Failure(kBuildRunning); };
    EXPECT_TRUE(WaitFor([&] { return refused(one) || refused(other); }, 30s));
    relay.Release();
    both.get();
    EXPECT_EQ((std::set<std::string>{ReadWholeFile(one), ReadWholeFile(other)}),
              (std::set<std::string>{BuildPage(10), Failure(kBuildRunning)}));
    EXPECT_EQ(Sequence(), "10");
    EXPECT_EQ(Tool("check", tables_, 10).out.rfind("sound: 600 records", 0), 0u);
    EXPECT_EQ(ModeOf(File(11, ".db")), -1);
    EXPECT_EQ(LogCount(1), 0) << Log();
}

}  // namespace
