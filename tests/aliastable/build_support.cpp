// Helpers of the alias table build tests (see build_support.h).
#include "tests/aliastable/build_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "aliastable/alias_reader.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

ScratchDir::ScratchDir() {
    std::string base = BinaryPath("scratch");
    mkdir(base.c_str(), 0755);
    std::string pattern = base + "/aliasbuild-XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    if (path_.empty()) return;
    std::error_code error;
    // Undo what tests made unwritable before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error)) chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(path_, error);
}

CgiProcess StartCgi(const std::string& body, const CgiOptions& options) {
    CgiProcess process;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0) return process;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return process;
    }
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    std::vector<std::string> envStrings = {
        "REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
        "CONTENT_LENGTH=" + std::to_string(body.size()), "XOMTA_CONFIG_DIR=" + sandbox.ConfigDir(),
        std::string("PATH=") + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (getenv(name)) envStrings.push_back(std::string(name) + "=" + getenv(name));
    }
    std::vector<std::string> argStrings = options.prefix;
    argStrings.push_back(LDAPCGI_EXECUTABLE);
    std::vector<char*> envp, argv;
    for (auto& s : envStrings) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    for (auto& s : argStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        if (options.fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);  // kept across exec: writes fail with EFBIG
            rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                            static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The body is small: it fits in the pipe at once.
    ssize_t written = write(in[1], body.data(), body.size());
    (void)written;
    close(in[1]);
    process.pid = pid;
    process.out = out[0];
    process.err = err[0];
    return process;
}

namespace {

constexpr int kWaitLimitMs = 60000;  // a run that takes longer has hung

// Reads `fd` to its end into `text`, waiting at most `waitMs` for more.
// False while the writers have not all closed it.
bool Drain(int& fd, std::string& text, int waitMs) {
    char buffer[65536];
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (fd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) <= 0) return false;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(fd);
            fd = -1;
        }
    }
    return true;
}

}  // namespace

std::string ReadPage(CgiProcess& process) {
    std::string page;
    if (!Drain(process.out, page, kWaitLimitMs)) ADD_FAILURE() << "the page did not end";
    return page;
}

