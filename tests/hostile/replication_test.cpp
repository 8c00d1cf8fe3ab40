// The system on two providers that replicate each other, named in HostName
// first and second: a stream of changes while the first is killed, started
// again, frozen and thawed; the first started again behind the second (its
// refresh held back by a relay). Every page must come within the time limit
// and the connect to the next server, and every change a page reports must be
// on both servers once they agree again; two requests racing for one alias.
// A change not sent past a stalled server is also the directory test's.
#include <gtest/gtest.h>
#include <signal.h>

#include <future>
#include <memory>
#include <random>
#include <regex>

#include "tests/hostile/hostile_cases.h"
#include "tests/support/holding_relay.h"
#include "tests/support/log_lines.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUnits = 1000;    // users, one for each change of the stream
constexpr int kMinUnits = 30;   // changes in the stream at least
constexpr int kTimeout = 2;     // [Ldap] Timeout: a loaded second server still answers within it
constexpr double kSlack = 3.0;  // seconds a page may take beyond the time limit
// In the request of a syncrepl consumer: the sync request control.
constexpr char kSyncRequest[] = "1.3.6.1.4.1.4203.1.9.1.1";

std::unique_ptr<DirectorySandbox> Provider(int id, int port, int other) {
    setenv("SANDBOX_SERVER_ID", std::to_string(id).c_str(), 1);
    setenv("SANDBOX_PROVIDERS", ("ldap://127.0.0.1:" + std::to_string(other) + "/").c_str(), 1);
    auto server = std::make_unique<DirectorySandbox>(port);
    unsetenv("SANDBOX_SERVER_ID");
    unsetenv("SANDBOX_PROVIDERS");
    return server;
}

// The text with "#" standing for the unit's number.
string Numbered(const string& text, int unit) { return Replaced(text, "#", std::to_string(unit)); }

// The stream's kinds of change, by unit number: the request, what its page
// shows when it is done (the change itself where the page shows it), and a
// filter that then finds an entry (or, with "!", none).
struct Kind {
    const char *request, *done, *filter;
};
const Kind kKinds[] = {
    {"NewUser|FirstName=N|LastName=New|TelNo=|Address=|Mail=n#@example.com|Submit=Create User",
     "User created Succesfully", "(mail=n#@example.com)"},
    {"UpdateUser|MailNdx=u#@example.com|FirstName=U|LastName=User|TelNo=555#|Address=|Mail=u#@example.com",
     "<td>\n555#\n", "(telephoneNumber=555#)"},
    {"UpdateUser|MailNdx=u#@example.com|FirstName=U|LastName=User|TelNo=|Address=|Mail=r#@example.com",
     "Successfully Updated User", "(&(mail=r#@example.com)(!(mail=u#@example.com)))"},
    {"UpdateAlias|Mail=u#@example.com|MailAlias=a#@example.com", "Added Mail alias",
     "(&(mail=a#@example.com)(mail=u#@example.com))"},
    {"AddChannel|Mail=u#@example.com|Channel=SMTPC|Identifier=c#|Permission=Send/Receive",
     "View Connector</title>", "(othermailbox=SMTPC$c#)"},
    {"VerifyDeleteUser|Mail=u#@example.com", "Successfully Deleted User", "!(mail=u#@example.com)"},
};

