// Reads the log service's file back as lines of
// "<time> <level> <source>[<pid>]: <text>", for the tests that check what
// was logged.
#ifndef LDAPCGI_TESTS_SUPPORT_LOG_LINES_H
#define LDAPCGI_TESTS_SUPPORT_LOG_LINES_H

#include <string>
#include <vector>

struct LogLine {
    std::string level;   // "4"; "" on a line without the service's head
    std::string source;  // "LDAP CGI[1234]"
    std::string text;    // after "]: "; the whole line without the head
};

std::vector<LogLine> LogLines(const std::string& log);
// The texts of the lines at `level`, of every line when it is "".
std::vector<std::string> LogTexts(const std::string& log, const std::string& level = "");
// How many lines at `level` (any when "") hold `part` in their text.
int CountLogLines(const std::string& log, const std::string& part, const std::string& level = "");

#endif
