// Captures what a piece of code prints to standard output, in-process:
// stdout is pointed at a temporary file for the duration of the call.
#ifndef LDAPCGI_TESTS_HTML_STDOUT_CAPTURE_H
#define LDAPCGI_TESTS_HTML_STDOUT_CAPTURE_H

#include <functional>
#include <string>

std::string CaptureStdout(const std::function<void()>& print);

#endif
