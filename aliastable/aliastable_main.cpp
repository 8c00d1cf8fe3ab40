// aliastable: command-line reader of a mail alias table generation.
//   aliastable lookup DIR GENERATION ALIAS  prints the alias's primary address
//   aliastable dump DIR GENERATION          every record, "alias<TAB>mail", key order
//   aliastable check DIR GENERATION         verifies the files against GENERATION.sum and
//                                           their structure, one-line summary
// Exit status: 0 done; 1 alias absent (lookup) or table damaged or not the
// published generation (check); 2 wrong usage, unreadable or damaged table or
// not the published generation (lookup, dump), failed output.
// Reads the table and the record of the published generation only; the
// comparison setting comes from xomta.ini.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aliastable/alias_reader.h"
#include "aliastable/alias_reader_internal.h"
#include "aliastable/generation_sum.h"
#include "aliastable/published_generation.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: aliastable lookup DIR GENERATION ALIAS\n"
                 "       aliastable dump DIR GENERATION\n"
                 "       aliastable check DIR GENERATION\n");
    return 2;
}

bool PrintRecord(void* context, const char* alias, const char* mail) {
    FILE* out = static_cast<FILE*>(context);
    return std::fprintf(out, "%s\t%s\n", alias, mail) >= 0;
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
    switch (LookupAlias(table, alias, &mail)) {
        case ALIAS_FOUND:
            std::printf("%s\n", mail);
            return Finish(0);
        case ALIAS_NOT_FOUND:
            std::fprintf(stderr, "aliastable: no alias \"%s\"\n", alias);
            return 1;
        default:
            std::fprintf(stderr, "aliastable: damaged table: %s\n", table->error);
            return 2;
    }
}

int Dump(AliasTable* table) {
    if (!ForEachAlias(table, PrintRecord, stdout)) {
        std::fprintf(stderr, "aliastable: damaged table: %s\n", table->error);
        return 2;
    }
    return Finish(0);
}

int Check(AliasTable* table) {
    if (!CheckAliasTable(table)) {
        std::fprintf(stderr, "aliastable: damaged table: %s\n", table->error);
        return 1;
    }
    std::printf("sound: %lu records, %u index pages, height %u, %zu string bytes\n", table->records,
                ReaderPageCount(table), ReaderHeight(table), table->stringsSize);
    return Finish(0);
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

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const char* command = argv[1];
    bool lookup = std::strcmp(command, "lookup") == 0;
    bool dump = std::strcmp(command, "dump") == 0;
    bool check = std::strcmp(command, "check") == 0;
    if ((!lookup && !dump && !check) || argc != (lookup ? 5 : 4)) return Usage();

    // check: the files as the build wrote them (GENERATION.sum), then their structure.
    char sumError[kGenerationSumErrorSize];
    if (check && !VerifyGenerationSum(argv[2], argv[3], sumError, sizeof sumError)) {
        std::fprintf(stderr, "aliastable: damaged table: %s\n", sumError);
        return 1;
    }
    AliasTable table;
    int status;
    char published[kGenerationNameSize] = "";
    if (!OpenAliasTable(argv[2], argv[3], &table)) {
        std::fprintf(stderr, "aliastable: %s\n", table.error);
        status = check ? 1 : 2;
    } else if (!IsTrustedGeneration(argv[2], argv[3], published, sizeof published)) {
        // Left by a build that failed, or replaced since: not a table to trust.
        std::fprintf(stderr, "aliastable: generation %s in %s is not the published one (%s%s)\n", argv[3],
                     argv[2], published[0] == '\0' ? "none is recorded" : "published: ", published);
        status = check ? 1 : 2;
    } else if (lookup) {
        status = Lookup(&table, argv[4]);
    } else if (dump) {
        status = Dump(&table);
    } else {
        status = Check(&table);
    }
    CloseAliasTable(&table);
    return status;
}