int WaitRequestExit(CgiProcess& process) {
    for (int waited = 0; process.pid > 0 && waited < kWaitLimitMs; waited += 10) {
        int status = 0;
        if (waitpid(process.pid, &status, WNOHANG) == process.pid) {
            process.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            process.pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (process.pid > 0) ADD_FAILURE() << "the request process did not exit";
    return process.exitStatus;
}

bool StillRunning(CgiProcess& process) { return !Drain(process.err, process.errText, 0); }

int WaitExit(CgiProcess& process) {
    std::string rest;
    Drain(process.out, rest, kWaitLimitMs);
    WaitRequestExit(process);
    if (!Drain(process.err, process.errText, kWaitLimitMs)) {
        ADD_FAILURE() << "the build did not end";
        return -1;
    }
    return process.exitStatus;
}

CgiRun RunCommand(const std::string& command, const CgiOptions& options) {
    CgiProcess process = StartCgi("Command=" + command, options);
    CgiRun run;
    run.page = ReadPage(process);
    run.exitStatus = WaitExit(process);
    return run;
}

const char kPageEnd[] = "</body> </html>\n";

std::string MenuPage(bool warning) {
    std::string page = PageHeader("Build Alias Table") +
                       "<p>This operation extracts all Mail Aliases from the LDAP Directory and builds a "
                       "separate database.</p>"
                       "<p>This database is required by the Preprocessor to recognise recipients in incoming "
                       "messages by their alias name.</p>";
    if (warning) {
        page += "<p>Warning! Another Mail Alias Table build may already be in progress. Do not press the "
                "\"Build Alias Table\" until the previous build is complete.</p>";
    }
    return page +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
           "<input type=\"hidden\" name=\"Command\" value=\"BuildAliasTable\">\n"
           "<center><input type=\"submit\" name=\"AliasTable\" value=\"Build Alias Table\"></center>\n"
           "</form>" + kPageEnd;
}

std::string BuildPage(unsigned long number) {
    return PageHeader("Build Alias Table") +
           "<p>The Mail Alias Table will now be built in the background ( Sequence # is " +
           std::to_string(number) + " ).</p>"
           "<p>The new database will be ready for the Preprocessor in approx. two minutes.</p>" + kPageEnd;
}

std::string FailurePage(const std::string& message) {
    return PageHeader("Build Alias Table") + ResultBox(message) + kPageEnd;
}

std::string DomainsLdif() {
    return "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
           "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
           "dn: dc=org\nobjectClass: domain\ndc: org\n\n"
           "dn: dc=example,dc=org\nobjectClass: domain\ndc: example\n\n";
}

std::string UserLdif(const std::string& dnAddress, const std::vector<std::string>& mailValues) {
    std::string domain = dnAddress.substr(dnAddress.find('@') + 1);
    std::string dn = "mail=" + dnAddress;
    std::size_t start = 0;
    for (std::size_t dot = domain.find('.'); ; dot = domain.find('.', start)) {
        dn += ",dc=" + domain.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    std::string ldif = "dn: " + dn + "\nobjectClass: xoperson\n";
    for (const auto& value : mailValues) ldif += "mail: " + value + "\n";
    return ldif + "\n";
}

std::string ManyUsersLdif(int count, int aliases) {
    std::string ldif;
    for (int i = 0; i < count; ++i) {
        std::string user = "user" + std::to_string(i) + "@example.com";
        std::vector<std::string> mail = {user};
        for (int k = 0; k < aliases; ++k) {
            mail.push_back("alias" + std::to_string(k) + ".user" + std::to_string(i) + "@example.org");
        }
        ldif += UserLdif(user, mail);
    }
    return ldif;
}

std::string ProfileString(const std::string& section, const std::string& key) {
    std::string found = DirectorySandbox::Get().Search("cn=" + key + ",cn=" + section + ",cn=profiles",
                                                       "(objectClass=*)", "xoprofilevalue");
    std::size_t at = found.find("xoprofilevalue: ");
    if (at == std::string::npos) return "<none>";
    std::size_t end = found.find('\n', at);
    return found.substr(at + 16, end - at - 16);
}

bool StoreProfileString(const std::string& section, const std::string& key, const std::string& value) {
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    std::string sectionDn = "cn=" + section + ",cn=profiles";
    if (sandbox.Search("cn=profiles", "(objectClass=*)", "dn").empty()) {
        if (!sandbox.Add("dn: cn=profiles\nobjectClass: xoprofilesection\ncn: profiles\n")) return false;
    }
    if (sandbox.Search(sectionDn, "(objectClass=*)", "dn").empty()) {
        if (!sandbox.Add("dn: " + sectionDn + "\nobjectClass: xoprofilesection\ncn: " + section + "\n")) {
            return false;
        }
    }
    return sandbox.Add("dn: cn=" + key + "," + sectionDn + "\nobjectClass: xoprofilestring\ncn: " + key +
                       "\nxoprofilevalue: " + value + "\n");
}

std::size_t LogSize() { return DirectorySandbox::Get().ReadLog().size(); }

std::vector<std::string> LogLinesSince(std::size_t offset) {
    std::string log = DirectorySandbox::Get().ReadLog();
    std::vector<std::string> lines;
    if (offset > log.size()) offset = 0;
    std::istringstream in(log.substr(offset));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {

// The level field of a log line.
int LevelOf(const std::string& line) {
    std::size_t at = line.find(" LDAP CGI");
    if (at == std::string::npos || at < 1) return -1;
    std::size_t start = line.rfind(' ', at - 1);
    start = start == std::string::npos ? 0 : start + 1;
    return atoi(line.substr(start, at - start).c_str());
}

}  // namespace

int CountLogLines(const std::vector<std::string>& lines, int level, const std::string& text) {
    int count = 0;
    for (const auto& line : lines) {
        if (LevelOf(line) == level && line.find(text) != std::string::npos) ++count;
    }
    return count;
}

int CountLevel(const std::vector<std::string>& lines, int level) {
    int count = 0;
    for (const auto& line : lines) count += LevelOf(line) == level;
    return count;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

std::map<std::string, std::string> TableRecords(const std::string& directory, const std::string& generation) {
    std::map<std::string, std::string> records;
    AliasTable table;
    if (OpenAliasTable(directory.c_str(), generation.c_str(), &table)) {
        ForEachAlias(&table,
                     [](void* context, const char* alias, const char* mail) {
                         (*static_cast<std::map<std::string, std::string>*>(context))[alias] = mail;
                         return true;
                     },
                     &records);
    }
    CloseAliasTable(&table);
    return records;
}

bool ToolCheck(const std::string& directory, const std::string& generation) {
    ProcessResult result = RunProcess({BinaryPath("aliastable"), "check", directory, generation}, {}, "");
    return result.exitStatus == 0;
}

std::string ToolLookup(const std::string& directory, const std::string& generation, const std::string& alias) {
    ProcessResult result = RunProcess({BinaryPath("aliastable"), "lookup", directory, generation, alias}, {}, "");
    return result.exitStatus == 0 ? result.out : "";
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) close(fd);
    return port;
}

int ModeOf(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return -1;
    return static_cast<int>(info.st_mode & 07777);
}

bool Exists(const std::string& path) { return ModeOf(path) >= 0; }

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
