// Reads the log service's file back: the texts of its lines
// "<time> <level> <source>[<pid>]: <text>", for the tests that check what
// was logged.
#ifndef LDAPCGI_TESTS_SUPPORT_LOG_LINES_H
#define LDAPCGI_TESTS_SUPPORT_LOG_LINES_H

#include <sstream>
#include <string>
#include <vector>

// The texts of the lines at `level`, of every line when it is ""; a line
// without the service's head is its own text.
inline std::vector<std::string> LogTexts(const std::string& log, const std::string& level = "") {
    std::vector<std::string> texts;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::size_t text = line.find("]: "), at = line.find(' ') + 1;
        if (level.empty() ||
            (text != std::string::npos && line.compare(at, level.size() + 1, level + " ") == 0))
            texts.push_back(text == std::string::npos ? line : line.substr(text + 3));
    }
    return texts;
}

// How many lines at `level` (any when "") hold `part` in their text.
inline int CountLogLines(const std::string& log, const std::string& part, const std::string& level = "") {
    int count = 0;
    for (const std::string& text : LogTexts(log, level)) count += text.find(part) != std::string::npos;
    return count;
}

#endif
