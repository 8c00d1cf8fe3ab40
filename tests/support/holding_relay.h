// A loopback relay in front of a directory server, for races told step by
// step: the answer to the n-th request (counted over every connection) whose
// bytes hold a marker text is kept back until Release(), so that a test can
// change the directory between a page's request and the answer it acts on.
// Counted on each connection of its own instead, it is a server that stalls
// (silent_server.h).
#ifndef LDAPCGI_TESTS_SUPPORT_HOLDING_RELAY_H
#define LDAPCGI_TESTS_SUPPORT_HOLDING_RELAY_H

#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A socket listening on a free loopback port, its port in *port (0 when none
// could be opened); the relays of the tests listen on one.
int ListenOnLoopback(int* port);

class HoldingRelay {
public:
    // eachConnection: the count starts again on every connection. The first
    // `early` bytes of the answer kept back go through (an answer cut short).
    HoldingRelay(int serverPort, std::string marker, int occurrence, bool eachConnection = false,
                 int early = 0);
    ~HoldingRelay();  // releases, then closes every connection
    HoldingRelay(const HoldingRelay&) = delete;
    HoldingRelay& operator=(const HoldingRelay&) = delete;

    int Port() const { return port_; }   // 0 when the socket could not be opened
    bool WaitHolding(int seconds = 30);  // true once the answer is held back
    void Release();

private:
    struct Link {
        int client = -1, server = -1, seen = 0;
        bool holdAnswer = false;  // guarded by mutex_
    };
    void Accept();
    void Pump(Link& link, bool request);

    int serverPort_;
    std::string marker_;
    int occurrence_, seen_ = 0;
    bool eachConnection_;
    int early_;
    int listen_ = -1, port_ = 0;
    bool holding_ = false, released_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::list<Link> links_;
    std::vector<std::thread> pumps_;
    std::thread acceptor_;
};

#endif
