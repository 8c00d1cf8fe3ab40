// Reads the log service's file back: the texts of its lines
// "<time> <level> <source>[<pid>]: <text>", for the tests that check what
// was logged.
#ifndef LDAPCGI_TESTS_SUPPORT_LOG_LINES_H
#define LDAPCGI_TESTS_SUPPORT_LOG_LINES_H

#include <string>
#include <vector>

// The texts of the lines at `level`, of every line when it is ""; a line
// without the service's head is its own text.
std::vector<std::string> LogTexts(const std::string& log, const std::string& level = "");
// How many lines at `level` (any when "") hold `part` in their text.
int CountLogLines(const std::string& log, const std::string& part, const std::string& level = "");

#endif
