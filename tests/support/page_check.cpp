// One encoder, one POST, one seed and the expected-page files for the page tests.
#include "tests/support/page_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>

#include "tests/support/config_folder.h"

std::string FormBody(const Fields& fields) {
    std::string body;
    char code[4];
    for (const auto& field : fields) {
        if (!body.empty()) body += '&';
        body += field.first + '=';
        for (unsigned char c : field.second) {
            if (isalnum(c) || c == '-' || c == '.') {
                body += static_cast<char>(c);
            } else {
                snprintf(code, sizeof code, "%%%02X", c);
                body += code;
            }
        }
    }
    return body;
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
