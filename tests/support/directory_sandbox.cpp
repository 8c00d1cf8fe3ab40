// Test directory server: slapd run by scripts/directory-sandbox in the
// foreground as a child of the test process, with the kernel told to end it
// when this process dies. Entries are reset and read back with libldap and
// the ldap-utils; XOMTA.INI is written whole, synced, then renamed in place.
#include "tests/support/directory_sandbox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ldap.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

#include "tests/support/run_cgi.h"

namespace {

constexpr int kLaunchTries = 8;
constexpr int kReadyPolls = 500;        // 20 ms each
constexpr int kStopPolls = 500;         // 20 ms each
constexpr useconds_t kPollMicros = 20000;

Environment ToolEnvironment() {
    Environment env;
    const char* path = getenv("PATH");
    env["PATH"] = path ? path : "/usr/bin:/bin:/usr/sbin:/sbin";
    return env;
}

int PickFreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFileSynced(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced && rename(temporary.c_str(), path.c_str()) == 0;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// One INI section: its name and its lines, a key/value pair each, or a raw
// line (comment, blank) with an empty key.
struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> lines;
};

IniSection* FindSection(std::vector<IniSection>& sections, const std::string& name) {
    for (auto& section : sections)
        if (SameName(section.name, name)) return &section;
    return nullptr;
}

void MergeIni(std::vector<IniSection>& sections, const std::string& extra) {
    std::istringstream in(extra);
    std::string line;
    IniSection* current = nullptr;
    while (std::getline(in, line)) {
        std::string trimmed = Trim(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            std::string name = trimmed.substr(1, trimmed.size() - 2);
            current = FindSection(sections, name);
            if (!current) {
                sections.push_back({name, {}});
                current = &sections.back();
            }
            continue;
        }
        if (!current) continue;  // text before any section heading has no place
        std::size_t equals = trimmed.find('=');
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#' || equals == std::string::npos) {
            if (!trimmed.empty()) current->lines.push_back({"", line});
            continue;
        }
        std::string key = Trim(trimmed.substr(0, equals));
        std::string value = Trim(trimmed.substr(equals + 1));
        bool replaced = false;
        for (auto& kv : current->lines) {
            if (!kv.first.empty() && SameName(kv.first, key)) {
                kv.second = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) current->lines.push_back({key, value});
    }
}

LDAP* ConnectAsRoot(const std::string& uri) {
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uri.c_str()) != LDAP_SUCCESS || !ld) return nullptr;
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    timeval timeout{2, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    berval password;
    password.bv_val = const_cast<char*>(DirectorySandbox::RootPassword());
    password.bv_len = strlen(password.bv_val);
    if (ldap_sasl_bind_s(ld, DirectorySandbox::RootDn(), LDAP_SASL_SIMPLE, &password, nullptr,
                         nullptr, nullptr) != LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        return nullptr;
    }
    return ld;
}

int DnDepth(const char* dn) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || !parsed) return 0;
    int depth = 0;
    while (parsed[depth]) ++depth;
    ldap_dnfree(parsed);
    return depth;
}

DirectorySandbox* shared = nullptr;

void StopSharedAtExit() {
    delete shared;
    shared = nullptr;
}

}  // namespace

DirectorySandbox& DirectorySandbox::Get() {
    if (!shared) {
        shared = new DirectorySandbox(0);
        atexit(StopSharedAtExit);
        if (!shared->Ok())
            std::cerr << "directory sandbox: slapd did not start in " << shared->Dir()
                      << "\n" << ReadFile(shared->Dir() + "/slapd.out") << std::endl;
    }
    return *shared;
}

DirectorySandbox::DirectorySandbox(int fixedPort) {
    std::string root = BinaryPath("sandboxes");
    mkdir(root.c_str(), 0755);
    std::string pattern = root + "/sbXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return;
    dir_ = name.data();
    if (!Prepare()) return;
    fixedPort_ = fixedPort > 0;
    for (int attempt = 0; attempt < (fixedPort_ ? 1 : kLaunchTries); ++attempt) {
        int port = fixedPort_ ? fixedPort : PickFreePort();
        if (port > 0 && Launch(port)) {
            port_ = port;
            ok_ = WriteConfig();
            return;
        }
    }
}

DirectorySandbox::~DirectorySandbox() { StopAndRemove(); }

bool DirectorySandbox::Ok() const { return ok_; }
int DirectorySandbox::Port() const { return port_; }
std::string DirectorySandbox::Uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
std::string DirectorySandbox::Dir() const { return dir_; }
std::string DirectorySandbox::ConfigDir() const { return dir_; }
std::string DirectorySandbox::LogFile() const { return dir_ + "/ldapcgi.log"; }
std::string DirectorySandbox::ReadLog() const { return ReadFile(LogFile()); }

bool DirectorySandbox::ClearLog() {
    if (dir_.empty()) return false;
    return truncate(LogFile().c_str(), 0) == 0 || errno == ENOENT;
}

bool DirectorySandbox::Prepare() {
    ProcessResult result = RunProcess({SourcePath("scripts/directory-sandbox"), "prepare", dir_},
                                      ToolEnvironment(), "");
    if (result.exitStatus != 0) std::cerr << result.err;
    return result.exitStatus == 0;
}

