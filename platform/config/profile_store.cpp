// The configuration files of this process: which file a bare name stands
// for, and the parsed content of each file read. Touches only the config
// directory (stat, readdir, read); keeps at most kConfigCachedFiles files.
// Every letter case of a name stands for one file, the first in byte order;
// a regular file comes before anything else of the name (a folder, a FIFO),
// which stands for a file that cannot be read.
// A directory that cannot be listed (search only) is asked for the usual
// spellings one by one; when none is there, a file of another spelling may
// be, unseen, so the name stands for a file that cannot be read.
// A call whose file has no lower-case letter costs one stat while nothing
// changed; another also stats the directory, since a file whose name sorts
// before it may appear there. A directory or file whose change
// time lies within two seconds of the moment it was read is read again on
// the next call, since file system clocks can be coarse: a second change
// within the same tick would leave every stat field unchanged.
#include "platform/config/profile_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/config/config_limits.h"
#include "platform/config/ini_document.h"

namespace {

constexpr const char* kDefaultConfigDir = "/etc/xomta";
constexpr long long kRacyWindowNs = 2LL * 1000 * 1000 * 1000;

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
};

struct Resolution {
    std::string directory;
    std::string name;
    FileStamp stamp;  // of the directory when it was scanned
    bool racy = false;
    std::string path;    // empty: no such file
    bool exact = false;  // no other spelling of the name can sort before the path's entry
};

struct CachedFile {
    std::string path;
    FileStamp stamp;
    bool racy = false;
    std::string text;
    IniDocument document;
    unsigned long long version = 0;  // changes whenever the text does
};

std::mutex gLock;
std::vector<Resolution> gResolutions;
std::vector<CachedFile> gFiles;
std::string gScratch;
unsigned long long gNextVersion = 1;

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    stamp.changed = st.st_ctim;
    return stamp;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

// Whether a change in the same clock tick as the last one could still be
// unseen. The change time is set by the kernel only, so it cannot be moved.
bool IsRacy(const FileStamp& stamp) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long long nowNs = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    long long changedNs = static_cast<long long>(stamp.changed.tv_sec) * 1000000000LL + stamp.changed.tv_nsec;
    return nowNs - changedNs < kRacyWindowNs;
}

// Keeps a cache within kConfigCachedFiles entries, dropping the oldest.
template <typename T>
T& AddEntry(std::vector<T>& cache) {
    if (cache.size() >= kConfigCachedFiles) cache.erase(cache.begin());
    cache.emplace_back();
    return cache.back();
}

