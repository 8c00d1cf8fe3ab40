// Process runner for the tests: posix_spawn, the input from a memory file,
// the outputs read from pipes until every holder has closed them.
#include "tests/support/run_cgi.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env,
                         const std::string& input) {
    ProcessResult result;
    // Close-on-exec: a process started at the same time from another thread
    // must not inherit these ends and hold this run open.
    int in = memfd_create("input", MFD_CLOEXEC), out[2], err[2];
    if (in < 0 || write(in, input.data(), input.size()) != ssize_t(input.size()) ||
        lseek(in, 0, SEEK_SET) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return result;
    std::vector<std::string> envStrings, argCopy = argv;
    for (const auto& kv : env) envStrings.push_back(kv.first + "=" + kv.second);
    std::vector<char*> envp, args;
    for (auto& s : envStrings) envp.push_back(&s[0]);
    for (auto& s : argCopy) args.push_back(&s[0]);
    envp.push_back(nullptr), args.push_back(nullptr);
    // posix_spawn shares the parent's memory until the exec instead of copying
    // its page tables: a sanitizer build's test process maps a great deal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // The child starts with SIGPIPE at its default, as under a web server, not
    // ignored as here: a program that a broken pipe would kill must show it.
    signal(SIGPIPE, SIG_IGN);
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
    for (int fd : {in, out[1], err[1]}) close(fd);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 2, -1) < 0) continue;  // interrupted
        for (int i = 0; i < 2; ++i) {
            char buffer[65536];
            ssize_t n = fds[i].revents ? read(fds[i].fd, buffer, sizeof buffer) : -1;
            if (n > 0) texts[i]->append(buffer, std::size_t(n));
            if (n == 0 || (n < 0 && fds[i].revents && errno != EINTR)) close(fds[i].fd), fds[i].fd = -1;
        }
    }
    if (spawned != 0) return result.exitStatus = 127, result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ProcessResult RunCgi(const Environment& env, const std::string& input) {
    Environment full = env;
    for (const char* name : {"PATH", "XOMTA_CONFIG_DIR", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = getenv(name)) full.emplace(name, value);  // unless `env` sets it
    return RunProcess({LDAPCGI_EXECUTABLE}, full, input);
}

ProcessResult RunCgiPost(const std::string& body, const Environment& extra) {
    Environment env = extra;
    env["REQUEST_METHOD"] = "POST";
    env["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}

std::vector<std::string> NoBypass() {
    if (geteuid() != 0) return {};
    return {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
}
