// The "Build Alias Table" handler: numbers a new generation of the mail alias
// table, creates its files from the initial images, answers the browser and
// hands the page over, then extracts every alias into the new relation and
// publishes the generation's number only when the whole table is on disk,
// recording it in the alias table directory too. The first record that
// cannot be written ends the build; the files of a generation that is not
// published are removed.
// One build at a time: the build lock in the alias table directory is held
// from before the sequence is read until after it is published.
// Every build, refused or not, ends with one audit line saying how it ended.
// Reads no form fields. Touches the directory, the alias table directory and
// standard output (closed once the page is complete, when the build goes on
// in a detached child process).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "aliastable/alias_extract.h"
#include "aliastable/alias_table_build_files.h"
#include "aliastable/alias_table_build_sequence.h"
#include "aliastable/disk_images.h"
#include "aliastable/generation_sum.h"
#include "aliastable/mail_alias.h"
#include "aliastable/published_generation.h"
#include "base/audit.h"
#include "base/limits.h"
#include "base/log.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/aliastable/alias_table_pages.h"
#include "platform/config/profile.h"
#include "platform/ldapclient/ldapclient.h"
#include "platform/log/logapi.h"

namespace {

const char kNotConnected[] = "Error connecting to LDAP server, Alias Table not built";
const char kSequenceNotWritten[] = "Could not write the new Mail Alias Sequence # to the LDAP server";
const char kDirectoryDenied[] = "Could create Alias Directory for the Mail Alias Tables";
const char kImagesNotWritten[] = "Error Writing the Disk Images for the Mail Alias Tables.";
const char kRelationNotOpened[] = "Could not open the newly created Mail Alias table, table not built";
const char kBuildRunning[] = "Another Mail Alias Table build is in progress, Alias Table not built";
const char kNotExtracted[] = "the aliases could not be read from the directory";
const char kRecordNotWritten[] = "a record could not be written";
const char kNotWritten[] = "the table files could not be written";
const char kSumNotWritten[] = "the checksums could not be written";

// What the build's audit line says: the generation once numbered, and how
// the build ended. Kept by the process that ends the build (the detached
// child once the page is handed over).
struct BuildOutcome {
    unsigned long generation = 0;  // 0: not numbered
    std::string result = "not-published";
};
BuildOutcome gOutcome;

void NotPublished(const char* reason) { gOutcome.result = std::string("not-published (") + reason + ")"; }

// Ends the page with `message`, which is also why nothing is published.
void Refuse(const char* message) {
    NotPublished(message);
    PrintResultPageAndEnd(message);
}

void LogBuildAudit() {
    std::string what = "alias-table-build";
    if (gOutcome.generation != 0) what += " generation=" + std::to_string(gOutcome.generation);
    LogAudit(what, gOutcome.result);
}

// The queue directory: the directory's profile string, else XOMTA.INI.
void ReadQueueDirectory(ldapClient& client, char* directory, std::size_t size) {
    OwnedText stored(client.ldapGetProfileString("mqapi", "mqlocallinuxrootdir"));
    if (stored != nullptr) {
        snprintf(directory, size, "%s", stored.get());
        return;
    }
    GetPrivateProfileString("Gateway", "QueueDirectory", "", directory, static_cast<int>(size - 1),
                            "XOMTA.INI");
}

// Hands the finished page to the web server and goes on detached from the
// request. A web server ends a CGI process as soon as its answer is complete
// (lighttpd sends SIGTERM at the end of standard output), so the build goes
// on in a child of its own session, and the web server learns that the page
// is complete only once that child is detached: the process it started exits
// and the child lets go of standard output. Without a child (fork failed)
// the build goes on in this process.
void HandPageOver() {
    fflush(stdout);
    int ready[2];
    bool handshake = pipe2(ready, O_CLOEXEC) == 0;
    pid_t child = fork();
    if (child > 0) {
        if (handshake) {
            close(ready[1]);
            char byte;
            while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {}
        }
        _exit(0);  // no destructors: the child owns the session and the files
    }
    if (child == 0) {
        setsid();
        if (handshake) {
            close(ready[0]);
            close(ready[1]);  // tells the parent the child is detached
        }
    } else if (handshake) {
        close(ready[0]);
        close(ready[1]);
    }
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        close(null);
    } else {
        close(STDOUT_FILENO);
    }
}

