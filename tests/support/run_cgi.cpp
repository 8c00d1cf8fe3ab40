// Process runner for the tests: posix_spawn with pipes, polled so that large
// outputs and inputs never deadlock.
#include "tests/support/run_cgi.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env,
                         const std::string& input) {
    ProcessResult result;
    int inPipe[2], outPipe[2], errPipe[2];
    // Close-on-exec: a process started at the same time from another thread
    // must not inherit these ends and hold this run open.
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return result;
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> envStrings;
    for (const auto& kv : env) envStrings.push_back(kv.first + "=" + kv.second);
    std::vector<char*> envp, args;
    for (auto& s : envStrings) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& s : argCopy) args.push_back(&s[0]);
    args.push_back(nullptr);

    // posix_spawn shares the parent's memory until the exec instead of copying
    // its page tables: a sanitizer build's test process maps a great deal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    // The child starts with SIGPIPE at its default, as under a web server, not
    // ignored as here: a program that a broken pipe would kill must show it.
    posix_spawnattr_t attributes;
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
        result.exitStatus = 127;
        return result;
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    fcntl(inPipe[1], F_SETFL, O_NONBLOCK);

    std::size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    int outFd = outPipe[0], errFd = errPipe[0];
    char buffer[65536];
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
        if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == inFd) {
                ssize_t w = write(inFd, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                if (w < 0 && errno != EAGAIN) written = input.size();
                if (written >= input.size()) {
                    close(inFd);
                    inFd = -1;
                }
                continue;
            }
            ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
            if (r > 0) {
                (fds[i].fd == outFd ? result.out : result.err).append(buffer, static_cast<std::size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                close(fds[i].fd);
                if (fds[i].fd == outFd)
                    outFd = -1;
                else
                    errFd = -1;
            }
        }
    }
    if (inFd >= 0) close(inFd);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.peakKb = usage.ru_maxrss;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ProcessResult RunCgi(const Environment& env, const std::string& input) {
    Environment full = env;
    const char* path = getenv("PATH");
    if (full.count("PATH") == 0 && path) full["PATH"] = path;
    const char* config = getenv("XOMTA_CONFIG_DIR");
    if (full.count("XOMTA_CONFIG_DIR") == 0 && config) full["XOMTA_CONFIG_DIR"] = config;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = getenv(name);
        if (full.count(name) == 0 && value) full[name] = value;
    }
    return RunProcess({LDAPCGI_EXECUTABLE}, full, input);
}

ProcessResult RunCgiGet(const std::string& query, const Environment& extra) {
    Environment env = extra;
    env["REQUEST_METHOD"] = "GET";
    env["QUERY_STRING"] = query;
    return RunCgi(env);
}

ProcessResult RunCgiPost(const std::string& body, const Environment& extra) {
    Environment env = extra;
    env["REQUEST_METHOD"] = "POST";
    env["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}

std::string SourcePath(const std::string& relative) {
    return std::string(LDAPCGI_SOURCE_DIR) + "/" + relative;
}
std::string BinaryPath(const std::string& relative) {
    return std::string(LDAPCGI_BINARY_DIR) + "/" + relative;
}