class Replication : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::minstd_rand random(static_cast<unsigned>(getpid()));
        for (int attempt = 0; attempt < 4 && !(first_ && first_->Ok() && second_ && second_->Ok());
             ++attempt) {
            int one = 20000 + static_cast<int>(random() % 40000), two = one + 1;
            first_ = Provider(1, one, two);
            second_ = Provider(2, two, one);
        }
    }
    static void TearDownTestSuite() { first_.reset(), second_.reset(); }

    void SetUp() override {
        if (!kPlainBuild)
            GTEST_SKIP() << "the sanitizer build leaves the replicated servers to the plain build";
        ASSERT_TRUE(first_ && first_->Ok() && second_ && second_->Ok());
        string users = kExampleDomainLdif;
        for (int unit = 0; unit < kUnits; ++unit)
            users += Numbered(
                "dn: mail=u#@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                "mail: u#@example.com\nsn: User\nfirstname: U\n\n",
                unit);
        ASSERT_TRUE(first_->Reset(users) &&
                    Name(first_->Uri() + "/ " + second_->Uri() + "/",
                         "[Channels]\nSMTPC=enabled,connectors\n[Gateway]\nQueueDirectory=" +
                             first_->ConfigDir() + "\n"));
        ASSERT_TRUE(Agree());
    }

    // XOMTA.INI with the servers of `hosts` in HostName and the time limit.
    static bool Name(const string& hosts, const string& more = "") {
        return first_->WriteConfig("[Ldap]\nHostName=" + hosts + "\nTimeout=" + std::to_string(kTimeout) +
                                   "\n" + more);
    }

    // The page of a request ("#" standing for the unit's number), with its time checked.
    static ProcessResult Page(const string& request, int unit) {
        const auto start = Clock::now();
        ProcessResult page = PostForm(FormFields(Numbered(request, unit)), first_->ConfigDir());
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), kTimeout + kSlack) << request;
        EXPECT_EQ(page.exitStatus, 0);
        EXPECT_NE(page.out.find("</html>"), string::npos) << page.out;
        return page;
    }
    // Both servers hold the same entries, within 20 seconds.
    static bool Agree() {
        for (int poll = 0; poll < 200; ++poll, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
            if (Dump one, two;
                ReadDirectory(first_->Uri(), &one) && ReadDirectory(second_->Uri(), &two) && one == two)
                return true;
        ADD_FAILURE() << "the servers disagree";
        return false;
    }
    static bool Finds(const string& filter) {
        const bool none = filter[0] == '!';
        return first_->Search("", filter.substr(none ? 1 : 0), "1.1").empty() == none;
    }
    // Whether user u<unit>'s page added the alias.
    static bool AliasAdded(int unit, const string& alias) {
        return Page("UpdateAlias|Mail=u#@example.com|MailAlias=" + alias, unit)
                   .out.find("Added Mail alias") != string::npos;
    }
    static void Signal(int signal) { ASSERT_TRUE(first_->Signal(signal)); }
    static void Restart() { ASSERT_TRUE(first_->Stop() && first_->Start()); }

    static std::unique_ptr<DirectorySandbox> first_, second_;
};
std::unique_ptr<DirectorySandbox> Replication::first_, Replication::second_;

