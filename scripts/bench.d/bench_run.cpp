// Measuring helper of the benchmarks: runs several commands side by side,
// interleaved, and prints for each the median wall time of one run, the
// largest peak resident memory among all its runs (the program and every
// process it left running: the alias build goes on detached after its
// page) and the exit status of its last run.
//
//   bench_run [-r ROUNDS] [-n COUNT] COMMAND [:: COMMAND]...
//   COMMAND: [-i INPUT] [-o OUTPUT] [-c] [-e NAME=VALUE]... -- PROGRAM ARGS...
//
// Each round runs every command COUNT times in a row (the order rotates from
// round to round); a command's time for the round is the mean of its COUNT
// runs, and its figure is the median over the ROUNDS rounds. -i and -o name
// standard input and output (default /dev/null); -c starts from an empty
// environment instead of this one; -e sets a variable. The program is
// exec'd directly (found on PATH), so nothing else runs in the timed part.
// Prints one line per command: "SECONDS PEAK_KB STATUS".
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kMaxRounds = 1000;
constexpr int kMaxCount = 100000;

struct Command {
    std::string input = "/dev/null";
    std::string output = "/dev/null";
    bool clearEnvironment = false;
    std::vector<std::string> settings;  // NAME=VALUE
    std::vector<char*> argv;            // null-terminated
    std::vector<char*> envp;            // null-terminated
    std::vector<double> roundSeconds;
    long peakKb = 0;
    int status = 0;
};

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BuildEnvironment(Command* command) {
    if (!command->clearEnvironment) {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const char* equals = strchr(*entry, '=');
            std::string name(*entry, equals ? static_cast<std::size_t>(equals - *entry) : strlen(*entry));
            bool replaced = std::any_of(
                command->settings.begin(), command->settings.end(),
                [&](const std::string& s) { return s.compare(0, name.size() + 1, name + "=") == 0; });
            if (!replaced) command->envp.push_back(*entry);
        }
    }
    for (std::string& setting : command->settings) command->envp.push_back(&setting[0]);
    command->envp.push_back(nullptr);
}

// One run: fork, redirect, exec; waits for the program and every process it
// left behind (this process is their subreaper).
bool RunOnce(Command* command) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        int in = open(command->input.c_str(), O_RDONLY);
        int out = open(command->output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        close(in);
        close(out);
        execvpe(command->argv[0], command->argv.data(), command->envp.data());
        _exit(127);
    }
    for (;;) {
        int status = 0;
        rusage usage{};
        pid_t done = wait4(-1, &status, 0, &usage);
        if (done < 0) break;  // no process left
        command->peakKb = std::max(command->peakKb, usage.ru_maxrss);
        if (done == pid) command->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return true;
}

int Usage(const char* self) {
    fprintf(stderr,
            "usage: %s [-r ROUNDS] [-n COUNT] [-i IN] [-o OUT] [-c] [-e NAME=VALUE]... -- PROGRAM ARGS..."
            " [:: ...]\n",
            self);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 1;
    int count = 1;
    int at = 1;
    for (; at + 1 < argc; at += 2) {
        if (strcmp(argv[at], "-r") == 0)
            rounds = atoi(argv[at + 1]);
        else if (strcmp(argv[at], "-n") == 0)
            count = atoi(argv[at + 1]);
        else
            break;
    }
    if (rounds < 1 || rounds > kMaxRounds || count < 1 || count > kMaxCount) return Usage(argv[0]);
    std::vector<Command> commands;
    while (at < argc) {
        Command command;
        for (; at < argc && strcmp(argv[at], "--") != 0; ++at) {
            if (strcmp(argv[at], "-c") == 0) {
                command.clearEnvironment = true;
            } else if (at + 1 < argc && strcmp(argv[at], "-i") == 0) {
                command.input = argv[++at];
            } else if (at + 1 < argc && strcmp(argv[at], "-o") == 0) {
                command.output = argv[++at];
            } else if (at + 1 < argc && strcmp(argv[at], "-e") == 0) {
                command.settings.push_back(argv[++at]);
            } else {
                return Usage(argv[0]);
            }
        }
        for (++at; at < argc && strcmp(argv[at], "::") != 0; ++at) command.argv.push_back(argv[at]);
        ++at;  // past "::"
        if (command.argv.empty()) return Usage(argv[0]);
        command.argv.push_back(nullptr);
        commands.push_back(std::move(command));
    }
    if (commands.empty()) return Usage(argv[0]);
    for (Command& command : commands) BuildEnvironment(&command);

    prctl(PR_SET_CHILD_SUBREAPER, 1);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < commands.size(); ++k) {
            Command& command = commands[(k + static_cast<std::size_t>(round)) % commands.size()];
            double start = Now();
            for (int i = 0; i < count; ++i)
                if (!RunOnce(&command)) return 1;
            command.roundSeconds.push_back((Now() - start) / count);
        }
    }
    for (Command& command : commands) {
        std::vector<double>& times = command.roundSeconds;
        std::sort(times.begin(), times.end());
        std::size_t n = times.size();
        double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        printf("%.6f %ld %d\n", median, command.peakKb, command.status);
    }
    return 0;
}
