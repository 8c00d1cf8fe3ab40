// `scripts/directory-sandbox run` execs slapd in the foreground as our child;
// entries are read and written with the ldap-utils.
#include "tests/support/directory_sandbox.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "tests/support/config_folder.h"
#include "tests/support/run_cgi.h"

namespace {

ProcessResult Tool(std::vector<std::string> argv, const DirectorySandbox& server,
                   const std::string& input = "") {
    argv.insert(argv.begin() + 1,
                {"-x", "-H", server.Uri(), "-D", server.RootDn(), "-w", server.RootPassword()});
    return RunProcess(argv, {{"PATH", "/usr/sbin:/usr/bin:/bin"}}, input);
}

}  // namespace

DirectorySandbox& DirectorySandbox::Get() {
    static DirectorySandbox shared(0);  // stopped at exit
    return shared;
}

DirectorySandbox::DirectorySandbox(int fixedPort, const std::string& tlsFolder, const std::string& sssvlv)
    : sssvlv_(sssvlv) {
    std::string name = BinaryPath("sandboxes/sbXXXXXX");
    mkdir(BinaryPath("sandboxes").c_str(), 0755);
    if (!mkdtemp(&name[0]) ||
        (!tlsFolder.empty() && symlink(tlsFolder.c_str(), (name + "/tls").c_str()) != 0))
        return;
    dir_ = name;
    std::minstd_rand random(static_cast<unsigned>(getpid()));
    // A busy port fails at once.
    for (int attempt = 0; attempt < (fixedPort > 0 ? 1 : 8) && !ok_; ++attempt) {
        if (!tlsFolder.empty()) tlsPort_ = 20000 + static_cast<int>(random() % 40000);
        if (Launch(fixedPort > 0 ? fixedPort : 20000 + static_cast<int>(random() % 40000)))
            ok_ = WriteConfig();
    }
    if (!ok_)
        std::cerr << "directory sandbox: no slapd in " << dir_ << "\n" << ReadWholeFile(dir_ + "/slapd.out");
}

DirectorySandbox::~DirectorySandbox() {
    Stop();
    std::error_code ignored;
    if (!dir_.empty() && !getenv("LDAPCGI_KEEP_SANDBOXES")) std::filesystem::remove_all(dir_, ignored);
}

bool DirectorySandbox::Launch(int port) {
    std::string script = SourcePath("scripts/directory-sandbox"), portText = std::to_string(port);
    std::string tlsPortText = tlsPort_ > 0 ? std::to_string(tlsPort_) : "";
    std::string output = dir_ + "/slapd.out", pidFile = dir_ + "/slapd.pid";
    unlink(pidFile.c_str());
    pid_t parent = getpid();
    const std::string sort = "SANDBOX_SSSVLV=" + sssvlv_;  // empty: the script's default
    if ((pid_ = fork()) < 0) return false;
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // the server ends with this process, however it ends
        int in = open("/dev/null", O_RDONLY), out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (getppid() != parent || in < 0 || out < 0) _exit(1);
        dup2(in, 0), dup2(out, 1), dup2(out, 2);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        execl("/usr/bin/env", "env", sort.c_str(), "/bin/bash", script.c_str(), "run", dir_.c_str(),
              portText.c_str(), tlsPortText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    port_ = port;
    // Ready when a bind succeeds and the pid file names our child, not a sandbox that took the port.
    for (int poll = 0; poll < 500; ++poll, usleep(20000)) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return pid_ = -1, false;
        if (atoi(ReadWholeFile(pidFile).c_str()) == pid_ &&
            Tool({"/usr/bin/ldapwhoami", "-o", "nettimeout=2"}, *this).exitStatus == 0)
            return true;
    }
    return Stop(), false;
}

bool DirectorySandbox::Stop() {
    int poll = 0;
    if (pid_ > 0) kill(pid_, SIGTERM);
    while (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) != pid_ && ++poll < 500) usleep(20000);
    if (poll == 500) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    return pid_ = -1, true;
}

bool DirectorySandbox::Start() { return pid_ > 0 || (!dir_.empty() && port_ > 0 && Launch(port_)); }

