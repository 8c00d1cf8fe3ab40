// usertransfer: the user import from the command line, for files larger
// than one web request should carry. The same check and write as the
// "Import Users" page, with its words, as plain text on standard output.
//   usertransfer check FILE   checks the file whole; writes nothing
//   usertransfer apply FILE   checks it and, when no row is refused, writes it
// Exit status: 0 checked without refusal (check) or every row written
// (apply); 1 rows refused, the directory unreachable or writing stopped;
// 2 wrong usage or a file refused whole. Reads XOMTA.INI from
// XOMTA_CONFIG_DIR; the audit lines name the local account that runs it.
// Texts from the file reach the terminal escaped (TerminalText), so that no
// cell can move the cursor or forge a line.
// Exports are the page's: run ldapcgi.cgi with REQUEST_METHOD=GET and
// QUERY_STRING=Command=ExportUsers&Format=csv (see the README).
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/audit.h"
#include "directory/directory_session.h"
#include "html/text_helpers.h"
#include "transfer/import_run.h"
#include "transfer/import_text.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: usertransfer check FILE\n       usertransfer apply FILE\n");
    return 2;
}

void PrintNotes(const char* kind, const std::vector<RowNote>& notes) {
    for (const RowNote& note : notes)
        std::printf("%s line %ld %s: %s\n", kind, note.line, TerminalText(note.mail).c_str(),
                    TerminalText(note.text).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the file-size limit fails and is reported
    if (argc != 3 || (std::strcmp(argv[1], "check") != 0 && std::strcmp(argv[1], "apply") != 0))
        return Usage();
    const bool write = std::strcmp(argv[1], "apply") == 0;
    const passwd* account = getpwuid(geteuid());
    const std::string user = account != nullptr ? account->pw_name : "uid " + std::to_string(geteuid());
    setenv("REMOTE_USER", user.c_str(), 1);
    unsetenv("REMOTE_ADDR");
    SetAuditCommand("ImportUsers");

    ImportFile file;
    const std::string refusal = ReadImportFile(argv[2], &file);
    if (!refusal.empty()) {
        std::fprintf(stderr, "usertransfer: %s\n", TerminalText(refusal).c_str());
        return 2;
    }
    SetChangingRequest(write);
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        std::fprintf(stderr, "usertransfer: Error connecting to LDAP server\n");
        return 1;
    }
    ImportReport check;
    ImportReport written;
    RunImport(client, file, write, &check, &written);
    const bool sound = check.failure.empty() && check.counts[kRowRefused] == 0;
    client.ldapClientUnbind();
    for (int kind = 0; kind < kRowKinds; ++kind)
        std::printf("%s %zu\n", kRowKindNames[kind], check.counts[kind]);
    PrintNotes("refused", check.refused);
    PrintNotes("update", check.updated);
    std::printf("%s\n", TerminalText(ImportOutcome(check, write, written)).c_str());
    if (std::fflush(stdout) != 0) return 1;
    return sound && (!write || written.failure.empty()) ? 0 : 1;
}
