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

#include <future>

#include "tests/hostile/hostile_cases.h"
#include "tests/support/holding_relay.h"

namespace {

using namespace std::chrono_literals;

constexpr double kPageSecondsLimit = 8;  // [Ldap] Timeout=1: a page waits at most a few seconds

// kLost: the answer to the request never comes, though the server carried it out.
enum class Fault { kStopped, kFrozen, kLost };
const char* const kFaultNames[] = {"stopped", "frozen", "answer lost"};

// A changing page's working request; `between` is the one step short of it that a
// lost answer may leave (a rename with the old form values), else the request itself.
struct Page {
    Case request, between;
    std::vector<Fault> faults;
};

// The directory server of the fault suite.
struct FaultLane : Lane {
    // The program's directory at `port`: the server's, or a relay's before it.
    bool Point(int port) { return Configure("[Ldap]\nPort=" + std::to_string(port) + "\nTimeout=1\n"); }

    void Set(Fault fault) {
        if (fault == Fault::kStopped) server.Stop();
        EXPECT_TRUE(fault != Fault::kFrozen || server.Signal(SIGSTOP));
    }

    // The fault set before the request (point 0: the connection message, nothing
    // changed) or after the page's `point`-th request has been carried out;
    // false when the page made fewer requests that got an answer. The page must
    // end in time, whole, and never call a user absent or refused; the
    // directory, read once the server runs again, is put back as seeded.
    bool Run(const Page& p, Fault fault, int point) {
        SCOPED_TRACE(string(kFaultNames[static_cast<int>(fault)]) + " after request " +
                     std::to_string(point));
        HoldingRelay relay(server.Port(), "", std::max(point, 1));
        EXPECT_TRUE(relay.Port() > 0 && Point(point == 0 ? server.Port() : relay.Port()));
        if (point == 0) Set(fault);
        auto page = std::async(std::launch::async, [&] { return Send(*this, p.request); });
        bool held = point == 0;
        while (!held && page.wait_for(20ms) != std::future_status::ready) held = relay.WaitHolding(0);
        if (!held) {
            page.get();
            EXPECT_TRUE(Point(server.Port()));
            EXPECT_EQ(DirectoryFaults(*this, p.request, "", &p.request), "");
            return false;
        }
        if (point > 0) {
            Set(fault);
            if (fault != Fault::kLost) relay.Release();
        }
        EXPECT_EQ(page.wait_for(std::chrono::duration<double>(kPageSecondsLimit)), std::future_status::ready);
        ProcessResult r = page.get();
        EXPECT_TRUE(fault != Fault::kStopped || server.Start());
        if (fault == Fault::kFrozen) server.Signal(SIGCONT);
        EXPECT_TRUE(Point(server.Port()));
        // A few read pages end with status 1 after their failure page.
        EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << r.exitStatus << r.err;
        EXPECT_EQ(PageShapeFaults(r.out), "") << r.out;
        for (const char* wrong : {"not found", "has been deleted", "Could not add modified User"})
            EXPECT_EQ(r.out.find(wrong), string::npos) << r.out;
        const bool refused =
            !Holds(r.out, p.request.model->success) && Holds(r.out, "Error connecting to LDAP");
        EXPECT_TRUE(point > 0 || refused) << r.out;
        // A request the frozen server had queued is carried out once it runs again.
        if (fault == Fault::kFrozen) std::this_thread::sleep_for(300ms);
        EXPECT_EQ(DirectoryFaults(*this, p.request, r.out, &p.between), "") << r.out;
        return true;
    }
};

// The case with some field values replaced.
Case With(Case c, const std::vector<std::pair<string, string>>& values) {
    for (const auto& [name, value] : values)
        for (SentField& field : c.fields)
            if (field.name == name) field.value = value;
    return c;
}

TEST(DirectoryFault, EveryChangingPageSurvivesTheDirectoryStoppedOrFrozenAtEveryStep) {
    if (!kPlainBuild) GTEST_SKIP() << "the sanitizer build leaves the fault suite to the plain build";
    std::vector<Page> pages;
    for (const CommandModel& model : Commands()) {
        Case working = CasesFor(&model).front();
        working.mustChange = false;  // a fault may keep any change from being made
        // A rename whose move, or change after the move, loses its answer must not
        // take back a move that was made: the moved entry with its old (seeded) values stays.
        const Case rename = With(working, {{"Mail", "anna@example.com"}});
        const Case moved =
            With(rename, {{"FirstName", "Ann"}, {"TelNo", "123"}, {"Address", "Main Street 1"}});
        if (model.command == "UpdateUser")
            pages.insert(pages.begin(), {rename, moved, {Fault::kStopped, Fault::kFrozen, Fault::kLost}});
        if (model.changes && model.command != "BuildAliasTable")
            pages.push_back({working, working, {Fault::kStopped, Fault::kFrozen}});
    }
    // Two servers, each taking the next page (the rename, the largest, first):
    // the pages mostly wait out timeouts.
    FaultLane lanes[2];
    for (FaultLane& lane : lanes) ASSERT_TRUE(lane.Open() && lane.Point(lane.server.Port()));
    Share(2, pages.size(), [&](int k, std::size_t i) {
        SCOPED_TRACE(pages[i].request.model->command + (i == 0 ? " renaming" : ""));
        for (Fault fault : pages[i].faults)
            // An unbind gets no answer: two points in a row without one end the page.
            for (int point = fault == Fault::kLost, unanswered = 0; unanswered < 2; ++point)
                unanswered = lanes[k].Run(pages[i], fault, point) ? 0 : unanswered + 1;
    });
}

}  // namespace
