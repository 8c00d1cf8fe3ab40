// Log service: one line per call, "<UTC time> <level> <application>[<pid>]:
// <text>", appended with one write(2) to the file named by XOMTA.INI [Log]
// File, else (or when that file cannot be opened, or is a symbolic link or
// no regular file) sent to syslog, facility mail. Lines above [Log] Level
// (when set) are dropped. Control bytes of the
// application name and the text (line breaks, ESC, BEL, DEL) and every byte
// from 0x80 up (C1 controls, U+2028, stray bytes) are written as "\xHH", as
// audit lines quote them, so that no directory value can end a line early or
// reach a terminal raw; a line that a full disk left torn is ended before the
// next one is appended. A text longer than kLogMaxTextSize
// (after that) is cut. The log file stays open while its name stays the
// same, and the two settings are read again only when XOMTA.INI changed, so
// a long run of lines costs one stat and one write each, and a dropped line
// one stat. In a batch, progress lines share their writes and the settings
// are looked at once a second.
#include "platform/log/logapi.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/config/config_limits.h"
#include "platform/config/profile.h"
#include "platform/config/profile_store.h"
#include "platform/config/regular_file.h"
#include "platform/log/log_limits.h"

namespace {

int SyslogPriority(int level) {
    if (level <= 1) return LOG_ERR;
    if (level <= 3) return LOG_WARNING;
    if (level <= 5) return LOG_NOTICE;
    if (level == 6) return LOG_INFO;
    return LOG_DEBUG;
}

// Copies `text` with its control bytes and bytes from 0x80 up as "\xHH", writing at most `room`
// bytes (an escape is never cut); returns the count written.
std::size_t CopyEscaped(char* out, const char* text, std::size_t room) {
    static const char kHex[] = "0123456789ABCDEF";
    std::size_t n = 0;
    for (; *text; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c >= 0x20 && c < 0x7F) {
            if (n + 1 > room) break;
            out[n++] = static_cast<char>(c);
            continue;
        }
        if (n + 4 > room) break;
        out[n++] = '\\';
        out[n++] = 'x';
        out[n++] = kHex[c >> 4];
        out[n++] = kHex[c & 0xF];
    }
    return n;
}

// The decimal digits of `number` at `out`; returns their count (at most 11).
std::size_t PutDecimal(char* out, long number) {
    char digits[24];
    std::size_t count = 0;
    unsigned long magnitude =
        number < 0 ? 0UL - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    std::size_t length = 0;
    if (number < 0) out[length++] = '-';
    while (count > 0) out[length++] = digits[--count];
    return length;
}

// The log file kept open, and the name it was opened under.
int gLogFd = -1;
char gLogPath[kConfigFileNameSize];

// The process id, asked once per process: a forked child forgets it, and
// opens the log file anew (sharing its parent's, it would share the lock).
pid_t gPid = 0;
void ForgetAfterFork() {
    gPid = 0;
    if (gLogFd >= 0) close(gLogFd);
    gLogFd = -1;
}
pid_t ProcessId() {
    static bool watched = pthread_atfork(nullptr, nullptr, ForgetAfterFork) == 0;
    if (gPid == 0 || !watched) gPid = getpid();
    return gPid;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        ssize_t done = write(fd, data, length);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

// Whether the file does not end with a line break: a write that a full disk
// cut short (here or in another process). Unknown (a file opened for
// writing only) counts as whole.
bool EndsTorn(int fd) {
    struct stat st;
    char last = '\n';
    return fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

// Appends `line` to the file `path` with one write (after a line break that
// ends a torn line); opens (or reopens, when the name changed or a write
// failed) as needed.
bool AppendToFile(const char* path, const char* line, std::size_t length) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (gLogFd < 0 || strcmp(gLogPath, path) != 0) {
            if (gLogFd >= 0) close(gLogFd);
            // A regular file only, never through a link: a FIFO would block
            // every writer, a link would append to whatever file it names.
            gLogFd = OpenRegularFile(path, O_RDWR | O_APPEND | O_CREAT, 0660);
            if (gLogFd < 0 && errno == EACCES)
                gLogFd = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, 0660);
            if (gLogFd < 0) return false;
            strncpy(gLogPath, path, sizeof gLogPath - 1);
            gLogPath[sizeof gLogPath - 1] = '\0';
        }
        // Our writers take the torn check and the write as one, so that none
        // reads the end of another's write in progress as a torn line. The
        // lock is waited for kLogLockTries milliseconds at most (its holder
        // may be a stopped process): without it the line goes out unchecked.
        bool locked = false;
        for (int wait = 0; wait < kLogLockTries && !(locked = flock(gLogFd, LOCK_EX | LOCK_NB) == 0); ++wait)
            usleep(1000);
        const bool written =
            (!locked || !EndsTorn(gLogFd) || WriteAll(gLogFd, "\n", 1)) && WriteAll(gLogFd, line, length);
        if (locked) flock(gLogFd, LOCK_UN);
        if (written) return true;
        close(gLogFd);
        gLogFd = -1;
    }
    return false;
}

// [Log] Level (the highest level written; absent, every level is) and
// [Log] File, as read from the content of XOMTA.INI named by `version`.
struct LogSettings {
    bool known = false;
    unsigned long long version = 0;
    int level = INT_MAX;
    char file[kConfigFileNameSize] = "";
};
LogSettings gSettings;

