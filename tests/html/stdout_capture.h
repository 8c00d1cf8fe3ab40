// Captures what a piece of code prints to standard output, in-process.
#ifndef LDAPCGI_TESTS_HTML_STDOUT_CAPTURE_H
#define LDAPCGI_TESTS_HTML_STDOUT_CAPTURE_H

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

inline std::string CaptureStdout(const std::function<void()>& print) {
    fflush(stdout);
    FILE* sink = tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    print();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    rewind(sink);
    for (int c; (c = fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
    fclose(sink);
    return text;
}

#endif
