// The directory failing under the page of each changing command of the
// command table: the server stopped, or frozen (SIGSTOP), before the request,
// and after each of the page's requests to it in turn (a relay holds the
// answer to that request while the fault is set, then lets it through); for
// a rename also the answer to each request lost while the server runs on.
// Every page must end within the time limit with one complete page and no
// signal; the directory, read once the server runs again, must be as it was
// or exactly as asked, and as asked whenever the page reports success. The
// alias table build has fault tests of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/hostile/directory_dump.h"
#include "tests/hostile/hostile_cases.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

namespace {

using namespace std::chrono_literals;
using std::string;

constexpr double kPageSecondsLimit = 8;  // [Ldap] Timeout=1: a page waits at most a few seconds
const string kNotConnected = "Error connecting to LDAP";
constexpr int kLanes = 3;  // directory servers, each failing under one page at a time

// kLost: the answer to the request never comes, though the server carried it out.
enum class Fault { kStopped, kFrozen, kLost };

const char* Name(Fault fault) {
    return fault == Fault::kStopped ? "stopped" : fault == Fault::kFrozen ? "frozen" : "answer lost";
}

// A directory server of its own, for one page at a time.
class FaultLane {
public:
    void Open() {
        ASSERT_TRUE(server_.Ok());
        queue_ = server_.ConfigDir() + "/queue";
        mkdir(queue_.c_str(), 0755);
        ASSERT_TRUE(server_.Reset(SeedLdif()));
        ASSERT_TRUE(Configure(server_.Port()));
        connection_ = std::make_unique<DirectoryConnection>(server_.Uri(), DirectorySandbox::RootDn(),
                                                            DirectorySandbox::RootPassword());
        ASSERT_TRUE(connection_->Read(&seed_));
    }

    bool Configure(int port) {
        return server_.WriteConfig("[Ldap]\nPort=" + std::to_string(port) +
                                   "\nTimeout=1\n[Gateway]\nQueueDirectory=" + queue_ +
                                   "\n[Channels]\nSMTP=enabled,connectors\nLOCAL=enabled,connectors\n");
    }

    void Set(Fault fault) {
        if (fault == Fault::kStopped) server_.Stop();
        if (fault == Fault::kFrozen) kill(server_.Pid(), SIGSTOP);
    }
    void Clear(Fault fault) {
        if (fault == Fault::kStopped) ASSERT_TRUE(server_.Start());
        if (fault == Fault::kFrozen) kill(server_.Pid(), SIGCONT);
    }

    ProcessResult Send(const Case& c) {
        auto [body, type] = Body(c);
        return RunCgi({{"XOMTA_CONFIG_DIR", server_.ConfigDir()},
                       {"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", type},
                       {"CONTENT_LENGTH", std::to_string(body.size())},
                       {"HTTP_HOST", "mail.example.com"},
                       {"HTTP_ORIGIN", "http://mail.example.com"},
                       {"HTTP_SEC_FETCH_SITE", "same-origin"}},
                      body);
    }

    // The page and the directory after a fault; the directory is put back as seeded.
    void Check(const Case& c, const ProcessResult& page, double seconds, Fault fault, bool mustRefuse) {
        // A few read pages end with status 1 after their failure page.
        EXPECT_TRUE(page.exitStatus == 0 || page.exitStatus == 1) << page.exitStatus << page.err;
        EXPECT_EQ(PageShapeFaults(page.out), "") << page.out;
        EXPECT_LT(seconds, kPageSecondsLimit);
        bool success = page.out.find(c.model->success) != string::npos;
        // A directory that did not answer is never reported as an absent or refused entry.
        for (const char* wrong : {"not found", "has been deleted", "Could not add modified User"})
            EXPECT_EQ(page.out.find(wrong), string::npos) << page.out;
        if (mustRefuse) {
            EXPECT_FALSE(success);
            EXPECT_NE(page.out.find(kNotConnected), string::npos) << page.out;
        }
        Dump after;
        // A request the frozen server had queued is carried out once it runs again.
        if (fault == Fault::kFrozen) std::this_thread::sleep_for(300ms);
        for (int attempt = 0; attempt < 50 && !connection_->Read(&after); ++attempt) {
            connection_ = std::make_unique<DirectoryConnection>(server_.Uri(), DirectorySandbox::RootDn(),
                                                                DirectorySandbox::RootPassword());
            std::this_thread::sleep_for(100ms);
        }
        Dump asked = c.model->expect(seed_, Request{&c.fields}), renamedOnly = RenamedOnly(c, asked);
        if (success)
            EXPECT_TRUE(after == asked) << "reported success, directory not as asked:\n"
                                        << Difference(asked, after);
        else
            EXPECT_TRUE(after == seed_ || after == asked || after == renamedOnly)
                << "directory neither as it was nor as asked:\n"
                << Difference(seed_, after) << "against what was asked:\n"
                << Difference(asked, after) << page.out;
        if (after != seed_) {
            ASSERT_TRUE(connection_->Restore(after, seed_));
        }
    }

