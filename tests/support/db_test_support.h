// Shared by the platform and alias table tests: a scratch folder named by XOMTA_CONFIG_DIR, empty tables.
#ifndef LDAPCGI_TESTS_SUPPORT_DB_TEST_SUPPORT_H
#define LDAPCGI_TESTS_SUPPORT_DB_TEST_SUPPORT_H

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

// Truncates and rewrites in place (the same inode when the file exists).
inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

struct ScratchFolder {
    ScratchFolder() : path(std::string(LDAPCGI_BINARY_DIR) + "/test-scratch") {
        mkdir(path.c_str(), 0700);
        path += "/dbXXXXXX";
        EXPECT_NE(mkdtemp(&path[0]), nullptr);
        setenv("XOMTA_CONFIG_DIR", path.c_str(), 1);
    }
    ~ScratchFolder() {
        auto remove = [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); };
        nftw(path.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
        unsetenv("XOMTA_CONFIG_DIR");
    }
    std::string File(const std::string& name) const { return path + "/" + name; }

    // A new xomta.ini (renamed over the old), with the lookup setting or without it (null).
    void SetLookupSetting(const char* value) const {
        std::string setting = value ? std::string("UseCaseSensitiveAliasLookup=") + value + "\n" : "";
        WriteWholeFile(File("xomta.ini.new"), "[Ldap]\nHostName=localhost\n\n[PreProcessor]\n" + setting +
                                                  "\n[Gateway]\nQueueDirectory=" + path + "\n");
        rename(File("xomta.ini.new").c_str(), File("xomta.ini").c_str());
    }
    // The three files of an empty generation, as the build writes them.
    void WriteGeneration(const std::string& generation) const {
        auto image = [](const unsigned char* bytes, std::size_t size) {
            return std::string((const char*)bytes, size);
        };
        WriteWholeFile(File(generation + ".id0"), image(kAliasIndexImage, kAliasIndexImageSize));
        WriteWholeFile(File(generation + ".str"), image(kAliasStringImage, kAliasStringImageSize));
        WriteWholeFile(File(generation + ".db"), image(kAliasRelationImage, kAliasRelationImageSize));
    }
    std::string path;
};

inline dbError AddAlias(dbMailAlias* relation, const std::string& alias, const std::string& mail) {
    strNcpy(relation->szAlias, alias.c_str(), sizeof relation->szAlias);
    relation->szMail.cpy(mail.c_str());
    return relation->add();
}

inline std::string GeneratedAlias(unsigned long i) {
    return "alias" + std::to_string(i * 7919 % 1000003) + "@example.org";
}
inline std::string GeneratedMail(unsigned long i) { return "user" + std::to_string(i) + "@mail.example.org"; }

#endif
