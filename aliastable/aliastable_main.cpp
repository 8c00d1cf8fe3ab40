// aliastable: command-line reader of a mail alias table generation, and its
// builder.
//   aliastable build                        builds and publishes a new generation
//                                           as the "Build Alias Table" page does
//   aliastable lookup DIR GENERATION ALIAS  prints the alias's primary address
//   aliastable dump DIR GENERATION          every record, "alias<TAB>mail", key order,
//                                           control bytes, stray bytes and the
//                                           backslash as \xHH
//   aliastable check DIR GENERATION         verifies the files against GENERATION.sum and
//                                           their structure, one-line summary; says when
//                                           the case setting is not the one it was built with
//   aliastable prune DIR KEEP               removes the generations before the published
//                                           one and the KEEP-1 before it
// Exit status: 0 done (build: a generation was published and recorded); 1 not
// published or not recorded (build, the reason on standard error), alias
// absent (lookup), table damaged, not the published generation or built
// under another case setting (check), nothing or not all pruned (prune); 2
// wrong usage, unreadable or damaged table or
// not the published generation (lookup, dump), a configuration file there
// but unreadable (lookup, dump, check), failed output.
// The reader verbs read the table and the record of the published generation
// only (prune removes files), never the directory, and libldap is not loaded
// for them; the comparison setting comes from xomta.ini. build reads
// XOMTA.INI from XOMTA_CONFIG_DIR, logs and audits as the page does (the
// audit user is the account that runs it) and tells its steps on standard
// error when that is a terminal. A lookup or
// dump of a generation superseded since the caller read the record is served
// once more from the one the record names now.
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aliastable/alias_reader.h"
#include "aliastable/alias_reader_internal.h"
#include "aliastable/alias_table_build.h"
#include "aliastable/generation_prune.h"
#include "aliastable/generation_sum.h"
#include "aliastable/published_generation.h"
#include "base/audit.h"
#include "html/text_helpers.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: aliastable build\n"
                 "       aliastable lookup DIR GENERATION ALIAS\n"
                 "       aliastable dump DIR GENERATION\n"
                 "       aliastable check DIR GENERATION\n"
                 "       aliastable prune DIR KEEP\n");
    return 2;
}

// One field of a dump line: the backslash and, as for a terminal
// (TerminalText), control characters and stray bytes as \xHH, so that a tab
// or a line break within an alias cannot pass for a field or a record, nor an
// escape sequence reach the terminal.
bool PrintField(FILE* out, const char* text, char end) {
    std::string field;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c == '\\')
            field += "\\x5C";
        else
            field += *c;
    const std::string shown = TerminalText(field);
    return std::fwrite(shown.data(), 1, shown.size(), out) == shown.size() && std::fputc(end, out) != EOF;
}

// "aliastable: " `what` `text` and a line end on standard error, `text`
// escaped for a terminal: it may quote bytes of a damaged file.
void PrintError(const char* what, const char* text) {
    std::fprintf(stderr, "aliastable: %s%s\n", what, TerminalText(text).c_str());
}

bool PrintRecord(void* context, const char* alias, const char* mail) {
    FILE* out = static_cast<FILE*>(context);
    return PrintField(out, alias, '\t') && PrintField(out, mail, '\n');
}

int Finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "aliastable: cannot write the output\n");
        return 2;
    }
    return status;
}

int Lookup(AliasTable* table, const char* alias) {
    const char* mail = nullptr;
    AdviseLookups(table);
    switch (LookupAlias(table, alias, &mail)) {
        case ALIAS_FOUND:  // escaped as dump writes it: one line, whatever the address holds
            return Finish(PrintField(stdout, mail, '\n') ? 0 : 2);
        case ALIAS_NOT_FOUND:
            std::fprintf(stderr, "aliastable: no alias \"%s\"\n", TerminalText(alias).c_str());
            return 1;
        default:
            PrintError("damaged table: ", table->error);
            return 2;
    }
}

int Dump(AliasTable* table) {
    if (!ForEachAlias(table, PrintRecord, stdout)) {
        PrintError("damaged table: ", table->error);
        return 2;
    }
    return Finish(0);
}

const char* SettingText(bool ignoreCase) { return ignoreCase ? "YES" : "NO"; }

