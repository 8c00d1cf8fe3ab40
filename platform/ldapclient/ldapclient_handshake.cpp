// Directory client, the time limit of a TLS connect. libldap does not bound
// the TLS handshake by its network timeout: with a server that took the
// connection and never answers (frozen, or hung) it spins on the socket for
// ever. A watchdog thread starts counting when the connection is taken and,
// once the time limit has passed, shuts the socket down, which ends the
// handshake with an error. Touches only the socket of the handle it watches.
#include <pthread.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "platform/ldapclient/ldapclient_internal.h"

struct HandshakeWatch {
    std::mutex lock;
    std::condition_variable changed;
    int fd = -1;  // the connection's socket, once taken
    bool finished = false, expired = false;
    int seconds = 0;
    pthread_t watchdog;
};

namespace {

// The watch of the connect under way in this thread, for the callback.
thread_local HandshakeWatch* tWatch = nullptr;

int ConnectionTaken(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
    int fd = -1;
    if (tWatch == nullptr || ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) != 1) return 0;
    std::lock_guard<std::mutex> hold(tWatch->lock);
    tWatch->fd = fd;
    tWatch->changed.notify_one();
    return 0;
}

void ConnectionClosed(LDAP*, Sockbuf*, ldap_conncb*) {}

// libldap keeps the pointer and calls through it until the handle is freed.
ldap_conncb gCallbacks = {ConnectionTaken, ConnectionClosed, nullptr};

void* Watch(void* argument) {
    auto* w = static_cast<HandshakeWatch*>(argument);
    std::unique_lock<std::mutex> hold(w->lock);
    w->changed.wait(hold, [w] { return w->finished || w->fd >= 0; });
    if (!w->changed.wait_for(hold, std::chrono::seconds(w->seconds), [w] { return w->finished; })) {
        w->expired = true;
        shutdown(w->fd, SHUT_RDWR);
    }
    return nullptr;
}

}  // namespace

HandshakeWatch* StartHandshakeWatch(LDAP* handle, int seconds) {
    auto* watch = new (std::nothrow) HandshakeWatch;
    if (watch == nullptr) return nullptr;
    watch->seconds = seconds;
    if (ldap_set_option(handle, LDAP_OPT_CONNECT_CB, &gCallbacks) != LDAP_OPT_SUCCESS ||
        pthread_create(&watch->watchdog, nullptr, Watch, watch) != 0) {
        delete watch;
        return nullptr;
    }
    tWatch = watch;
    return watch;
}

bool EndHandshakeWatch(HandshakeWatch* watch) {
    if (watch == nullptr) return false;
    {
        std::lock_guard<std::mutex> hold(watch->lock);
        watch->finished = true;
        watch->changed.notify_one();
    }
    pthread_join(watch->watchdog, nullptr);
    tWatch = nullptr;
    const bool expired = watch->expired;
    delete watch;
    return expired;
}
