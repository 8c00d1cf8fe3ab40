// The fuzz targets' shared helpers: property failures, scratch folders and
// standard input from memory. Touches only its own scratch folders.
#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

std::vector<std::string> gScratch;
std::vector<uint8_t> gStdinBytes;

// Scratch folders hold files only.
void RemoveScratch() {
    for (const std::string& folder : gScratch) {
        if (DIR* dir = opendir(folder.c_str())) {
            for (dirent* e; (e = readdir(dir)) != nullptr;) unlinkat(dirfd(dir), e->d_name, 0);
            closedir(dir);
        }
        rmdir(folder.c_str());
    }
}

}  // namespace

void FuzzCheckFailed(const char* condition, const char* file, int line) {
    fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    abort();
}

std::string FuzzScratchFolder(const char* ini) {
    const char* tmp = getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/ldapcgi-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(&folder[0]) != nullptr);
    if (gScratch.empty()) atexit(RemoveScratch);
    gScratch.push_back(folder);
    if (ini != nullptr) FuzzWriteFile(folder + "/xomta.ini", ini);
    return folder;
}

void FuzzWriteFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const ssize_t written = fd < 0 ? -1 : write(fd, text.data(), text.size());
    FUZZ_CHECK(written == static_cast<ssize_t>(text.size()) && close(fd) == 0);
}

void FuzzSetEnv(const char* name, const std::string& value) {
    static std::map<std::string, char*> current;  // by name: the text handed to putenv
    char* text = strdup((std::string(name) + "=" + value).c_str());
    FUZZ_CHECK(text != nullptr && putenv(text) == 0);
    free(current[name]);
    current[name] = text;
}

void FuzzFeedStdin(const uint8_t* bytes, std::size_t size) {
    static FILE* current = nullptr;
    if (current != nullptr) fclose(current);
    // fmemopen needs a buffer of at least one byte; the stream's size is `size`.
    gStdinBytes.assign(bytes, bytes + size);
    gStdinBytes.push_back(0);
    current = size == 0 ? fopen("/dev/null", "r") : fmemopen(gStdinBytes.data(), size, "r");
    FUZZ_CHECK(current != nullptr);
    stdin = current;
}

std::string FuzzText(const uint8_t* data, std::size_t size) {
    const void* nul = memchr(data, 0, size);
    return std::string(reinterpret_cast<const char*>(data),
                       nul ? static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - data) : size);
}
