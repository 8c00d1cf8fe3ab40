// A scratch folder named by XOMTA_CONFIG_DIR for the length of a test, under
// LDAPCGI_BINARY_DIR/test-scratch, removed with everything in it at the end;
// whole-file reads and writes, a file's permission bits, a text repeated or
// with a part replaced, and the substring check (Holds) that every suite uses.
#ifndef LDAPCGI_TESTS_SUPPORT_CONFIG_FOLDER_H
#define LDAPCGI_TESTS_SUPPORT_CONFIG_FOLDER_H

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Repeated(const std::string& text, std::size_t times) {
    std::string result;
    while (times-- > 0) result += text;
    return result;
}

// The text with every `from` in it replaced by `to`.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// Whether `text` holds `piece`; a failure shows both.
inline ::testing::AssertionResult Holds(const std::string& text, const std::string& piece) {
    return ::testing::IsSubstring("piece", "text", piece, text);
}

// The permission bits of `path` itself (a link's own); -1 when there is none.
inline int ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// Truncates and rewrites in place (the same inode when the file exists).
inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    return bool(std::ofstream(path, std::ios::binary | std::ios::trunc)
                    .write(bytes.data(), std::streamsize(bytes.size()))
                    .flush());
}

// Written whole under another name, then renamed into place, so that a
// reader never sees half a file.
inline bool ReplaceWholeFile(const std::string& path, const std::string& bytes) {
    return WriteWholeFile(path + ".new", bytes) && rename((path + ".new").c_str(), path.c_str()) == 0;
}

struct ConfigFolder {
    ConfigFolder() : path(std::string(LDAPCGI_BINARY_DIR) + "/test-scratch") {
        mkdir(path.c_str(), 0700);
        path += "/cfXXXXXX";
        EXPECT_NE(mkdtemp(&path[0]), nullptr);
        setenv("XOMTA_CONFIG_DIR", path.c_str(), 1);
    }
    ~ConfigFolder() {
        auto remove = [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); };
        nftw(path.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
        unsetenv("XOMTA_CONFIG_DIR");
    }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    std::string File(const std::string& name) const { return path + "/" + name; }
    void Replace(const std::string& name, const std::string& bytes) const {
        ReplaceWholeFile(File(name), bytes);
    }

    std::string path;
};

#endif
