// Helpers of the alias table build tests: scratch folders, runs of the real
// CGI in a chosen working folder (optionally under setpriv or a file size
// limit) with the page read as the web server reads it, the expected page
// texts, directory contents in LDIF, the alias sequence and queue directory
// profile strings, the log lines of a run and the records of a generation.
#ifndef LDAPCGI_TESTS_ALIASTABLE_BUILD_SUPPORT_H
#define LDAPCGI_TESTS_ALIASTABLE_BUILD_SUPPORT_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/page_texts.h"

// A fresh folder under the build tree, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct CgiOptions {
    std::string cwd;                  // working folder; empty: the test's own
    std::vector<std::string> prefix;  // runs prefix..., then the CGI
    long fileSizeLimit = 0;           // RLIMIT_FSIZE in bytes, 0: none
};

// A CGI process whose standard output is read as a web server reads it. The
// build goes on in a detached child after its page: that child keeps the
// standard error pipe, so its end shows as the end of that pipe.
struct CgiProcess {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    int exitStatus = -1;
    std::string errText;
};

// Starts the CGI with POST body `body` and the sandbox's XOMTA.INI.
CgiProcess StartCgi(const std::string& body, const CgiOptions& options = {});
// Everything the process writes to standard output until it closes it.
std::string ReadPage(CgiProcess& process);
// Waits for the process the web server started; its exit status, or 128 + signal.
int WaitRequestExit(CgiProcess& process);
// Whether any process of the request (the build) still holds standard error.
bool StillRunning(CgiProcess& process);
// Waits for the request and everything it left running; the exit status.
int WaitExit(CgiProcess& process);

struct CgiRun {
    std::string page;
    int exitStatus = -1;
};
CgiRun RunCommand(const std::string& command, const CgiOptions& options = {});

// Expected page texts.
inline std::string PageHeader(const std::string& title) { return pagetexts::Header(title); }
using pagetexts::ResultBox;
extern const char kPageEnd[];
std::string MenuPage(bool warning);
std::string BuildPage(unsigned long number);
std::string FailurePage(const std::string& message);

// LDIF: the dc= entries of example.com and example.org, users below them.
std::string DomainsLdif();
std::string UserLdif(const std::string& dnAddress, const std::vector<std::string>& mailValues);
// `count` users "userN@example.com", each with `aliases` aliases "aliasK.userN@example.org".
std::string ManyUsersLdif(int count, int aliases);

// Profile strings in the sandbox: value, or "<none>" when not stored.
std::string ProfileString(const std::string& section, const std::string& key);
bool StoreProfileString(const std::string& section, const std::string& key, const std::string& value);
inline std::string StoredSequence() { return ProfileString("PreProcessor", "AliasSequence"); }

// The sandbox's log file: its length now, and its lines after `offset`.
std::size_t LogSize();
std::vector<std::string> LogLinesSince(std::size_t offset);
// Lines of `lines` that hold `text` and are logged at `level`.
int CountLogLines(const std::vector<std::string>& lines, int level, const std::string& text);
int CountLevel(const std::vector<std::string>& lines, int level);
// The lines as one text, for failure messages.
std::string Joined(const std::vector<std::string>& lines);

// Records of generation `generation` in `directory` (alias -> primary), read
// with the table reader; "check" verdict of build/aliastable.
std::map<std::string, std::string> TableRecords(const std::string& directory, const std::string& generation);
bool ToolCheck(const std::string& directory, const std::string& generation);
std::string ToolLookup(const std::string& directory, const std::string& generation, const std::string& alias);

// A loopback port on which nothing listens (free a moment ago).
int FreePort();

// Octal permission bits of a path, -1 when it does not exist.
int ModeOf(const std::string& path);
bool Exists(const std::string& path);
std::string ReadFileBytes(const std::string& path);

#endif