// The structure under the comparison the table was built with, when its
// checksum file records it; then whether the setting still matches it.
int Check(AliasTable* table, const char* generation, SumKeyCase built) {
    bool current = table->ignoreCase;
    if (built != SumKeyCase::kUnrecorded) table->ignoreCase = built == SumKeyCase::kIgnoreCase;
    if (!CheckAliasTable(table)) {
        PrintError("damaged table: ", table->error);
        return 1;
    }
    std::printf("sound: %lu records, %u index pages, height %u, %zu string bytes\n", table->records,
                ReaderPageCount(table), ReaderHeight(table), table->stringsSize);
    if (table->ignoreCase == current) return Finish(0);
    std::fprintf(stderr,
                 "aliastable: generation %s was built with UseCaseSensitiveAliasLookup=%s, the setting is "
                 "now %s: its lookups miss aliases until the next build\n",
                 generation, SettingText(table->ignoreCase), SettingText(current));
    return Finish(1);
}

int Prune(const char* directory, const char* keepText) {
    std::size_t digits = std::strspn(keepText, "0123456789");
    if (digits == 0 || digits > 6 || keepText[digits] != '\0') return Usage();
    unsigned long keep = std::strtoul(keepText, nullptr, 10);  // six digits at most: no overflow
    if (keep == 0 || keep > kMaxPruneKeep) return Usage();
    PruneReport report;
    switch (PruneGenerations(directory, keep, &report)) {
        case PruneResult::kDone:
            std::printf("pruned: %lu files removed; kept generation %s and those from %lu on\n",
                        report.removed, report.published, report.oldestKept);
            return Finish(0);
        case PruneResult::kBuildRunning:
            std::fprintf(stderr, "aliastable: a build is running in %s; nothing removed\n", directory);
            return 1;
        case PruneResult::kNotRecorded:
            std::fprintf(stderr, "aliastable: no published generation is recorded in %s; nothing removed\n",
                         directory);
            return 1;
        default:
            std::fprintf(stderr, "aliastable: prune %s: ", directory);
            std::fprintf(stderr, "%s ", TerminalText(report.error).c_str());  // may quote a file or a sum
            std::fprintf(stderr, "(%lu files removed)\n", report.removed);
            return 1;
    }
}

// Tells the build's steps on standard error when someone watches it there.
class BuildReport : public AliasBuildObserver {
public:
    BuildReport() : watched_(isatty(STDERR_FILENO) == 1) {}
    void Refused(const char*) override {}  // said once the build has ended
    void Started(unsigned long number) override {
        generation_ = number;
        if (watched_) std::fprintf(stderr, "aliastable: building generation %lu\n", number);
    }
    void Progress(const char* step) override {
        if (watched_) std::fprintf(stderr, "aliastable: generation %lu: %s\n", generation_, step);
    }
    bool Watched() const { return watched_; }

private:
    bool watched_;
    unsigned long generation_ = 0;
};

int Build() {
    // The audit lines name the account that ran the build, as the page's
    // name the web server's user; there is no remote address.
    const passwd* account = getpwuid(geteuid());
    std::string user = account != nullptr ? account->pw_name : "uid " + std::to_string(geteuid());
    setenv("REMOTE_USER", user.c_str(), 1);
    unsetenv("REMOTE_ADDR");
    SetAuditCommand("BuildAliasTable");
    BuildReport report;
    AliasBuildOutcome outcome = RunAliasTableBuild(report);
    switch (outcome.result) {
        case AliasBuildResult::kPublished:
            if (report.Watched())
                std::fprintf(stderr, "aliastable: generation %lu published, %lu records\n",
                             outcome.generation, outcome.records);
            return 0;
        case AliasBuildResult::kNotRecorded:
            std::fprintf(stderr, "aliastable: generation %lu published, not recorded: %s\n",
                         outcome.generation, outcome.reason);
            return 1;
        case AliasBuildResult::kUnknown:
            std::fprintf(stderr, "aliastable: generation %lu kept: %s\n", outcome.generation, outcome.reason);
            return 1;
        default:
            if (outcome.generation == 0)
                std::fprintf(stderr, "aliastable: nothing built: %s\n", outcome.reason);
            else
                std::fprintf(stderr, "aliastable: generation %lu not published: %s\n", outcome.generation,
                             outcome.reason);
            return 1;
    }
}

}  // namespace