// After a failed write of the new number: whether it is stored all the same
// (the server took it, its answer was lost), read again on a new session.
enum class Publication { kPublished, kNotPublished, kUnknown };

Publication ReadBackPublication(ldapClient& client, unsigned long number) {
    client.ldapClientUnbind();
    if (!OpenDirectory(client)) return Publication::kUnknown;
    AliasSequence sequence = ReadAliasSequence(client);
    if (!sequence.stored) return Publication::kNotPublished;
    return sequence.number == number && !sequence.marked ? Publication::kPublished
                                                         : Publication::kNotPublished;
}

// Fills the new generation and publishes it; the page is complete already.
// False when the generation was not published (its files are to go).
bool ExtractAndPublish(ldapClient& client, dbMailAlias& relation, const char* directory,
                       const char* generation, unsigned long number) {
    LogBeginBatch();  // one progress line per alias: written in batches
    ExtractResult extracted = ExtractAliases(client, relation);
    LogEndBatch();
    if (extracted == ExtractResult::kWriteFailed) {  // its one line is logged
        NotPublished(kRecordNotWritten);
        return false;
    }
    if (extracted != ExtractResult::kExtracted) {
        NotPublished(kNotExtracted);
        LogPrintf(kLogError, "Mail Alias Table %s not published, the Mail Alias Sequence stays at %lu",
                  generation, number - 1);
        return false;
    }
    unsigned long count = static_cast<unsigned long>(relation.recordCount());
    // The preprocessor may open the generation the moment its number is
    // published: every record and the index must be on disk before (close
    // writes what is buffered and fsyncs the files and their folder).
    dbError closed = relation.close();
    if (closed != DB_OK) {
        NotPublished(kNotWritten);
        dbData text = dbErrStr(closed);
        LogPrintf(kLogError, "Error when writing the Mail Alias Table %s, %s; table not published",
                  generation, text.text());
        return false;
    }
    // The checksums let a reader see damage to any of the three files.
    if (!WriteGenerationSum(directory, generation, relation.keysIgnoreCase())) {
        NotPublished(kSumNotWritten);
        LogPrintf(kLogError, "Mail Alias Table %s not published, the Mail Alias Sequence stays at %lu",
                  generation, number - 1);
        return false;
    }
    if (WriteAliasSequence(client, number, false) != 0) {
        LogMessage(kLogError, APPLICATION_NAME, kSequenceNotWritten);
        Publication publication = ReadBackPublication(client, number);
        NotPublished(kSequenceNotWritten);
        if (publication == Publication::kNotPublished) return false;
        if (publication == Publication::kUnknown) {
            gOutcome.result = "unknown (whether it was published cannot be read)";
            // The preprocessor may be reading it: the files stay, unrecorded.
            LogPrintf(kLogError, "Mail Alias Table %s kept: whether it was published cannot be read",
                      generation);
            return true;
        }
    }
    WritePublishedGeneration(directory, generation);
    gOutcome.result = "published (" + std::to_string(count) + " records)";
    LogPrintf(kLogProgress, "Written %lu records to the New Alias File %s.db", count, generation);
    return true;
}

