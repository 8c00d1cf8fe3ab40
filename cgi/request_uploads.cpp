// The request's upload folder: made with mkdtemp on the first upload, each
// file in it created new (O_EXCL, never through a link). Its removal is
// registered to run at exit before the folder exists, so that no ordinary
// end of the process (a refused request, a fatal input error, a page) leaves
// it; a forked child ends by _exit and leaves it to the parent. A web server
// ends a request that runs past its time with SIGTERM, which skips the exit
// handlers: a handler for it (unless the program set one) removes the files
// it has noted, with async-signal-safe calls only, and then lets the signal
// end the process. At most kMaxMultipartParts files are noted, as a request
// holds no more parts.
#include "cgi/request_uploads.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/limits.h"

namespace {

const char kUploadFolderTemplate[] = "/tmp/ldapcgi-upload-XXXXXX";
char folder[sizeof kUploadFolderTemplate];  // empty while there is none
int folderFd = -1;
char noted[kMaxMultipartParts][NAME_MAX + 1];  // the files made, for the signal handler
volatile sig_atomic_t notedCount = 0;

void RemoveAtExit() { RemoveRequestUploads(); }

void RemoveOnTermination(int number) {
    if (folder[0] != '\0') {
        for (sig_atomic_t i = 0; i < notedCount; ++i) unlinkat(folderFd, noted[i], 0);
        rmdir(folder);
    }
    signal(number, SIG_DFL);
    raise(number);
}

void RemoveWhenTerminated() {
    struct sigaction current {};
    if (sigaction(SIGTERM, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction removal {};
    removal.sa_handler = RemoveOnTermination;
    sigaction(SIGTERM, &removal, nullptr);
}

bool MakeFolder() {
    if (folder[0] != '\0') return true;
    static const bool removalRegistered = atexit(RemoveAtExit) == 0;
    if (!removalRegistered) return false;
    RemoveWhenTerminated();
    memcpy(folder, kUploadFolderTemplate, sizeof folder);
    if (mkdtemp(folder) != nullptr) {  // mode 0700
        folderFd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) return true;
        rmdir(folder);
    }
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
    notedCount = 0;
    close(folderFd);
    folderFd = -1;
}

FILE* CreateRequestUpload(const char* baseName) {
    if (!MakeFolder() || notedCount >= static_cast<sig_atomic_t>(kMaxMultipartParts) ||
        strlen(baseName) > NAME_MAX)
        return nullptr;
    memcpy(noted[notedCount], baseName, strlen(baseName) + 1);
    notedCount = notedCount + 1;  // after the name is whole
    const std::string path = std::string(folder) + "/" + baseName;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) close(fd);
    return file;
}
