// One thread polls the listening socket, the connections and a wake pipe;
// it reads and drops every byte. A bind answer is the fixed BindResponse
// (success, empty matched DN and message) under the request's message id.
#include "tests/support/silent_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr unsigned char kBindRequest = 0x60;  // [APPLICATION 0]
constexpr std::size_t kMaxIdLength = 4;

// Position after the BER length at `at` (short or long form), or npos.
std::size_t AfterLength(const std::string& bytes, std::size_t at) {
    if (at >= bytes.size()) return std::string::npos;
    unsigned char first = static_cast<unsigned char>(bytes[at]);
    std::size_t next = at + 1 + (first & 0x80 ? first & 0x7f : 0);
    return next <= bytes.size() ? next : std::string::npos;
}

// The BindResponse to a bind request at the start of `bytes`, or "" while
// they hold no message id and operation tag yet (or another operation).
std::string BindAnswer(const std::string& bytes) {
    if (bytes.empty() || static_cast<unsigned char>(bytes[0]) != 0x30) return "";
    std::size_t at = AfterLength(bytes, 1);
    if (at == std::string::npos || at + 2 > bytes.size() || bytes[at] != 0x02) return "";
    std::size_t idLength = static_cast<unsigned char>(bytes[at + 1]);
    if (idLength == 0 || idLength > kMaxIdLength || at + 2 + idLength >= bytes.size() ||
        static_cast<unsigned char>(bytes[at + 2 + idLength]) != kBindRequest)
        return "";
    std::string body = std::string("\x02", 1) + char(idLength) + bytes.substr(at + 2, idLength) +
                       std::string("\x61\x07\x0a\x01\x00\x04\x00\x04\x00", 9);
    return std::string("\x30", 1) + char(body.size()) + body;
}

}  // namespace

SilentServer::SilentServer(bool answerBind) : answerBind_(answerBind) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0 || pipe2(wake_, O_CLOEXEC) != 0) return;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listen_, 16) == 0 &&
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port_ = ntohs(address.sin_port);
    if (port_ > 0) thread_ = std::thread([this] { Serve(); });
}

SilentServer::~SilentServer() {
    if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {}
    if (thread_.joinable()) thread_.join();
    for (int fd : {listen_, wake_[0], wake_[1]})
        if (fd >= 0) close(fd);
}

void SilentServer::Serve() {
    struct Connection {
        int fd;
        std::string received;
        bool answered;
    };
    std::vector<Connection> open;
    for (;;) {
        std::vector<pollfd> watched = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        for (const Connection& c : open) watched.push_back({c.fd, POLLIN, 0});
        if (poll(watched.data(), watched.size(), -1) < 0) continue;
        if (watched[0].revents != 0) break;
        if (watched[1].revents & POLLIN) {
            int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) open.push_back({fd, "", !answerBind_}), ++connections_;
        }
        for (std::size_t i = 2; i < watched.size(); ++i) {
            if (watched[i].revents == 0) continue;
            Connection& c = open[i - 2];
            char buffer[4096];
            ssize_t n = read(c.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(c.fd), c.fd = -1;
                continue;
            }
            if (c.answered) continue;
            c.received.append(buffer, static_cast<std::size_t>(n));
            std::string answer = BindAnswer(c.received);
            if (!answer.empty() && write(c.fd, answer.data(), answer.size()) == ssize_t(answer.size()))
                c.answered = true;
        }
        std::vector<Connection> still;
        for (Connection& c : open)
            if (c.fd >= 0) still.push_back(c);
        open.swap(still);
    }
    for (const Connection& c : open) close(c.fd);
}