// The recorded generation, or the one after it when its checksum holds: the
// build writes the checksum before it publishes the number in the directory
// and records it after, so a build stopped in between leaves the directory
// naming a whole generation that the record does not name yet.
static bool IsTrustedGeneration(const char* directory, const char* generation, char* published,
                                std::size_t size) {
    bool recorded = ReadPublishedGeneration(directory, published, size);
    if (recorded && std::strcmp(published, generation) == 0) return true;
    char* end = nullptr;
    unsigned long number = std::strtoul(generation, &end, 10);
    unsigned long last = recorded ? std::strtoul(published, nullptr, 10) : 0;
    char sumError[kGenerationSumErrorSize];
    return end != generation && *end == '\0' && number == last + 1 &&
           VerifyGenerationSum(directory, generation, sumError, sizeof sumError);
}

// A generation that the recorded one has replaced: both decimal, it lower.
static bool IsSuperseded(const char* generation, const char* published) {
    std::size_t digits = std::strspn(generation, "0123456789");
    return digits > 0 && generation[digits] == '\0' && published[0] != '\0' &&
           std::strtoul(generation, nullptr, 10) < std::strtoul(published, nullptr, 10);
}

// lookup, dump or check of DIR/GENERATION; `retry`: a lookup or dump of a
// generation superseded meanwhile is served from the recorded one, once.
static int Serve(const char* command, const char* directory, const char* generation, const char* alias,
                 bool retry) {
    bool check = std::strcmp(command, "check") == 0;
    // check: the files as the build wrote them (GENERATION.sum), then their structure.
    char sumError[kGenerationSumErrorSize];
    SumKeyCase built = SumKeyCase::kUnrecorded;
    if (check && !VerifyGenerationSum(directory, generation, sumError, sizeof sumError, &built)) {
        PrintError("damaged table: ", sumError);
        return 1;
    }
    AliasTable table;
    int status;
    char published[kGenerationNameSize] = "";
    // Served from the recorded generation when this one was superseded (and
    // perhaps pruned too) since the caller read the record.
    auto fromRecord = [&]() {
        std::fprintf(stderr, "aliastable: generation %s was superseded; reading %s\n", generation, published);
        return Serve(command, directory, published, alias, false);
    };
    if (!OpenAliasTable(directory, generation, &table)) {
        CloseAliasTable(&table);
        if (!table.settingUnread && !check && retry &&
            !IsTrustedGeneration(directory, generation, published, sizeof published) &&
            IsSuperseded(generation, published))
            return fromRecord();
        PrintError("", table.error);
        status = check && !table.settingUnread ? 1 : 2;
    } else if (!IsTrustedGeneration(directory, generation, published, sizeof published)) {
        CloseAliasTable(&table);
        if (!check && retry && IsSuperseded(generation, published)) return fromRecord();
        // Left by a build that failed, or replaced since: not a table to trust.
        std::fprintf(stderr, "aliastable: generation %s in %s is not the published one (%s%s)\n", generation,
                     directory, published[0] == '\0' ? "none is recorded" : "published: ", published);
        status = check ? 1 : 2;
    } else if (alias != nullptr) {
        status = Lookup(&table, alias);
    } else if (!check) {
        status = Dump(&table);
    } else {
        status = Check(&table, generation, built);
    }
    CloseAliasTable(&table);
    return status;
}

int main(int argc, char** argv) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the file-size limit fails and is reported
    if (argc == 2 && std::strcmp(argv[1], "build") == 0) return Build();
    if (argc < 4) return Usage();
    const char* command = argv[1];
    bool lookup = std::strcmp(command, "lookup") == 0;
    bool dump = std::strcmp(command, "dump") == 0;
    bool check = std::strcmp(command, "check") == 0;
    bool prune = std::strcmp(command, "prune") == 0;
    if ((!lookup && !dump && !check && !prune) || argc != (lookup ? 5 : 4)) return Usage();
    if (prune) return Prune(argv[2], argv[3]);
    return Serve(command, argv[2], argv[3], lookup ? argv[4] : nullptr, true);
}
