// The request's upload folder: made with mkdtemp on the first upload, each
// file in it created new (O_EXCL, never through a link). Its removal is
// registered to run at exit before the folder exists, so that no ordinary
// end of the process (a refused request, a fatal input error, a page) leaves
// it; a forked child ends by _exit and leaves it to the parent.
#include "cgi/request_uploads.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kUploadFolderTemplate[] = "/tmp/ldapcgi-upload-XXXXXX";
char folder[sizeof kUploadFolderTemplate];  // empty while there is none

void RemoveAtExit() { RemoveRequestUploads(); }

bool MakeFolder() {
    if (folder[0] != '\0') return true;
    static const bool removalRegistered = atexit(RemoveAtExit) == 0;
    if (!removalRegistered) return false;
    memcpy(folder, kUploadFolderTemplate, sizeof folder);
    if (mkdtemp(folder) != nullptr) return true;  // mode 0700
    folder[0] = '\0';
    return false;
}

}  // namespace

const char* RequestUploadFolder() { return folder[0] != '\0' ? folder : nullptr; }

void RemoveRequestUploads() {
    if (folder[0] == '\0') return;
    // Only files are made in the folder, so one level is all there is.
    if (DIR* dir = opendir(folder)) {
        for (dirent* e; (e = readdir(dir)) != nullptr;) {
            const bool dots = strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0;
            if (!dots) unlinkat(dirfd(dir), e->d_name, 0);
        }
        closedir(dir);
    }
    rmdir(folder);
    folder[0] = '\0';
}

FILE* CreateRequestUpload(const char* baseName) {
    if (!MakeFolder()) return nullptr;
    const std::string path = std::string(folder) + "/" + baseName;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) close(fd);
    return file;
}
