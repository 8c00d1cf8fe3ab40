// Decoding throughput of the CGI library: URL-encoded bodies at the POST
// limit, and a multipart request with a large field and a large upload (the
// upload goes to /tmp under a unique name and is removed afterwards).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cgi/form_entries.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BenchUrlEncoded() {
    std::string body;
    for (int i = 0; body.size() < 8000; ++i) body += "Field" + std::to_string(i) + "=caf%C3%A9+au+lait&";
    body.pop_back();
    const int rounds = 20000;
    FormEntryList list = {nullptr};
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) ParseUrlEncoded(list, body.c_str());
    const double s = Seconds(start);
    printf("url-encoded: %zu-byte body, %.1f us per decode, %.0f MB/s\n", body.size(), s / rounds * 1e6,
           body.size() * static_cast<double>(rounds) / s / 1e6);
    FormEntryListClear(list);
}

void BenchMultipart() {
    const std::size_t size = 32u << 20;
    std::string line(79, 'x');
    line += "\r\n";
    std::string content;
    while (content.size() < size) content += line;
    const std::string fileName = "ldapcgi-bench-" + std::to_string(getpid());
    const std::string body = "--B0uNd\r\nContent-Disposition: form-data; name=\"value\"\r\n\r\n" + content +
                             "\r\n--B0uNd\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                             fileName + "\"\r\n\r\n" + content + "\r\n--B0uNd--\r\n";
    char path[] = "/tmp/ldapcgi-bench-body-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size())) return;
    close(fd);
    if (freopen(path, "rb", stdin) == nullptr) return;
    unlink(path);
    setenv("CONTENT_TYPE", "multipart/form-data; boundary=B0uNd", 1);
    setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
    FormEntryList list = {nullptr};
    auto start = std::chrono::steady_clock::now();
    const int count = ParseMultipart(list);
    const double s = Seconds(start);
    printf("multipart: %d entries, %zu MiB value + %zu MiB upload in %.2f s (%.0f MB/s)\n", count, size >> 20,
           size >> 20, s, body.size() / s / 1e6);
    FormEntryListClear(list);
    unlink(("/tmp/" + fileName).c_str());
}

}  // namespace

int main() {
    BenchUrlEncoded();
    BenchMultipart();
    return 0;
}
