// A configuration directory for one test: made under the build tree,
// named by XOMTA_CONFIG_DIR while the test runs, removed afterwards.
#ifndef LDAPCGI_TESTS_PLATFORM_CONFIG_TEST_DIR_H
#define LDAPCGI_TESTS_PLATFORM_CONFIG_TEST_DIR_H

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class ConfigTestDir {
public:
    ConfigTestDir() {
        std::string pattern = std::string(LDAPCGI_BINARY_DIR) + "/config-test-XXXXXX";
        if (mkdtemp(&pattern[0])) path_ = pattern;
        setenv("XOMTA_CONFIG_DIR", path_.c_str(), 1);
    }
    ~ConfigTestDir() {
        unsetenv("XOMTA_CONFIG_DIR");
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") std::remove(File(name).c_str());
            }
            closedir(dir);
        }
        rmdir(path_.c_str());
    }
    ConfigTestDir(const ConfigTestDir&) = delete;
    ConfigTestDir& operator=(const ConfigTestDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    // Writes `name` in place (same inode when it exists already).
    bool Write(const std::string& name, const std::string& text) const {
        int fd = open(File(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        return ok;
    }

private:
    std::string path_;
};

#endif
