// A loopback TCP relay between the CGI and the sandbox slapd that can hold
// back the answers of the alias extraction search: once a connection has
// carried the search for users ("xoperson" in a request), the relay forwards
// at most `holdAfter` more bytes of answers and then stops reading the
// server's side until Release(). Lets a test look at the state while the
// extraction is under way, or stop the server in the middle of it.
// Bounded: one thread, stopped by the destructor.
#ifndef LDAPCGI_TESTS_ALIASTABLE_BUILD_RELAY_H
#define LDAPCGI_TESTS_ALIASTABLE_BUILD_RELAY_H

#include <atomic>
#include <cstddef>
#include <thread>

class LdapRelay {
public:
    // dropNextRequest: the first request after the extraction search (the
    // publication of the number) closes the connection instead.
    LdapRelay(int serverPort, std::size_t holdAfter, bool dropNextRequest = false);
    ~LdapRelay();
    LdapRelay(const LdapRelay&) = delete;
    LdapRelay& operator=(const LdapRelay&) = delete;

    bool Ok() const { return port_ > 0; }
    int Port() const { return port_; }
    // True once answers of the extraction search are being held back.
    bool Holding() const { return holding_; }
    // Waits up to `seconds` for Holding().
    bool WaitHolding(double seconds) const;
    // Forwards everything from now on.
    void Release();
    // Closes every connection at once, as a failing network would; what was
    // held back is lost.
    void Drop();

private:
    void Run();

    int serverPort_;
    std::size_t holdAfter_;
    bool dropNextRequest_;
    int listen_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<bool> holding_{false};
    std::atomic<bool> released_{false};
    std::atomic<bool> drop_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

#endif
