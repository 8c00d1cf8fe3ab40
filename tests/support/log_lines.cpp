// Splits the log service's lines into level, source and text.
#include "tests/support/log_lines.h"

#include <sstream>

std::vector<LogLine> LogLines(const std::string& log) {
    std::vector<LogLine> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::size_t level = line.find(' '), source = line.find(' ', level + 1), text = line.find("]: ");
        if (level == std::string::npos || source == std::string::npos || text == std::string::npos ||
            source > text) {
            lines.push_back({"", "", line});
            continue;
        }
        lines.push_back({line.substr(level + 1, source - level - 1), line.substr(source + 1, text + 1 - source - 1),
                         line.substr(text + 3)});
    }
    return lines;
}

std::vector<std::string> LogTexts(const std::string& log, const std::string& level) {
    std::vector<std::string> texts;
    for (const LogLine& line : LogLines(log))
        if (level.empty() || line.level == level) texts.push_back(line.text);
    return texts;
}

int CountLogLines(const std::string& log, const std::string& part, const std::string& level) {
    int count = 0;
    for (const std::string& text : LogTexts(log, level)) count += text.find(part) != std::string::npos;
    return count;
}
