// One thread polls the listening socket, the connections and a wake pipe;
// it reads and drops every byte. A bind answer is the fixed BindResponse
// (success, empty matched DN and message) under the request's message id.
#include "tests/support/silent_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/holding_relay.h"

namespace {

// The BindResponse to a bind request at the start of `bytes` (a short length
// and a one-byte message id, as libldap sends it), or "" while there is none.
std::string BindAnswer(const std::string& b) {
    if (b.size() < 6 || b[0] != 0x30 || b[2] != 0x02 || b[3] != 0x01 ||
        static_cast<unsigned char>(b[5]) != 0x60)
        return "";
    return std::string("\x30\x0c\x02\x01", 4) + b[4] + std::string("\x61\x07\x0a\x01\x00\x04\x00\x04\x00", 9);
}

}  // namespace

SilentServer::SilentServer(bool answerBind) : answerBind_(answerBind) {
    listen_ = ListenOnLoopback(&port_);
    if (port_ > 0 && pipe2(wake_, O_CLOEXEC) == 0)
        thread_ = std::thread([this] { Serve(); });
    else
        port_ = 0;
}

SilentServer::~SilentServer() {
    if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {}
    if (thread_.joinable()) thread_.join();
    for (int fd : {listen_, wake_[0], wake_[1]})
        if (fd >= 0) close(fd);
}

void SilentServer::Serve() {
    std::vector<pollfd> watched = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
    std::vector<std::string> received(2);  // of each connection, until its bind is answered
    while (poll(watched.data(), watched.size(), -1) >= 0 && watched[0].revents == 0) {
        int fd = watched[1].revents ? accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (fd >= 0) watched.push_back({fd, POLLIN, 0}), received.emplace_back(answerBind_ ? "" : "-");
        for (std::size_t i = 2; i < watched.size(); ++i) {
            char buffer[4096];
            ssize_t n = watched[i].revents ? read(watched[i].fd, buffer, sizeof buffer) : 1;
            if (n <= 0) close(watched[i].fd), watched[i].fd = -1;  // poll passes over it from now on
            if (n <= 0 || !watched[i].revents || received[i] == "-") continue;
            std::string answer = BindAnswer(received[i].append(buffer, std::size_t(n)));
            if (!answer.empty() &&
                write(watched[i].fd, answer.data(), answer.size()) == ssize_t(answer.size()))
                received[i] = "-";
        }
    }
    for (std::size_t i = 2; i < watched.size(); ++i)
        if (watched[i].fd >= 0) close(watched[i].fd);
}
