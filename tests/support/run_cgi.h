// Runs the real CGI executable as a web server would: a clean environment of
// the given variables, the given bytes on standard input; captures standard
// output, standard error and the exit status.
#ifndef LDAPCGI_TESTS_SUPPORT_RUN_CGI_H
#define LDAPCGI_TESTS_SUPPORT_RUN_CGI_H

#include <map>
#include <string>
#include <vector>

struct ProcessResult {
    int exitStatus = -1;  // exit code, or 128 + signal number
    std::string out;
    std::string err;
};

using Environment = std::map<std::string, std::string>;

// Runs `argv` (argv[0] a path) with exactly `env` as its environment.
ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env,
                         const std::string& input);

// Runs build/ldapcgi.cgi. PATH and XOMTA_CONFIG_DIR are added from the test's
// own environment unless `env` sets them.
ProcessResult RunCgi(const Environment& env, const std::string& input = "");
// POST of an application/x-www-form-urlencoded body.
ProcessResult RunCgiPost(const std::string& body, const Environment& extra = {});

// The prefix of a command line that runs it without the capabilities that let
// root pass file permissions (none for another account).
std::vector<std::string> NoBypass();

// Path of a file in the source tree / build tree.
inline std::string SourcePath(const std::string& relative) { return LDAPCGI_SOURCE_DIR "/" + relative; }
inline std::string BinaryPath(const std::string& relative) { return LDAPCGI_BINARY_DIR "/" + relative; }

#endif