bool IsBareName(const char* name) {
    return name && *name && !strchr(name, '/') && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// What a directory entry of the name stands for: a regular file (or a link
// whose target cannot be reached: a file that is there but cannot be read),
// or something else that is there (a folder, a FIFO, a link to either or to
// nothing: decided by stat, never opened). A dangling link is no absent
// file: its target may be away for a while (moved during an upgrade).
enum class EntryKind { kRegular, kOther };
EntryKind KindOf(const char* directory, const dirent* entry) {
    if (entry->d_type == DT_REG) return EntryKind::kRegular;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return EntryKind::kOther;
    struct stat st;
    if (stat((std::string(directory) + "/" + entry->d_name).c_str(), &st) != 0)
        return errno == ENOENT ? EntryKind::kOther : EntryKind::kRegular;
    return S_ISREG(st.st_mode) ? EntryKind::kRegular : EntryKind::kOther;
}

// The spellings asked for, in byte order, when the directory cannot be
// listed: the name as given, in capitals, in small letters, and capitalised.
std::vector<std::string> UsualSpellings(const char* name) {
    std::string upper(name), lower(name);
    for (char& c : upper) c = c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    std::string capitalised = lower;
    capitalised[0] = upper[0];
    std::vector<std::string> spellings{name, upper, lower, capitalised};
    std::sort(spellings.begin(), spellings.end());
    spellings.erase(std::unique(spellings.begin(), spellings.end()), spellings.end());
    return spellings;
}

// The file `name` stands for in a directory that cannot be listed: the first
// usual spelling that is a regular file. Without one, the name's own
// spelling, which then reads as a file that is there but cannot be read:
// another spelling may be there unseen, and a caller that must fail closed
// may not take its settings for absent.
std::string ProbeDirectory(const char* directory, const char* name) {
    for (const std::string& spelling : UsualSpellings(name)) {
        std::string path = std::string(directory) + "/" + spelling;
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    }
    return std::string(directory) + "/" + name;
}

// The file of `directory` that `name` stands for: the first (in byte order)
// that matches it without regard to case, so that every spelling of the name
// stands for one file, whichever the caller uses; a folder or FIFO of that
// name is passed over for a regular file of another spelling, and without
// one stands for a file that cannot be read, never for no file. *exact: no
// other spelling can sort before it (it has no lower-case letter). *listed:
// false when the directory could not be listed (the file then found by
// ProbeDirectory).
std::string ScanDirectory(const char* directory, const char* name, bool* exact, bool* listed) {
    *exact = false;
    *listed = true;
    DIR* dir = opendir(directory);
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return std::string();
        *listed = false;
        return ProbeDirectory(directory, name);
    }
    std::string chosen, other;  // the first regular file; the first entry of another kind
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name) != 0) continue;
        std::string* first = KindOf(directory, entry) == EntryKind::kRegular ? &chosen : &other;
        if (first->empty() || first->compare(entry->d_name) > 0) *first = entry->d_name;
    }
    closedir(dir);
    *exact = !chosen.empty() &&
             std::none_of(chosen.begin(), chosen.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    if (chosen.empty()) chosen.swap(other);
    if (chosen.empty()) return chosen;
    return std::string(directory) + "/" + chosen;
}

Resolution* FindResolution(const char* directory, const char* name) {
    for (Resolution& r : gResolutions) {
        if (r.directory == directory && r.name == name) return &r;
    }
    return nullptr;
}

// Path of the file that `name` stands for in `directory`, or null.
const std::string* Resolve(const char* directory, const char* name) {
    Resolution* resolution = FindResolution(directory, name);
    struct stat st;
    const bool reached = stat(directory, &st) == 0;
    if (reached ? !S_ISDIR(st.st_mode) : errno == ENOENT || errno == ENOTDIR) return nullptr;
    if (!resolution) {
        resolution = &AddEntry(gResolutions);
        resolution->directory = directory;
        resolution->name = name;
    }
    if (!reached) {  // a folder that cannot be reached may hold the file: one that cannot be read
        resolution->path = std::string(directory) + "/" + name;
        resolution->exact = false;
        resolution->racy = true;
        return &resolution->path;
    }
    FileStamp stamp = StampOf(st);
    if (!resolution->racy && SameStamp(resolution->stamp, stamp)) {
        return resolution->path.empty() ? nullptr : &resolution->path;
    }
    resolution->stamp = stamp;
    bool listed = true;
    resolution->path = ScanDirectory(directory, name, &resolution->exact, &listed);
    // A listing that failed is tried again on the next call: the failure may
    // pass (no descriptor free) and a probe sees no new spelling.
    resolution->racy = !listed || IsRacy(stamp);
    return resolution->path.empty() ? nullptr : &resolution->path;
}

