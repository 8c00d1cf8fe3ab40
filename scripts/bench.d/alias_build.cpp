// Measures one program run for the alias build benchmark: wall time until
// the program and every process it left running (the build goes on detached
// after its page) have ended, and the largest peak resident memory among them.
//   alias_build [-i INPUT_FILE] [-o OUTPUT_FILE] -- PROGRAM ARGS...
// The child gets this process's environment; prints "SECONDS PEAK_KB STATUS"
// with the exit status of the program itself.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const char* input = "/dev/null";
    const char* output = "/dev/null";
    int first = 1;
    for (; first < argc && strcmp(argv[first], "--") != 0; ++first) {
        if (strcmp(argv[first], "-i") == 0 && first + 1 < argc)
            input = argv[++first];
        else if (strcmp(argv[first], "-o") == 0 && first + 1 < argc)
            output = argv[++first];
    }
    if (first + 1 >= argc) {
        fprintf(stderr, "usage: %s [-i INPUT] [-o OUTPUT] -- PROGRAM ARGS...\n", argv[0]);
        return 2;
    }
    // Detached descendants become ours, so that they can be waited for.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(input, O_RDONLY);
        int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        execvp(argv[first + 1], argv + first + 1);
        _exit(127);
    }
    if (pid < 0) return 1;
    int programStatus = -1;
    long peak = 0;
    for (;;) {
        int status = 0;
        rusage usage;
        pid_t done = wait4(-1, &status, 0, &usage);
        if (done < 0) break;  // no process left
        if (usage.ru_maxrss > peak) peak = usage.ru_maxrss;
        if (done == pid) programStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                     static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.3f %ld %d\n", seconds, peak, programStatus);
    return 0;
}
