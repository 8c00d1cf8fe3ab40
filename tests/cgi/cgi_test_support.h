// Helpers for the CGI library's tests: the CGI environment, standard input fed
// from given bytes, the decoded list as plain pairs, multipart bodies laid out
// as a browser sends them, and the request upload folders under /tmp.
#ifndef LDAPCGI_TESTS_CGI_CGI_TEST_SUPPORT_H
#define LDAPCGI_TESTS_CGI_CGI_TEST_SUPPORT_H

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <set>
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
    for (const char* name :
         {"REQUEST_METHOD", "CONTENT_TYPE", "CONTENT_LENGTH", "QUERY_STRING", "HTTP_USER_AGENT",
          "HTTP_SEC_FETCH_SITE", "HTTP_ORIGIN", "HTTP_HOST", "HTTPS", "REQUEST_SCHEME"})
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

const std::string kBoundary = "----WebKitFormBoundary7MA4YWxkTrZu0gW";

struct Part {
    std::string name, content;
    const char* fileName;
};  // fileName null: a plain field

inline std::string Body(const std::vector<Part>& parts, const std::string& eol = "\r\n") {
    std::string body;
    for (const Part& p : parts) {
        body += "--" + kBoundary + eol + "Content-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName)
            body += std::string("; filename=\"") + p.fileName + "\"" + eol + "Content-Type: text/plain";
        body += eol + eol + p.content + eol;
    }
    return body + "--" + kBoundary + "--" + eol;
}

inline Environment MultipartEnv(const std::string& body, const std::string& agent = "") {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "multipart/form-data; boundary=" + kBoundary},
            {"CONTENT_LENGTH", std::to_string(body.size())},
            {"HTTP_USER_AGENT", agent}};
}

// The request folders of uploads under /tmp.
inline std::set<std::string> UploadFolders() {
    std::set<std::string> folders;
    DIR* tmp = opendir("/tmp");
    for (dirent* e; tmp != nullptr && (e = readdir(tmp)) != nullptr;)
        if (std::string(e->d_name).rfind("ldapcgi-upload-", 0) == 0)
            folders.insert("/tmp/" + std::string(e->d_name));
    if (tmp != nullptr) closedir(tmp);
    return folders;
}

#endif