TEST_F(Replication, ChangesWhileTheFirstServerIsKilledRestartedFrozenAndThawed) {
    // The faults from this thread: a server started by another thread would
    // end with it (the sandbox's parent-death signal).
    std::atomic<bool> over{false};
    auto stream = std::async(std::launch::async, [&] {
        std::vector<bool> done;
        for (int unit = 0; unit < kUnits && !(over && unit >= kMinUnits); ++unit) {
            const Kind& kind = kKinds[unit % std::size(kKinds)];
            done.push_back(Page(kind.request, unit).out.find(Numbered(kind.done, unit)) != string::npos);
        }
        return done;
    });
    for (auto [wait, fault] : {std::pair{200, 0}, {700, 1}, {500, 2}, {1500, 3}}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        fault == 0 ? Signal(SIGKILL) : fault == 1 ? Restart() : Signal(fault == 2 ? SIGSTOP : SIGCONT);
    }
    EXPECT_EQ(stream.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "ended before the faults";
    over = true;
    const std::vector<bool> done = stream.get();
    ASSERT_TRUE(Agree());
    for (int unit = 0; unit < static_cast<int>(done.size()); ++unit) {  // reported done: on both servers now
        const Kind& kind = kKinds[unit % std::size(kKinds)];
        EXPECT_TRUE(!done[unit] || Finds(Numbered(kind.filter, unit))) << Numbered(kind.request, unit);
    }
    // Only a page under way when the first was killed may fail, and the
    // changes sent while it was frozen (they wait for it, see below).
    EXPECT_GE(std::count(done.begin(), done.end(), true), static_cast<long>(done.size()) - 3);
}

// Two web servers with the same HostName order give one alias to two users
// at once: with both servers up and with the first killed, at most one page
// adds it; with the first frozen, neither (a change is not sent past a
// server that may still carry out what it holds). Then a change stuck on
// the first, frozen between the page's check and its write: the other page
// does not add the alias elsewhere, and after the thaw at most the stuck
// one holds it.
TEST_F(Replication, OneAliasRacedByTwoRequestsIsStoredOnce) {
    for (int fault : {0, SIGKILL, SIGSTOP}) {
        SCOPED_TRACE(fault);
        const string alias = "raced" + std::to_string(fault) + "@example.com";
        if (fault) Signal(fault);
        auto one = std::async(std::launch::async, [&] { return AliasAdded(1, alias); });
        const bool twoWon = AliasAdded(2, alias), oneWon = one.get();
        // Both may lose: two modifies at once can both pass the unique
        // overlay, and each page then finds the other holder and takes its
        // own value back.
        EXPECT_FALSE(oneWon && twoWon);
        EXPECT_FALSE(fault == SIGSTOP && (oneWon || twoWon));
        if (fault == SIGSTOP) Signal(SIGCONT);
        if (fault == SIGKILL) Restart();
        ASSERT_TRUE(Agree());
        EXPECT_EQ(first_->Search("", "(mail=" + alias + ")", "1.1"),
                  oneWon == twoWon
                      ? ""
                      : "dn: mail=u" + string(oneWon ? "1" : "2") + "@example.com,dc=example,dc=com\n\n");
    }
    const string alias = "stuck@example.com";
    HoldingRelay relay(first_->Port(), alias, 1);  // the answer to the stuck page's check
    ASSERT_TRUE(Name("ldap://127.0.0.1:" + std::to_string(relay.Port()) + "/ " + second_->Uri() + "/"));
    auto stuck = std::async(std::launch::async, [&] { return AliasAdded(1, alias); });
    ASSERT_TRUE(relay.WaitHolding());
    Signal(SIGSTOP);
    relay.Release();
    EXPECT_FALSE(AliasAdded(2, alias));
    EXPECT_FALSE(stuck.get());
    Signal(SIGCONT);
    ASSERT_TRUE(Agree());
    const string holder = first_->Search("", "(mail=" + alias + ")", "1.1");
    EXPECT_TRUE(holder.empty() || holder == "dn: mail=u1@example.com,dc=example,dc=com\n\n") << holder;
}

// The first server started again behind the second, its refresh held back:
// while it catches up, pages go to the second and show what it holds.
TEST_F(Replication, AServerCatchingUpIsPassedOver) {
    Signal(SIGKILL);
    Page(kKinds[1].request, 0);  // telephone number 5550
    const string settings = first_->ConfigDir() + "/replication", direct = ReadWholeFile(settings);
    {
        HoldingRelay relay(second_->Port(), kSyncRequest, 1);
        ASSERT_TRUE(WriteWholeFile(settings, std::regex_replace(direct, std::regex(":[0-9]+/"),
                                                                ":" + std::to_string(relay.Port()) + "/")));
        Restart();
        ASSERT_TRUE(relay.WaitHolding() && first_->ClearLog());
        for (int read = 0; read < 3; ++read)
            EXPECT_NE(Page("FindUser|Mail=u0@example.com", 0).out.find("<td>\n5550\n"), string::npos);
        EXPECT_EQ(CountLogLines(first_->ReadLog(), "is catching up on replication", "1"), 3);
        // Named twice before the second (as two providers both catching up): neither is used.
        ASSERT_TRUE(Name(first_->Uri() + "/ " + first_->Uri() + " " + second_->Uri() + "/"));
        EXPECT_NE(Page("FindUser|Mail=u0@example.com", 0).out.find("<td>\n5550\n"), string::npos);
        // The second frozen: a change goes to neither, the first not holding all the second may hold.
        ASSERT_TRUE(second_->Signal(SIGSTOP));
        EXPECT_EQ(Page(kKinds[1].request, 9).out.find("<td>\n5559\n"), string::npos);
        ASSERT_TRUE(second_->Signal(SIGCONT));
    }
    ASSERT_TRUE(WriteWholeFile(settings, direct));
    Restart();
    ASSERT_TRUE(Agree());
}

}  // namespace
