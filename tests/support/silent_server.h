// A directory server that stalls: a relay to the shared sandbox that keeps
// back every answer on each connection, or (answerBind) every answer after
// the bind's, after its first `early` bytes. For the tests of the time
// limits: a reading page must give up on it, never hang.
#ifndef LDAPCGI_TESTS_SUPPORT_SILENT_SERVER_H
#define LDAPCGI_TESTS_SUPPORT_SILENT_SERVER_H

#include <chrono>
#include <functional>

#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"

class SilentServer : public HoldingRelay {
public:
    explicit SilentServer(bool answerBind = false, int early = 0)
        : HoldingRelay(DirectorySandbox::Get().Port(), "", answerBind ? 2 : 1, true, early) {}
};

// Wall-clock seconds that `run` takes: how long a request waited for a stalled server.
inline double SecondsTaken(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#endif
