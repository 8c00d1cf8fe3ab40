// Shared by the fuzz targets: a property check that aborts (so libFuzzer
// keeps the input), scratch folders for the files a target needs, and the
// environment and standard input set from the fuzz input. Fuzz builds only.
#ifndef LDAPCGI_FUZZ_FUZZ_SUPPORT_H
#define LDAPCGI_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

// A broken property: prints what and where, then aborts.
#define FUZZ_CHECK(condition)                                              \
    do {                                                                   \
        if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__); \
    } while (0)

[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

// A new folder under $TMPDIR (or /tmp), removed with the files in it when the
// process ends. With `ini`, it holds xomta.ini with that text.
std::string FuzzScratchFolder(const char* ini = nullptr);
// Replaces `path` with `text`, written whole.
void FuzzWriteFile(const std::string& path, const std::string& text);
// setenv without its growth: glibc keeps every value setenv ever made, so a
// target calling it per input would grow and set off libFuzzer's leak
// checks. The previous value of the variable is released.
void FuzzSetEnv(const char* name, const std::string& value);
// Makes `bytes` the whole of standard input until the next call.
void FuzzFeedStdin(const uint8_t* bytes, std::size_t size);
// The input up to its first NUL byte, as a text.
std::string FuzzText(const uint8_t* data, std::size_t size);

#endif