// The settings as XOMTA.INI stands now: one check of the file, and a read of
// both only when its content changed. A change between the check and the
// reads shows as another version on the next call, which reads again.
long MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// The batch in progress: its lines not yet written, and when the oldest of
// them and the settings were taken.
struct LogBatch {
    bool active = false;
    char lines[kLogBatchSize];
    std::size_t length = 0;
    long firstLineMs = 0;
    long settingsMs = 0;
};
LogBatch gBatch;

void FlushBatch() {
    if (gBatch.length == 0) return;
    char path[sizeof gLogPath];
    memcpy(path, gLogPath, sizeof path);
    AppendToFile(path, gBatch.lines, gBatch.length);
    gBatch.length = 0;
}

void FlushBatchAtExit() { FlushBatch(); }

const LogSettings& CurrentSettings() {
    if (gBatch.active && gSettings.known) {
        long now = MonotonicMs();
        if (now - gBatch.settingsMs < kLogBatchSettingsMs) return gSettings;
        gBatch.settingsMs = now;
    }
    unsigned long long version = ProfileStoreVersion("XOMTA.INI");
    if (gSettings.known && gSettings.version == version) return gSettings;
    gSettings.level = GetPrivateProfileInt("Log", "Level", INT_MAX, "XOMTA.INI");
    GetPrivateProfileString("Log", "File", "", gSettings.file, static_cast<int>(sizeof gSettings.file),
                            "XOMTA.INI");
    gSettings.version = version;
    gSettings.known = true;
    return gSettings;
}

}  // namespace

bool LogLevelEnabled(int level) { return level <= CurrentSettings().level; }

namespace {

// The line's time to the second ("2024-05-01T12:00:00"), made again only
// when the second changes: a run of lines shares it.
const char* SecondStamp(time_t seconds) {
    static time_t madeFor = -1;
    static char stamp[32];
    if (seconds != madeFor) {
        struct tm utc;
        gmtime_r(&seconds, &utc);
        if (strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc) == 0) stamp[0] = '\0';
        madeFor = seconds;
    }
    return stamp;
}

// Writes one line under `settings`, whose level check has been passed.
void WriteLine(const LogSettings& settings, int level, const char* application, const char* text) {
    if (!application) application = "";
    if (!text) text = "";
    char line[2 * kLogStampSize + 2 * kLogMaxTextSize + 2];

    // "<time>.<milliseconds>Z <level> <application>[<pid>]: ", put together
    // by hand: a run of lines must not cost a printf each for its head.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const char* second = SecondStamp(now.tv_sec);
    std::size_t length = strlen(second);
    memcpy(line, second, length);
    long milliseconds = now.tv_nsec / 1000000;
    line[length++] = '.';
    line[length++] = static_cast<char>('0' + milliseconds / 100);
    line[length++] = static_cast<char>('0' + milliseconds / 10 % 10);
    line[length++] = static_cast<char>('0' + milliseconds % 10);
    line[length++] = 'Z';
    line[length++] = ' ';
    length += PutDecimal(line + length, level);
    line[length++] = ' ';
    std::size_t appStart = length;
    length += CopyEscaped(line + length, application, kLogMaxTextSize);
    std::size_t appLength = length - appStart;
    line[length++] = '[';
    length += PutDecimal(line + length, ProcessId());
    line[length++] = ']';
    line[length++] = ':';
    line[length++] = ' ';
    std::size_t textStart = length;
    length += CopyEscaped(line + length, text, kLogMaxTextSize);
    line[length++] = '\n';

    // Progress lines of a batch wait in the batch while the file stays the
    // same; anything else first lets the waiting lines out.
    if (gBatch.active && settings.file[0] && level >= kLogProgress && strcmp(gLogPath, settings.file) == 0 &&
        gLogFd >= 0) {
        long nowMs = MonotonicMs();
        if (gBatch.length + length > sizeof gBatch.lines) FlushBatch();
        if (gBatch.length == 0) gBatch.firstLineMs = nowMs;
        memcpy(gBatch.lines + gBatch.length, line, length);
        gBatch.length += length;
        if (nowMs - gBatch.firstLineMs >= kLogBatchFlushMs) FlushBatch();
        return;
    }
    FlushBatch();
    bool written = false;
    if (settings.file[0]) written = AppendToFile(settings.file, line, length);
    if (!written) {
        line[length - 1] = '\0';
        syslog(LOG_MAIL | SyslogPriority(level), "%.*s: %s", static_cast<int>(appLength), line + appStart,
               line + textStart);
    }
}

}  // namespace

void LogBeginBatch() {
    static bool flushAtExit = atexit(FlushBatchAtExit) == 0;
    (void)flushAtExit;
    gBatch.active = true;
    gBatch.settingsMs = MonotonicMs() - kLogBatchSettingsMs;  // the first line looks
}

void LogEndBatch() {
    FlushBatch();
    gBatch.active = false;
}

void LogMessage(int level, const char* application, const char* text) {
    const LogSettings& settings = CurrentSettings();
    if (level > settings.level) return;
    WriteLine(settings, level, application, text);
}

int LogFormatV(int level, const char* application, std::size_t limit, const char* format, va_list args) {
    if (!format) return -1;
    const LogSettings& settings = CurrentSettings();
    if (level > settings.level) return 0;
    if (limit > kLogMaxTextSize) limit = kLogMaxTextSize;
    char text[kLogMaxTextSize + 1];
    int length = vsnprintf(text, limit + 1, format, args);
    if (length < 0) return -1;
    if (static_cast<std::size_t>(length) > limit) length = static_cast<int>(limit);
    WriteLine(settings, level, application, text);
    return length;
}
