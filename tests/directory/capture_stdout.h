// Captures what a piece of code writes to standard output (file descriptor 1),
// for checking that directory functions print nothing.
#ifndef LDAPCGI_TESTS_DIRECTORY_CAPTURE_STDOUT_H
#define LDAPCGI_TESTS_DIRECTORY_CAPTURE_STDOUT_H

#include <stdio.h>
#include <unistd.h>

#include <string>

template <typename Body>
std::string CaptureStdout(Body body) {
    fflush(stdout);
    FILE* capture = tmpfile();
    int saved = dup(1);
    dup2(fileno(capture), 1);
    body();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    rewind(capture);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, capture)) > 0;) text.append(buffer, n);
    fclose(capture);
    return text;
}

#endif
