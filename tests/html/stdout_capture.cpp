// Standard output capture for the page printer tests.
#include "tests/html/stdout_capture.h"

#include <unistd.h>

#include <cstdio>

std::string CaptureStdout(const std::function<void()>& print) {
    fflush(stdout);
    FILE* sink = tmpfile();
    if (!sink) return "<capture failed>";
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    print();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string text;
    rewind(sink);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, sink)) > 0) text.append(chunk, got);
    fclose(sink);
    return text;
}