    // A renamed user with its old form values: the one step between a rename and its
    // form values that a lost server leaves. Without a rename, what was asked.
    Dump RenamedOnly(const Case& c, const Dump& asked) {
        const Request request{&c.fields};
        const char *mail = request.Value("Mail"), *old = request.Value("MailNdx");
        if (mail == nullptr || old == nullptr || MailDn(mail) == MailDn(old)) return asked;
        Dump renamed = asked;
        for (const char* attr : {"firstname", "sn", "cn", "telephonenumber", "streetaddress"}) {
            RemoveAttribute(&renamed, MailDn(mail), attr);
            for (const Triple& t : seed_)
                if (std::get<0>(t) == MailDn(old) && std::get<1>(t) == attr)
                    AddValue(&renamed, MailDn(mail), attr, std::get<2>(t));
        }
        return renamed;
    }

    // The fault set before the request: the connection message, nothing changed.
    void Before(const Case& c, Fault fault) {
        SCOPED_TRACE(string(Name(fault)) + " before the request");
        Set(fault);
        ProcessResult page;
        auto start = std::chrono::steady_clock::now();
        page = Send(c);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Clear(fault);
        Check(c, page, seconds, fault, true);
    }

    // The fault set after the page's `point`-th request has been carried out;
    // false when the page made fewer requests that got an answer.
    bool After(const Case& c, Fault fault, int point) {
        SCOPED_TRACE(string(Name(fault)) + " after request " + std::to_string(point));
        HoldingRelay relay(server_.Port(), "", point);
        EXPECT_TRUE(relay.Port() > 0 && Configure(relay.Port()));
        auto page = std::async(std::launch::async, [&] { return Send(c); });
        bool held = false;
        while (!held && page.wait_for(20ms) != std::future_status::ready) held = relay.WaitHolding(0);
        if (!held) {
            page.get();
            EXPECT_TRUE(Configure(server_.Port()));
            Dump after;
            if (connection_->Read(&after) && after != seed_) {
                EXPECT_TRUE(connection_->Restore(after, seed_));
            }
            return false;
        }
        Set(fault);
        auto start = std::chrono::steady_clock::now();
        if (fault != Fault::kLost) relay.Release();
        ProcessResult result = page.get();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Clear(fault);
        EXPECT_TRUE(Configure(server_.Port()));
        Check(c, result, seconds, fault, false);
        return true;
    }

    // Every fault at every point of one request; the number of faults set.
    int EveryFault(const Case& c, const std::vector<Fault>& kinds) {
        int faults = 0;
        for (Fault fault : kinds) {
            if (fault != Fault::kLost) Before(c, fault), ++faults;
            // An unbind gets no answer: two points in a row without one end the page.
            for (int point = 1, unanswered = 0; unanswered < 2 && !testing::Test::HasFatalFailure();
                 ++point) {
                if (After(c, fault, point))
                    ++faults, unanswered = 0;
                else
                    ++unanswered;
            }
        }
        return faults;
    }

    DirectorySandbox server_;
    string queue_;
    std::unique_ptr<DirectoryConnection> connection_;
    Dump seed_;
};

// The working request of a changing command; `changed` replaces field values.
Case Working(const string& command, const std::vector<std::pair<string, string>>& changed = {}) {
    for (const CommandModel& model : Commands())
        if (model.command == command) {
            Case c = CasesFor(&model).front();
            for (const auto& [name, value] : changed)
                for (SentField& field : c.fields)
                    if (field.name == name) field = {name, FormBody({{"", value}}).substr(1), value};
            return c;
        }
    ADD_FAILURE() << "no command " << command;
    return {};
}

TEST(DirectoryFault, EveryChangingPageSurvivesTheDirectoryStoppedOrFrozenAtEveryStep) {
    struct Page {
        string name;
        Case request;
        std::vector<Fault> faults;
        int set = 0;
    };
    // A rename whose move, or change after the move, loses its answer must
    // not take back a move that was made. The longest first, so that the
    // lanes end together.
    std::vector<Page> pages = {{"UpdateUser renaming",
                                Working("UpdateUser", {{"Mail", "anna@example.com"}}),
                                {Fault::kStopped, Fault::kFrozen, Fault::kLost}}};
    for (const CommandModel& model : Commands())
        if (model.changes && model.command != "BuildAliasTable")
            pages.push_back({model.command, CasesFor(&model).front(), {Fault::kStopped, Fault::kFrozen}});
    // The servers start one after another; the pages then run in parallel.
    std::vector<std::unique_ptr<FaultLane>> lanes;
    for (int i = 0; i < kLanes; ++i) {
        lanes.push_back(std::make_unique<FaultLane>());
        ASSERT_NO_FATAL_FAILURE(lanes.back()->Open());
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (auto& lane : lanes)
        workers.emplace_back([&, lane = lane.get()] {
            for (std::size_t k; (k = next++) < pages.size();) {
                SCOPED_TRACE(pages[k].name);
                pages[k].set = lane->EveryFault(pages[k].request, pages[k].faults);
            }
        });
    for (std::thread& worker : workers) worker.join();
    for (const Page& page : pages) printf("directory faults %-20s %d\n", page.name.c_str(), page.set);
}

}  // namespace
