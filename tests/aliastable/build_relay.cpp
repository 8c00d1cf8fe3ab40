// Loopback relay for the build tests (see build_relay.h). Only 127.0.0.1.
#include "tests/aliastable/build_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Link {
    int client = -1;
    int server = -1;
    bool extraction = false;   // the user search went through this link
    std::size_t answered = 0;  // answer bytes forwarded since the search
};

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void CloseLink(Link& link) {
    if (link.client >= 0) close(link.client);
    if (link.server >= 0) close(link.server);
    link.client = link.server = -1;
}

}  // namespace

LdapRelay::LdapRelay(int serverPort, std::size_t holdAfter, bool dropNextRequest)
    : serverPort_(serverPort), holdAfter_(holdAfter), dropNextRequest_(dropNextRequest) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_, 16) != 0 || getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe(wake_) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LdapRelay::~LdapRelay() {
    stop_ = true;
    if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {
    }
    if (thread_.joinable()) thread_.join();
    for (int fd : {listen_, wake_[0], wake_[1]}) {
        if (fd >= 0) close(fd);
    }
}

bool LdapRelay::WaitHolding(double seconds) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!holding_ && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return holding_;
}

void LdapRelay::Release() {
    released_ = true;
    if (write(wake_[1], "x", 1) < 0) {
    }
}

void LdapRelay::Drop() {
    drop_ = true;
    if (write(wake_[1], "x", 1) < 0) {
    }
    while (drop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void LdapRelay::Run() {
    std::vector<Link> links;
    char buffer[16384];
    while (!stop_) {
        std::vector<pollfd> fds = {{listen_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (const Link& link : links) {
            fds.push_back({link.client, POLLIN, 0});
            bool held = link.extraction && !released_ && link.answered >= holdAfter_;
            fds.push_back({held ? -1 : link.server, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 1000) < 0) continue;
        if (fds[1].revents) {
            char drain[64];
            if (read(wake_[0], drain, sizeof drain) < 0) {
            }
        }
        if (drop_) {
            for (Link& link : links) CloseLink(link);
            links.clear();
            drop_ = false;
            continue;
        }
        for (std::size_t i = 0; i < links.size(); ++i) {
            Link& link = links[i];
            for (int side = 0; side < 2 && link.client >= 0; ++side) {
                const pollfd& entry = fds[2 + 2 * i + side];
                if (entry.fd < 0 || entry.revents == 0) continue;
                bool fromClient = side == 0;
                std::size_t room = sizeof buffer;
                if (!fromClient && link.extraction && !released_) room = std::min(room, holdAfter_ - link.answered);
                if (room == 0) continue;
                if (fromClient && link.extraction && dropNextRequest_) {
                    CloseLink(link);
                    break;
                }
                ssize_t n = read(entry.fd, buffer, room);
                if (n <= 0 || !WriteAll(fromClient ? link.server : link.client, buffer, static_cast<std::size_t>(n))) {
                    CloseLink(link);
                    break;
                }
                if (fromClient && std::string(buffer, static_cast<std::size_t>(n)).find("xoperson") != std::string::npos) {
                    link.extraction = true;
                } else if (!fromClient && link.extraction) {
                    link.answered += static_cast<std::size_t>(n);
                }
                if (link.extraction && !released_ && link.answered >= holdAfter_) holding_ = true;
            }
        }
        std::vector<Link> open;
        for (Link& link : links) {
            if (link.client >= 0) open.push_back(link);
        }
        links.swap(open);
        if (fds[0].revents & POLLIN) {
            Link link;
            link.client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            link.server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<uint16_t>(serverPort_));
            if (link.client < 0 || link.server < 0 ||
                connect(link.server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                CloseLink(link);
            } else {
                links.push_back(link);
            }
        }
    }
    for (Link& link : links) CloseLink(link);
}