// Reads the whole file behind `fd`, at most kConfigMaxFileSize bytes.
bool ReadWhole(int fd, std::string& text) {
    text.clear();
    char chunk[kConfigReadChunkSize];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (text.size() + static_cast<std::size_t>(got) > kConfigMaxFileSize) return false;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

void Forget(const std::string& path) {
    for (auto it = gFiles.begin(); it != gFiles.end(); ++it) {
        if (it->path == path) {
            gFiles.erase(it);
            return;
        }
    }
}

// The parsed content of `path`, whose stat (`found`: whether it succeeded)
// is `st`; read again only when it changed. Null when the file cannot be
// read (or is too large).
const CachedFile* Load(const std::string& path, bool found, struct stat st) {
    CachedFile* cached = nullptr;
    for (CachedFile& f : gFiles) {
        if (f.path == path) {
            cached = &f;
            break;
        }
    }
    if (!found || !S_ISREG(st.st_mode)) {
        if (cached) Forget(path);
        return nullptr;
    }
    if (cached && !cached->racy && SameStamp(cached->stamp, StampOf(st))) return cached;

    // Not blocking: a FIFO put in the file's place after the stat is refused
    // by the fstat below, not waited on.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (cached) Forget(path);
        return nullptr;
    }
    // The stamp is taken before the content, so a change while reading shows
    // as a different stamp on the next call.
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadWhole(fd, text);
    close(fd);
    if (!ok) {
        if (cached) Forget(path);
        return nullptr;
    }
    if (!cached) {
        cached = &AddEntry(gFiles);
        cached->path = path;
    } else if (cached->text == text) {
        cached->stamp = StampOf(st);
        cached->racy = IsRacy(cached->stamp);
        return cached;
    }
    cached->stamp = StampOf(st);
    cached->racy = IsRacy(cached->stamp);
    cached->text.swap(text);
    IniParseText(cached->text, cached->document);
    cached->version = gNextVersion++;
    return cached;
}

// The current content of the file that `name` stands for in `directory`, or
// null. A file found before under a name that no other spelling sorts
// before is checked with one stat; only when it is gone (or no file) does
// the directory decide again.
const CachedFile* Current(const char* directory, const char* name) {
    struct stat st {};
    Resolution* known = FindResolution(directory, name);
    if (known && known->exact && stat(known->path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return Load(known->path, true, st);
    const std::string* path = Resolve(directory, name);
    if (!path) return nullptr;
    bool found = stat(path->c_str(), &st) == 0;
    return Load(*path, found, st);
}

const char* DirectoryName() {
    const char* configured = getenv("XOMTA_CONFIG_DIR");
    return configured && *configured ? configured : kDefaultConfigDir;
}

// The configuration directory, or null when `file` cannot be looked up.
const char* ConfigDirectory(const char* file) {
    if (!IsBareName(file)) return nullptr;
    const char* directory = DirectoryName();
    if (strlen(directory) + strlen(file) + 2 > kConfigFileNameSize) return nullptr;
    return directory;
}

}  // namespace

bool ProfileStoreRead(const char* file, const char* section, const char* key,
                      void (*use)(const std::string& value, void* context), void* context) {
    const char* directory = ConfigDirectory(file);
    if (!directory || !section || !key) return false;

    std::lock_guard<std::mutex> hold(gLock);
    const CachedFile* current = Current(directory, file);
    if (!current) return false;
    const std::string* value = IniFind(current->document, section, key, gScratch);
    if (!value) return false;
    use(*value, context);
    return true;
}

bool ProfileStoreSection(const char* file, const char* section,
                         std::vector<std::pair<std::string, std::string>>* settings, bool* present) {
    settings->clear();
    if (present != nullptr) *present = false;
    const char* directory = ConfigDirectory(file);
    if (!directory || !section) return false;

    std::lock_guard<std::mutex> hold(gLock);
    const CachedFile* current = Current(directory, file);
    if (!current) return false;
    const std::vector<std::string>* keys = IniSectionKeys(current->document, section, gScratch);
    if (!keys) return true;
    if (present != nullptr) *present = true;
    std::string scratch;
    for (const std::string& key : *keys) {
        const std::string* value = IniFind(current->document, section, key.c_str(), scratch);
        settings->emplace_back(key, value ? *value : std::string());
    }
    return true;
}

const char* ProfileStoreDirectory() { return DirectoryName(); }

bool ProfileStorePresent(const char* file) {
    const char* directory = ConfigDirectory(file);
    if (!directory) return false;
    std::lock_guard<std::mutex> hold(gLock);
    return Resolve(directory, file) != nullptr;
}

unsigned long long ProfileStoreVersion(const char* file) {
    const char* directory = ConfigDirectory(file);
    if (!directory) return 0;
    std::lock_guard<std::mutex> hold(gLock);
    const CachedFile* current = Current(directory, file);
    return current ? current->version : 0;
}
