// A directory server that stalls: it accepts connections on a loopback port
// and reads whatever arrives, and never answers, or (answerBind) answers each
// connection's bind with success and then stays silent. For the tests of the
// time limits: a reading page must give up on it, never hang.
#ifndef LDAPCGI_TESTS_SUPPORT_SILENT_SERVER_H
#define LDAPCGI_TESTS_SUPPORT_SILENT_SERVER_H

#include <chrono>
#include <functional>
#include <thread>

class SilentServer {
public:
    explicit SilentServer(bool answerBind = false);
    ~SilentServer();  // closes every connection
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return port_; }  // 0 when the socket could not be opened

private:
    void Serve();
    bool answerBind_;
    int listen_ = -1, wake_[2] = {-1, -1}, port_ = 0;
    std::thread thread_;
};

// Wall-clock seconds that `run` takes: how long a request waited for a stalled server.
inline double SecondsTaken(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#endif
