// Byte relay: one thread accepts, two per connection copy the bytes each way.
// A request chunk holding the marker counts; the chunk that makes the count
// reach the chosen one marks its connection, whose next answer chunk waits.
#include "tests/support/holding_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

int ListenOnLoopback(int* port) {
    sockaddr_in address = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    int listening = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    *port = 0;
    if (bind(listening, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listening, 16) == 0 &&
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        *port = ntohs(address.sin_port);
    return listening;
}

HoldingRelay::HoldingRelay(int serverPort, std::string marker, int occurrence, bool eachConnection, int early)
    : serverPort_(serverPort),
      marker_(std::move(marker)),
      occurrence_(occurrence),
      eachConnection_(eachConnection),
      early_(early) {
    listen_ = ListenOnLoopback(&port_);
    acceptor_ = std::thread([this] { Accept(); });
}

HoldingRelay::~HoldingRelay() {
    Release();
    shutdown(listen_, SHUT_RDWR);
    acceptor_.join();  // no link comes after it
    for (Link& link : links_) shutdown(link.client, SHUT_RDWR), shutdown(link.server, SHUT_RDWR);
    for (std::thread& pump : pumps_) pump.join();
    for (Link& link : links_) close(link.client), close(link.server);
    close(listen_);
}

bool HoldingRelay::WaitHolding(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return holding_; });
}

void HoldingRelay::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
}

void HoldingRelay::Accept() {
    for (int client; (client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        sockaddr_in server = {AF_INET, htons(uint16_t(serverPort_)), {htonl(INADDR_LOOPBACK)}, {}};
        std::lock_guard<std::mutex> lock(mutex_);
        Link& link = links_.emplace_back();
        link.client = client, link.server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (connect(link.server, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
            shutdown(link.client, SHUT_RDWR);
        pumps_.emplace_back([this, &link] { Pump(link, true); });
        pumps_.emplace_back([this, &link] { Pump(link, false); });
    }
}

void HoldingRelay::Pump(Link& link, bool request) {
    char buffer[16384];
    for (ssize_t n, sent = 0; (n = read(request ? link.client : link.server, buffer, sizeof buffer)) > 0;
         sent = 0) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (request && std::string(buffer, std::size_t(n)).find(marker_) != std::string::npos &&
                ++(eachConnection_ ? link.seen : seen_) == occurrence_)
                link.holdAnswer = true;  // before the request goes on: its answer cannot pass first
            if (!request && link.holdAnswer) {
                sent = std::min<ssize_t>(n, early_);
                if (write(link.client, buffer, std::size_t(sent)) != sent) break;
                holding_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return released_; });
                link.holdAnswer = false;
            }
        }
        if (write(request ? link.server : link.client, buffer + sent, std::size_t(n - sent)) != n - sent)
            break;
    }
    shutdown(link.client, SHUT_RDWR), shutdown(link.server, SHUT_RDWR);
}
