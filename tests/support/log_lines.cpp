// Splits the log service's lines into level and text.
#include "tests/support/log_lines.h"

#include <sstream>

std::vector<std::string> LogTexts(const std::string& log, const std::string& level) {
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

int CountLogLines(const std::string& log, const std::string& part, const std::string& level) {
    int count = 0;
    for (const std::string& text : LogTexts(log, level)) count += text.find(part) != std::string::npos;
    return count;
}
