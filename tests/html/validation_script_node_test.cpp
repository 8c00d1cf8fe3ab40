// Runs the emitted validation script under node, when the machine has it,
// to check which addresses the browser lets through.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "html/page_frame.h"
#include "tests/html/stdout_capture.h"
#include "tests/support/run_cgi.h"

namespace {

// The script body without the <script> and HTML comment lines.
std::string ScriptBody() {
    std::string script = CaptureStdout([] { PrintEmailValidationScript("MailAlias"); });
    std::string body;
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        std::string line = script.substr(start, end - start);
        if (line != "<script>" && line != "</script>" && line != "<!--" && line != "//-->") body += line + "\n";
        start = end + 1;
    }
    return body;
}

// "sent" when formvalidation lets the form go (any result but false), else
// "kept", plus "alert:" and "focus" marks when those were called.
std::string Validate(const std::string& value) {
    std::string code = ScriptBody() +
                       "var seen='';\n"
                       "function alert(m){seen+=' alert:'+m;}\n"
                       "var form={MailAlias:{value:" + "'" + value + "'" +
                       ",focus:function(){seen+=' focus';}}};\n"
                       "process.stdout.write((formvalidation(form)===false?'kept':'sent')+seen);\n";
    ProcessResult result = RunProcess({"/usr/bin/node", "-e", code}, {{"PATH", "/usr/bin:/bin"}}, "");
    return result.exitStatus == 0 ? result.out : "node failed: " + result.err;
}

TEST(ValidationScriptInBrowser, AcceptsAndRefusesAsThePagesExpect) {
    if (access("/usr/bin/node", X_OK) != 0) GTEST_SKIP() << "node is not installed";
    EXPECT_EQ(Validate("a@b.cde"), "sent");
    EXPECT_EQ(Validate("a@b.cd"), "sent");
    EXPECT_EQ(Validate("first.last@mail.example.org"), "sent");
    const char* refused[] = {"a@b.c", "@b.cde", "a@.cde", "a@b.cdef", "ab.cde", ""};
    for (const char* value : refused) {
        EXPECT_EQ(Validate(value), "kept alert:Illegal E-mail Format focus") << value;
    }
}

}  // namespace
