// One encoder, one POST, one seed and the expected-page files for the page tests.
#include "tests/support/page_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "tests/support/config_folder.h"

std::string FormBody(const Fields& fields) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string body;
    for (const auto& field : fields) {
        if (!body.empty()) body += '&';
        body += field.first + '=';
        for (unsigned char c : field.second)
            body += isalnum(c) || c == '-' || c == '.' ? std::string(1, c)
                                                       : std::string{'%', kHex[c >> 4], kHex[c & 15]};
    }
    return body;
}

Fields FormFields(const std::string& text) {
    Fields fields;
    std::istringstream parts("Command=" + text);
    for (std::string part; std::getline(parts, part, '|');)
        fields.push_back({part.substr(0, part.find('=')), part.substr(part.find('=') + 1)});
    return fields;
}

ProcessResult PostForm(const Fields& fields, const std::string& configDir) {
    return RunCgiPost(FormBody(fields), {{"XOMTA_CONFIG_DIR", configDir}});
}

const char kExampleDomainLdif[] =
    "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
    "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n";

std::string ExpectedPage(const std::string& name) {
    const std::string path = SourcePath("tests/pages/expected/" + name + ".html");
    EXPECT_TRUE(std::ifstream(path).good()) << "no expected page " << path;
    return ReadWholeFile(path);
}
