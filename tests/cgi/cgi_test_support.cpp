// Helpers for the CGI library's tests: environment, stdin and stdout plumbing.
#include "tests/cgi/cgi_test_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/run_cgi.h"

Pairs EntriesOf(const FormEntryList& list) {
    Pairs pairs;
    for (const FormEntry* e = list.head; e; e = e->next) pairs.emplace_back(e->name, e->value);
    return pairs;
}

void ClearCgiEnvironment() {
    for (const char* name : {"REQUEST_METHOD", "CONTENT_TYPE", "CONTENT_LENGTH", "QUERY_STRING", "HTTP_USER_AGENT",
                             "HTTP_COOKIE", "HTTP_ACCEPT", "SERVER_SOFTWARE", "SERVER_NAME", "GATEWAY_INTERFACE",
                             "SERVER_PROTOCOL", "SERVER_PORT", "PATH_INFO", "PATH_TRANSLATED", "SCRIPT_NAME",
                             "REMOTE_HOST", "REMOTE_ADDR", "AUTH_TYPE", "REMOTE_USER", "REMOTE_IDENT"})
        unsetenv(name);
}

std::string MakeTempDir() {
    std::string pattern = BinaryPath("cgi-test-XXXXXX");
    if (mkdtemp(&pattern[0]) == nullptr) return "";
    return pattern;
}

void RemoveTree(const std::string& path) {
    if (path.empty()) return;
    std::string command = "rm -rf '" + path + "'";
    if (system(command.c_str()) != 0) perror("rm");
}

std::string UniqueName(const std::string& stem) {
    static int counter = 0;
    return "ldapcgi-" + stem + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void FeedStdin(const std::string& bytes) {
    char path[] = "/tmp/ldapcgi-stdin-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return;
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) perror("write");
    close(fd);
    if (freopen(path, "rb", stdin) == nullptr) perror("freopen");
    unlink(path);
}

std::string CaptureStdout(const std::function<void()>& print) {
    fflush(stdout);
    char path[] = "/tmp/ldapcgi-stdout-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return "<no capture>";
    unlink(path);
    int saved = dup(1);
    dup2(fd, 1);
    print();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return out;
}
