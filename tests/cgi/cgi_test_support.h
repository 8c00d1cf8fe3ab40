// Helpers for the CGI library's tests: the CGI environment, standard input fed
// from given bytes, the decoded list as plain pairs.
#ifndef LDAPCGI_TESTS_CGI_CGI_TEST_SUPPORT_H
#define LDAPCGI_TESTS_CGI_CGI_TEST_SUPPORT_H

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "cgi/form_entries.h"
#include "tests/support/run_cgi.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

inline Pairs EntriesOf(const FormEntryList& list) {
    Pairs pairs;
    for (const FormEntry* e = list.head; e; e = e->next) pairs.emplace_back(e->name, e->value);
    return pairs;
}

// Unsets the variables the decoder reads, then sets `env`.
inline void SetCgiEnvironment(const Environment& env) {
    for (const char* name : {"REQUEST_METHOD", "CONTENT_TYPE", "CONTENT_LENGTH", "QUERY_STRING",
                             "HTTP_USER_AGENT", "HTTP_SEC_FETCH_SITE", "HTTP_ORIGIN", "HTTP_HOST", "HTTPS",
                             "REQUEST_SCHEME"})
        unsetenv(name);
    for (const auto& kv : env) setenv(kv.first.c_str(), kv.second.c_str(), 1);
}

// Makes `bytes` the whole of standard input.
inline void FeedStdin(const std::string& bytes) {
    char path[] = "/tmp/ldapcgi-stdin-XXXXXX";
    close(mkstemp(path));
    std::ofstream(path, std::ios::binary) << bytes;
    if (freopen(path, "rb", stdin) == nullptr) perror("freopen");
    unlink(path);
}

inline std::string ReadFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

#endif