// Steps from the images to the publication, with the build lock held. The
// files of a generation that is not published are removed again.
void BuildGeneration(ldapClient& client, const char* directory, unsigned long number) {
    gOutcome.generation = number;
    char generation[kAliasSequenceSize];
    snprintf(generation, sizeof generation, "%lu", number);
    char fileName[kAliasSequenceSize + 8];

    // All three are attempted, each failure logged.
    bool written = true;
    snprintf(fileName, sizeof fileName, "%s.id0", generation);
    written = WriteArray(directory, fileName, kAliasIndexImage, kAliasIndexImageSize) && written;
    snprintf(fileName, sizeof fileName, "%s.str", generation);
    written = WriteArray(directory, fileName, kAliasStringImage, kAliasStringImageSize) && written;
    snprintf(fileName, sizeof fileName, "%s.db", generation);
    written = WriteArray(directory, fileName, kAliasRelationImage, kAliasRelationImageSize) && written;
    if (!written) {
        RemoveGeneration(directory, generation);
        Refuse(kImagesNotWritten);
        return;
    }

    bool published = false;
    {
        recordBase database;
        dbMailAlias relation(&database, directory, generation);
        if (relation.status != DB_OK) {
            Refuse(kRelationNotOpened);
        } else {
            printf("<p>The Mail Alias Table will now be built in the background ( Sequence # is %lu ).</p>",
                   number);
            printf("<p>The new database will be ready for the Preprocessor in approx. two minutes.</p>");
            PrintPageEnd();
            HandPageOver();
            published = ExtractAndPublish(client, relation, directory, generation, number);
        }
    }  // the relation's files are closed here
    if (!published) RemoveGeneration(directory, generation);
}

// A build stopped after publishing its number and before recording it leaves
// the record one generation behind; a second such stop would leave readers
// trusting neither. So the whole generation that the directory names is
// recorded before the next build starts.
void CatchUpRecord(const char* directory, unsigned long number) {
    if (number == 0) return;
    char generation[kAliasSequenceSize], recorded[kGenerationNameSize], error[kGenerationSumErrorSize];
    snprintf(generation, sizeof generation, "%lu", number);
    if (ReadPublishedGeneration(directory, recorded, sizeof recorded) && strcmp(recorded, generation) == 0)
        return;
    if (VerifyGenerationSum(directory, generation, error, sizeof error))
        WritePublishedGeneration(directory, generation);
}

// From the locked sequence on: marks it, then builds the next generation.
void BuildLocked(ldapClient& client, const char* directory) {
    AliasSequence sequence = ReadAliasSequence(client);
    if (sequence.stored && !sequence.tooLarge) CatchUpRecord(directory, sequence.number);
    if (sequence.tooLarge || sequence.number == ULONG_MAX) {
        LogPrintf(kLogError, "The Mail Alias Sequence %lu cannot be increased", sequence.number);
        Refuse(kSequenceNotWritten);
        return;
    }
    unsigned long number = sequence.number;
    if (WriteAliasSequence(client, number, true) != 0) {
        Refuse(kSequenceNotWritten);
        return;
    }
    if (number == 0) {
        client.ldapClientUnbind();
        if (!OpenDirectory(client)) {
            Refuse(kNotConnected);
            return;
        }
    }
    BuildGeneration(client, directory, number + 1);
}

void Build() {
    PrintPageHeader("Build Alias Table");
    ldapClient client;
    if (!OpenDirectory(client)) {
        Refuse(kNotConnected);
        return;
    }

    // The alias table directory comes first: it holds the build lock.
    char queueDirectory[kPathBufferSize];
    ReadQueueDirectory(client, queueDirectory, sizeof queueDirectory);
    char directory[kPathBufferSize];
    if (!FormAliasTableDirectory(queueDirectory, directory, sizeof directory)) {
        LogPrintf(kLogError, "Queue directory too long for the Alias Directory: %zu characters",
                  strlen(queueDirectory));
        Refuse(kDirectoryDenied);
        return;
    }
    umask(007);
    if (mkdir(directory, 0770) != 0 && errno == EACCES) {
        Refuse(kDirectoryDenied);
        return;
    }
    // Other mkdir failures (it exists, a missing parent) show at the lock.

    int lock = -1;
    AliasTableLock locked = LockAliasTables(directory, &lock);
    if (locked == AliasTableLock::kBusy) {
        Refuse(kBuildRunning);
    } else if (locked == AliasTableLock::kFailed) {
        Refuse(kImagesNotWritten);
    } else {
        BuildLocked(client, directory);
    }
    UnlockAliasTables(lock);
}

}  // namespace

int BuildAliasTable() {
    Build();
    LogBuildAudit();
    return 0;
}
