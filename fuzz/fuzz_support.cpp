// The fuzz targets' shared helpers: property failures, the scratch folder and
// standard input from memory. Touches only its own scratch folder.
#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

std::string gScratch;
std::vector<uint8_t> gStdinBytes;
FILE* gStdin = nullptr;

void RemoveScratch() {
    if (gScratch.empty()) return;
    auto remove = [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); };
    nftw(gScratch.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void FuzzCheckFailed(const char* condition, const char* file, int line) {
    fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    abort();
}

const std::string& FuzzScratchFolder(const char* tag) {
    if (!gScratch.empty()) return gScratch;
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ldapcgi-fuzz-" + tag + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    gScratch = pattern;
    atexit(RemoveScratch);
    return gScratch;
}

void FuzzWriteFile(const std::string& path, const void* bytes, std::size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, bytes, size) != static_cast<ssize_t>(size) || close(fd) != 0) {
        perror(path.c_str());
        abort();
    }
}

void FuzzSetEnv(const char* name, const std::string& value) {
    static std::map<std::string, char*> current;  // by name: the text handed to putenv
    const std::string entry = std::string(name) + "=" + value;
    char* text = strdup(entry.c_str());
    if (text == nullptr || putenv(text) != 0) {
        perror("putenv");
        abort();
    }
    char*& previous = current[name];
    free(previous);
    previous = text;
}

void FuzzFeedStdin(const uint8_t* bytes, std::size_t size) {
    if (gStdin != nullptr) fclose(gStdin);
    // fmemopen needs a buffer of at least one byte; the stream's size is `size`.
    gStdinBytes.assign(bytes, bytes + size);
    gStdinBytes.push_back(0);
    gStdin = size == 0 ? fopen("/dev/null", "r") : fmemopen(gStdinBytes.data(), size, "r");
    if (gStdin == nullptr) {
        perror("fmemopen");
        abort();
    }
    stdin = gStdin;
}

std::string FuzzText(const uint8_t* data, std::size_t size) {
    const void* nul = memchr(data, 0, size);
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}