bool DirectorySandbox::Launch(int port) {
    std::string script = SourcePath("scripts/directory-sandbox");
    std::string portText = std::to_string(port);
    std::string output = dir_ + "/slapd.out";
    std::string pidFile = dir_ + "/slapd.pid";
    unlink(pidFile.c_str());
    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        // The server ends with this process, whatever way it ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        int in = open("/dev/null", O_RDONLY);
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(1);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        execl("/bin/bash", "bash", script.c_str(), "run", dir_.c_str(), portText.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = child;
    port_ = port;
    if (WaitReady()) return true;
    Stop();
    return false;
}

// Ready when the server answers a bind on our port and its pid file names our
// child: another sandbox that took the port meanwhile would answer too.
bool DirectorySandbox::WaitReady() {
    std::string pidFile = dir_ + "/slapd.pid";
    for (int poll = 0; poll < kReadyPolls; ++poll) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (atoi(ReadFile(pidFile).c_str()) == pid_) {
            if (LDAP* ld = ConnectAsRoot(Uri())) {
                ldap_unbind_ext_s(ld, nullptr, nullptr);
                return true;
            }
        }
        usleep(kPollMicros);
    }
    return false;
}

bool DirectorySandbox::Stop() {
    if (pid_ <= 0) return true;
    kill(pid_, SIGTERM);
    for (int poll = 0; poll < kStopPolls; ++poll) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        usleep(kPollMicros);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return true;
}

bool DirectorySandbox::Start() {
    if (pid_ > 0) return true;
    if (dir_.empty() || port_ <= 0) return false;
    return Launch(port_);
}

void DirectorySandbox::StopAndRemove() {
    if (removed_) return;
    removed_ = true;
    Stop();
    if (!dir_.empty() && !getenv("LDAPCGI_KEEP_SANDBOXES")) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

bool DirectorySandbox::Reset(const std::string& ldif) {
    LDAP* ld = ConnectAsRoot(Uri());
    if (!ld) return false;
    char noAttributes[] = "1.1";
    char* attributes[] = {noAttributes, nullptr};
    LDAPMessage* result = nullptr;
    int rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", attributes, 0,
                               nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &result);
    std::vector<std::pair<int, std::string>> entries;
    if (rc == LDAP_SUCCESS) {
        for (LDAPMessage* entry = ldap_first_entry(ld, result); entry;
             entry = ldap_next_entry(ld, entry)) {
            char* dn = ldap_get_dn(ld, entry);
            if (dn) {
                entries.push_back({DnDepth(dn), dn});
                ldap_memfree(dn);
            }
        }
    }
    if (result) ldap_msgfree(result);
    bool ok = rc == LDAP_SUCCESS || rc == LDAP_NO_SUCH_OBJECT;
    // Deepest first: a parent goes only after its children.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& entry : entries) {
        int deleted = ldap_delete_ext_s(ld, entry.second.c_str(), nullptr, nullptr);
        if (deleted != LDAP_SUCCESS && deleted != LDAP_NO_SUCH_OBJECT) {
            std::cerr << "directory sandbox: cannot delete " << entry.second << ": "
                      << ldap_err2string(deleted) << std::endl;
            ok = false;
        }
    }
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return ok && Add(ldif);
}

bool DirectorySandbox::Add(const std::string& ldif) {
    if (ldif.empty()) return true;
    ProcessResult result = RunProcess(
        {"/usr/bin/ldapadd", "-x", "-H", Uri(), "-D", RootDn(), "-w", RootPassword()},
        ToolEnvironment(), ldif);
    if (result.exitStatus != 0) std::cerr << "directory sandbox: ldapadd: " << result.err;
    return result.exitStatus == 0;
}

std::string DirectorySandbox::Search(const std::string& base, const std::string& filter,
                                     const std::string& attrs) {
    std::vector<std::string> argv = {"/usr/bin/ldapsearch", "-LLL", "-o", "ldif-wrap=no",
                                     "-x", "-H", Uri(), "-D", RootDn(), "-w", RootPassword(),
                                     "-b", base, "-s", "sub", filter};
    std::istringstream names(attrs);
    std::string name;
    while (names >> name) argv.push_back(name);
    ProcessResult result = RunProcess(argv, ToolEnvironment(), "");
    return result.out;
}

bool DirectorySandbox::WriteConfig(const std::string& extraIni) {
    std::vector<IniSection> sections = {
        {"Ldap",
         {{"HostName", "127.0.0.1"},
          {"Port", std::to_string(port_)},
          {"UserName", RootDn()},
          {"Password", RootPassword()}}},
        {"Log", {{"File", LogFile()}}},
    };
    MergeIni(sections, extraIni);
    std::string text;
    for (const auto& section : sections) {
        text += "[" + section.name + "]\n";
        for (const auto& kv : section.lines)
            text += kv.first.empty() ? kv.second + "\n" : kv.first + "=" + kv.second + "\n";
        text += "\n";
    }
    return WriteRawConfig(text);
}

bool DirectorySandbox::WriteRawConfig(const std::string& text) {
    if (dir_.empty()) return false;
    return WriteFileSynced(ConfigDir() + "/XOMTA.INI", text);
}