bool DirectorySandbox::Load(const std::string& ldif) {
    std::string file = dir_ + "/load.ldif";
    if (!WriteWholeFile(file, ldif) || !Stop()) return false;
    ProcessResult loaded = RunProcess({"/usr/sbin/slapadd", "-q", "-f", dir_ + "/slapd.conf", "-l", file},
                                      {{"PATH", "/usr/sbin:/usr/bin:/bin"}}, "");
    unlink(file.c_str());
    if (loaded.exitStatus != 0) std::cerr << "directory sandbox: slapadd: " << loaded.out << loaded.err;
    return Start() && loaded.exitStatus == 0;
}

// The top entries go with everything below them.
bool DirectorySandbox::Reset(const std::string& ldif) {
    ProcessResult top =
        Tool({"/usr/bin/ldapsearch", "-LLL", "-b", "", "-s", "one", "(objectClass=*)", "1.1"}, *this);
    std::vector<std::string> argv = {"/usr/bin/ldapdelete", "-r"};
    std::istringstream lines(top.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("dn: ", 0) == 0)
            argv.push_back(line.substr(4));
        else if (!line.empty())
            top.exitStatus = -1;  // a DN that ldapsearch could only print in base64
    ProcessResult deleted = argv.size() > 2 ? Tool(argv, *this) : ProcessResult{0, "", ""};
    if (top.exitStatus != 0 || deleted.exitStatus != 0)
        std::cerr << "directory sandbox: reset: " << top.out << top.err << deleted.err;
    return top.exitStatus == 0 && deleted.exitStatus == 0 && (ldif.empty() || Add(ldif));
}

bool DirectorySandbox::Change(std::vector<std::string> argv, const std::string& ldif, bool relax) {
    if (relax) argv.insert(argv.end(), {"-e", "relax"});
    ProcessResult result = Tool(argv, *this, ldif);
    if (result.exitStatus != 0) std::cerr << "directory sandbox: " << argv[0] << ": " << result.err;
    return result.exitStatus == 0;
}

std::string DirectorySandbox::Search(const std::string& base, const std::string& filter,
                                     const std::string& attrs) {
    std::vector<std::string> argv = {"/usr/bin/ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-b", base, filter};
    std::istringstream names(attrs);
    for (std::string name; names >> name;) argv.push_back(name);
    return Tool(argv, *this).out;
}

// extraIni's lines, each key set once to the last value extraIni gives it;
// then this server's [Ldap] and [Log] settings, which count only where
// extraIni has none, as the reader takes a key's first setting.
bool DirectorySandbox::WriteConfig(const std::string& extraIni) {
    std::vector<std::string> lines;
    // Section and key, lower case without blanks: the line setting it.
    std::map<std::string, std::size_t> keys;
    std::istringstream in(extraIni);
    std::string section, text;
    for (std::string line; std::getline(in, line);) {
        std::string name;
        for (char c : line.substr(0, line.find('=')))
            if (!isspace(static_cast<unsigned char>(c))) name += static_cast<char>(tolower(c));
        if (name[0] == '[') section = name;
        auto [at, added] = keys.emplace(section + "\n" + name, lines.size());
        if (added || line.find('=') == std::string::npos || strchr(";#[", name[0]))  // "" for no name
            lines.push_back(line);
        else
            lines[at->second] = line;
    }
    for (const std::string& line : lines) text += line + "\n";
    return WriteRawConfig(text + "\n[Ldap]\nHostName=127.0.0.1\nPort=" + std::to_string(port_) +
                          "\nUserName=" + RootDn() + "\nPassword=" + RootPassword() +
                          "\n\n[Log]\nFile=" + LogFile() + "\n");
}

// Replaced whole: a running CGI never reads half a file.
bool DirectorySandbox::WriteRawConfig(const std::string& text) {
    return !dir_.empty() && ReplaceWholeFile(ConfigDir() + "/XOMTA.INI", text);
}

std::string DirectorySandbox::ReadLog() const { return ReadWholeFile(LogFile()); }

bool DirectorySandbox::ClearLog() {
    return !dir_.empty() && (truncate(LogFile().c_str(), 0) == 0 || errno == ENOENT);
}
