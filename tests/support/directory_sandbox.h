// A real OpenLDAP slapd for the tests: one per test process, started on a
// free loopback port in a folder under the build tree by
// scripts/directory-sandbox, stopped at process exit. The server runs as a
// child that the kernel kills when the test process dies (also on a crash),
// so no server outlives its tests. Account "cn=root", password "kpqz".
#ifndef LDAPCGI_TESTS_SUPPORT_DIRECTORY_SANDBOX_H
#define LDAPCGI_TESTS_SUPPORT_DIRECTORY_SANDBOX_H

#include <sys/types.h>

#include <string>

class DirectorySandbox {
public:
    // The process's shared server, started on first use (under
    // LDAPCGI_BINARY_DIR/sandboxes/<unique>) and stopped at exit.
    static DirectorySandbox& Get();

    // A further server of its own; fixedPort 0 picks a free port. Starts at
    // once (see Ok()); stopped and removed by the destructor.
    explicit DirectorySandbox(int fixedPort = 0);
    ~DirectorySandbox();
    DirectorySandbox(const DirectorySandbox&) = delete;
    DirectorySandbox& operator=(const DirectorySandbox&) = delete;

    bool Ok() const;               // false when slapd could not start
    int Port() const;
    std::string Uri() const;       // ldap://127.0.0.1:PORT
    std::string Dir() const;       // the sandbox folder
    std::string ConfigDir() const; // folder holding XOMTA.INI (for XOMTA_CONFIG_DIR)
    std::string LogFile() const;   // the [Log] File that XOMTA.INI names

    // Deletes every entry, then adds the LDIF (if any).
    bool Reset(const std::string& ldif = "");
    // Adds the entries of an LDIF text.
    bool Add(const std::string& ldif);
    // ldapsearch -LLL output (unwrapped lines), subtree below base; attrs is a
    // blank-separated attribute list, empty for all.
    std::string Search(const std::string& base, const std::string& filter,
                       const std::string& attrs = "");
    // Stops / restarts the server: same port, same data.
    bool Stop();
    bool Start();
    // Rewrites XOMTA.INI: the [Ldap] and [Log] sections pointing at this
    // server, with the keys of extraIni merged in (its [Ldap] and [Log] keys
    // replace or join ours; other sections are appended).
    bool WriteConfig(const std::string& extraIni = "");
    // Writes XOMTA.INI with exactly this text (e.g. no [Ldap] section).
    bool WriteRawConfig(const std::string& text);
    // Contents of the log file ("" when there is none yet); ClearLog empties it.
    std::string ReadLog() const;
    bool ClearLog();

    static const char* RootDn() { return "cn=root"; }
    static const char* RootPassword() { return "kpqz"; }

private:
    bool Prepare();
    bool Launch(int port);
    bool WaitReady();
    void StopAndRemove();

    std::string dir_;
    int port_ = 0;
    bool fixedPort_ = false;
    pid_t pid_ = -1;
    bool ok_ = false;
    bool removed_ = false;
};

#endif
