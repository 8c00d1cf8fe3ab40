// Helpers of the alias table and database tests: a scratch folder under the
// build tree, the lookup setting in a private xomta.ini, new generations from
// the empty images, relations filled with generated aliases.
#ifndef LDAPCGI_TESTS_PLATFORM_DB_TEST_SUPPORT_H
#define LDAPCGI_TESTS_PLATFORM_DB_TEST_SUPPORT_H

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline off_t FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

// A fresh folder under the build tree, removed with everything in it at the
// end of the test; XOMTA_CONFIG_DIR points at it while it lives.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string base = std::string(LDAPCGI_BINARY_DIR) + "/test-scratch";
        mkdir(base.c_str(), 0700);
        std::string pattern = base + "/dbXXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        EXPECT_NE(mkdtemp(name.data()), nullptr);
        path = name.data();
        setenv("XOMTA_CONFIG_DIR", path.c_str(), 1);
    }
    ~ScratchFolder() {
        nftw(path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
        unsetenv("XOMTA_CONFIG_DIR");
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name) const { return path + "/" + name; }

    // Writes xomta.ini with the lookup setting, or without it (null). A new
    // file each time (written aside, renamed over), so no reader can mistake
    // it for the old one.
    void SetLookupSetting(const char* value) const {
        std::string text = "[Ldap]\nHostName=localhost\n\n[PreProcessor]\n";
        if (value != nullptr) text += std::string("UseCaseSensitiveAliasLookup=") + value + "\n";
        text += "\n[Gateway]\nQueueDirectory=" + path + "\n";
        WriteWholeFile(File("xomta.ini.new"), text);
        rename(File("xomta.ini.new").c_str(), File("xomta.ini").c_str());
    }

    // The three files of an empty generation, as the build writes them.
    void WriteGeneration(const std::string& generation) const {
        WriteWholeFile(File(generation + ".id0"),
                       std::string(reinterpret_cast<const char*>(kAliasIndexImage), kAliasIndexImageSize));
        WriteWholeFile(File(generation + ".str"),
                       std::string(reinterpret_cast<const char*>(kAliasStringImage), kAliasStringImageSize));
        WriteWholeFile(File(generation + ".db"),
                       std::string(reinterpret_cast<const char*>(kAliasRelationImage), kAliasRelationImageSize));
    }

    std::string path;
};

// Stores one alias record through the relation, as the build does.
inline dbError AddAlias(dbMailAlias* relation, const std::string& alias, const std::string& mail) {
    strNcpy(relation->szAlias, alias.c_str(), sizeof relation->szAlias);
    relation->szMail.cpy(mail.c_str());
    return relation->add();
}

// The alias and primary address of generated record i.
inline std::string GeneratedAlias(unsigned long i) { return "alias" + std::to_string(i * 7919 % 1000003) + "@example.org"; }
inline std::string GeneratedMail(unsigned long i) { return "user" + std::to_string(i) + "@mail.example.org"; }

#endif
