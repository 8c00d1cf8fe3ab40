// A real OpenLDAP slapd for the tests, run by scripts/directory-sandbox on a
// loopback port in a folder under LDAPCGI_BINARY_DIR/sandboxes, as a child
// that the kernel kills when the test process dies. Account "cn=root",
// password "kpqz". With a TLS folder (server.crt, server.key, ca.crt) the
// server also offers StartTLS and listens for ldaps:// on a second port.
#ifndef LDAPCGI_TESTS_SUPPORT_DIRECTORY_SANDBOX_H
#define LDAPCGI_TESTS_SUPPORT_DIRECTORY_SANDBOX_H

#include <signal.h>

#include <string>
#include <vector>

class DirectorySandbox {
public:
    static DirectorySandbox& Get();  // the process's shared server
    // 0: any free port; see Ok(). `sssvlv`: the script's SANDBOX_SSSVLV ("no": a
    // server that cannot sort, N: one that sorts N lists at a time).
    explicit DirectorySandbox(int fixedPort = 0, const std::string& tlsFolder = "",
                              const std::string& sssvlv = "");
    ~DirectorySandbox();  // stops the server, removes its folder
    DirectorySandbox(const DirectorySandbox&) = delete;
    DirectorySandbox& operator=(const DirectorySandbox&) = delete;

    bool Ok() const { return ok_; }  // false when slapd could not start
    int Port() const { return port_; }
    // Sends slapd `signal` (the tests that freeze it); false with no server, never kill(-1).
    bool Signal(int signal) const { return pid_ > 0 && kill(pid_, signal) == 0; }
    std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
    std::string TlsUri() const { return "ldaps://127.0.0.1:" + std::to_string(tlsPort_); }
    std::string ConfigDir() const { return dir_; }                 // holds XOMTA.INI
    std::string LogFile() const { return dir_ + "/ldapcgi.log"; }  // its [Log] File
    bool Reset(const std::string& ldif = "");                      // deletes every entry, then adds the LDIF
    // `relax` sends the Relax Rules control, which lets a change past the unique
    // overlay over mail: the directory as another tool may have written it.
    bool Add(const std::string& ldif, bool relax = false) {
        return Change({"/usr/bin/ldapadd"}, ldif, relax);
    }
    bool Modify(const std::string& ldif, bool relax = false) {  // ldapmodify change records
        return Change({"/usr/bin/ldapmodify"}, ldif, relax);
    }
    // ldapsearch -LLL output (unwrapped), subtree below base; attrs blank-separated.
    std::string Search(const std::string& base, const std::string& filter, const std::string& attrs = "");
    // Adds the LDIF offline with slapadd, past the overlays: many entries in seconds.
    // The server is stopped for it and started again.
    bool Load(const std::string& ldif);
    bool Stop();  // Start() again: same port, same data
    bool Start();
    // XOMTA.INI: the sections of extraIni, then [Ldap] and [Log] for this
    // server; the reader takes a key's first setting, so extraIni's keys win.
    bool WriteConfig(const std::string& extraIni = "");
    bool WriteRawConfig(const std::string& text);
    std::string ReadLog() const;  // "" when there is none
    bool ClearLog();
    static const char* RootDn() { return "cn=root"; }
    static const char* RootPassword() { return "kpqz"; }

private:
    bool Launch(int port);
    bool Change(std::vector<std::string> argv, const std::string& ldif, bool relax);
    std::string dir_;
    int port_ = 0;
    int tlsPort_ = 0;
    std::string sssvlv_;
    pid_t pid_ = -1;
    bool ok_ = false;
};

#endif
