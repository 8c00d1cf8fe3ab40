// The alias table build's engine: the lock, the numbering, the generation's
// files, the extraction, the publication and the audit line. One build at a
// time: the build lock in the alias table directory is held from before the
// sequence is read until after it is published. The first record that cannot
// be written ends the build. A signal that ends the process once the number
// is published (SIGTERM, SIGINT, SIGHUP) waits for the record and the audit
// line. Touches the directory and the alias table directory; prints nothing
// (the observer does).
#include "aliastable/alias_table_build.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
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
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/entry_stream.h"
#include "directory/owners.h"
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
const char kPublicationUnknown[] = "whether it was published is not known";
const char kFolderReplaced[] = "the alias table folder was moved or replaced during the build";
const char kNotRecorded[] = "the published generation could not be recorded in the alias table folder";

// One build: its observer and how it ended so far.
struct Build {
    AliasBuildObserver& observer;
    AliasBuildOutcome outcome;
    int lock = -1;  // the build lock, once taken
    // From the publication on, the signals that end a build wait for its
    // record and its audit line.
    std::optional<TerminationHeld> publishing = std::nullopt;

    void NotPublished(const char* reason) {
        outcome.result = AliasBuildResult::kNotPublished;
        outcome.reason = reason;
    }
    // Ends the build before its generation is filled.
    void Refuse(const char* message) {
        NotPublished(message);
        observer.Refused(message);
    }
};

void LogBuildAudit(const AliasBuildOutcome& outcome) {
    std::string what = "alias-table-build";
    if (outcome.generation != 0) what += " generation=" + std::to_string(outcome.generation);
    std::string result;
    if (outcome.result == AliasBuildResult::kPublished)
        result = "published (" + std::to_string(outcome.records) + " records)";
    else if (outcome.result == AliasBuildResult::kNotRecorded)
        result = "published-not-recorded (" + std::to_string(outcome.records) + " records; " +
                 outcome.reason + ")";
    else if (outcome.result == AliasBuildResult::kUnknown)
        result = std::string("unknown (") + outcome.reason + ")";
    else
        result = outcome.reason[0] ? std::string("not-published (") + outcome.reason + ")" : "not-published";
    LogAudit(what, result);
}

// The queue directory: the directory's profile string, else XOMTA.INI; false
// when the directory did not answer the read.
bool ReadQueueDirectory(ldapClient& client, char* directory, std::size_t size) {
    int status = 0;
    OwnedText stored(client.ldapGetProfileString("mqapi", "mqlocallinuxrootdir", &status));
    if (status != 0) return false;  // a failed read is not "none stored": the folder may be elsewhere
    if (stored != nullptr) {
        snprintf(directory, size, "%s", stored.get());
        return true;
    }
    GetPrivateProfileString("Gateway", "QueueDirectory", "", directory, static_cast<int>(size - 1),
                            "XOMTA.INI");
    return true;
}

// After a write of the new number that got no answer: whether it is stored
// all the same, read again on a new session. Reading the old number proves
// nothing: the write may still be applied after the read.
bool ReadBackPublished(ldapClient& client, unsigned long number) {
    client.ldapClientUnbind();
    if (!OpenDirectory(client)) return false;
    AliasSequence sequence = ReadAliasSequence(client);
    return !sequence.unread && sequence.stored && sequence.number == number && !sequence.marked;
}

// Whether the alias table folder is still the one locked. When not, the build
// ends unpublished and leaves its files where they went: the path now leads
// to another folder, whose files are not this build's.
bool FolderKept(Build& build, const char* directory, const char* generation, unsigned long number) {
    if (AliasTablesStillLocked(directory, build.lock)) return true;
    build.NotPublished(kFolderReplaced);
    LogPrintf(kLogError, "Mail Alias Table %s not published, the Mail Alias Sequence stays at %lu",
              generation, number - 1);
    return false;
}

// Fills the new generation and publishes it. False when its files are to go
// (not published).
bool ExtractAndPublish(Build& build, ldapClient& client, dbMailAlias& relation, const char* directory,
                       const char* generation, unsigned long number) {
    build.observer.Progress("extracting the aliases");
    LogBeginBatch();  // one progress line per alias: written in batches
    ExtractResult extracted = ExtractAliases(client, relation);
    LogEndBatch();
    if (extracted == ExtractResult::kWriteFailed) {  // its one line is logged
        build.NotPublished(kRecordNotWritten);
        return false;
    }
    if (extracted != ExtractResult::kExtracted) {
        build.NotPublished(kNotExtracted);
        LogPrintf(kLogError, "Mail Alias Table %s not published, the Mail Alias Sequence stays at %lu",
                  generation, number - 1);
        return false;
    }
    unsigned long count = static_cast<unsigned long>(relation.recordCount());
    build.observer.Progress("writing the table files");
    // The preprocessor may open the generation the moment its number is
    // published: every record and the index must be on disk before (close
    // writes what is buffered and fsyncs the files and their folder).
    dbError closed = relation.close();
    if (closed != DB_OK) {
        build.NotPublished(kNotWritten);
        dbData text = dbErrStr(closed);
        LogPrintf(kLogError, "Error when writing the Mail Alias Table %s, %s; table not published",
                  generation, text.text());
        return false;
    }
    if (!FolderKept(build, directory, generation, number)) return true;
    // The checksums let a reader see damage to any of the three files.
    if (!WriteGenerationSum(directory, generation, relation.keysIgnoreCase())) {
        build.NotPublished(kSumNotWritten);
        LogPrintf(kLogError, "Mail Alias Table %s not published, the Mail Alias Sequence stays at %lu",
                  generation, number - 1);
        return false;
    }
    build.observer.Progress("publishing the generation");
    if (!FolderKept(build, directory, generation, number)) return true;
    build.publishing.emplace();
    const int status = WriteAliasSequence(client, number, false);
    if (status != 0) {
        LogMessage(kLogError, APPLICATION_NAME, kSequenceNotWritten);
        build.NotPublished(kSequenceNotWritten);
        if (!IsConnectionFailure(status)) return false;  // refused: the server's own word
        if (!ReadBackPublished(client, number)) {
            build.outcome.result = AliasBuildResult::kUnknown;
            build.outcome.reason = kPublicationUnknown;
            // The preprocessor may be reading it: the files stay, unrecorded.
            LogPrintf(kLogError, "Mail Alias Table %s kept: whether it was published is not known",
                      generation);
            return true;
        }
    }
    build.outcome.records = count;
    // Published: the files stay even when the record cannot follow.
    const bool recorded =
        AliasTablesStillLocked(directory, build.lock) && WritePublishedGeneration(directory, generation);
    build.outcome.result = recorded ? AliasBuildResult::kPublished : AliasBuildResult::kNotRecorded;
    build.outcome.reason = recorded ? "" : kNotRecorded;
    LogPrintf(kLogProgress, "Written %lu records to the New Alias File %s.db", count, generation);
    return true;
}

// Steps from the images to the publication, with the build lock held. The
// files of a generation that is not published are removed again (not those
// left in a folder moved away meanwhile).
void BuildGeneration(Build& build, ldapClient& client, const char* directory, unsigned long number) {
    build.outcome.generation = number;
    char generation[kAliasSequenceSize];
    snprintf(generation, sizeof generation, "%lu", number);
    char fileName[kAliasSequenceSize + 8];

    // Files are written and removed by path: only while the path still leads
    // to the folder locked, never into one that replaced it. The page, not
    // yet begun, ends with the refusal.
    if (!FolderKept(build, directory, generation, number)) {
        build.observer.Refused(kImagesNotWritten);
        return;
    }
    // All three are attempted, each failure logged.
    bool written = true;
    snprintf(fileName, sizeof fileName, "%s.id0", generation);
    written = WriteArray(directory, fileName, kAliasIndexImage, kAliasIndexImageSize) && written;
    snprintf(fileName, sizeof fileName, "%s.str", generation);
    written = WriteArray(directory, fileName, kAliasStringImage, kAliasStringImageSize) && written;
    snprintf(fileName, sizeof fileName, "%s.db", generation);
    written = WriteArray(directory, fileName, kAliasRelationImage, kAliasRelationImageSize) && written;
    if (!written) {
        if (AliasTablesStillLocked(directory, build.lock)) RemoveGeneration(directory, generation);
        build.Refuse(kImagesNotWritten);
        return;
    }

    bool published = false;
    {
        recordBase database;
        dbMailAlias relation(&database, directory, generation);
        if (relation.status != DB_OK) {
            build.Refuse(kRelationNotOpened);
        } else if (!FolderKept(build, directory, generation, number)) {
            build.observer.Refused(kRelationNotOpened);  // the files opened may be another folder's
            return;
        } else {
            build.observer.Started(number);
            published = ExtractAndPublish(build, client, relation, directory, generation, number);
        }
    }  // the relation's files are closed here
    if (!published && AliasTablesStillLocked(directory, build.lock)) RemoveGeneration(directory, generation);
}

// A build stopped after publishing its number and before recording it leaves
// the record one generation behind; a second such stop would leave readers
// trusting neither. So the whole generation that the directory names is
// recorded before the next build starts.
// The record only moves forward.
bool GenerationIsWhole(const char* directory, unsigned long number) {
    char generation[kAliasSequenceSize], error[kGenerationSumErrorSize];
    snprintf(generation, sizeof generation, "%lu", number);
    return VerifyGenerationSum(directory, generation, error, sizeof error);
}

void CatchUpRecord(const char* directory, unsigned long number, unsigned long recorded) {
    if (number <= recorded || !GenerationIsWhole(directory, number)) return;
    char generation[kAliasSequenceSize];
    snprintf(generation, sizeof generation, "%lu", number);
    WritePublishedGeneration(directory, generation);
}

// The generation the folder records as published; 0 for none.
unsigned long RecordedGeneration(const char* directory) {
    char recorded[kGenerationNameSize];
    if (!ReadPublishedGeneration(directory, recorded, sizeof recorded)) return 0;
    const AliasSequence record = ParseAliasSequence(recorded);
    return record.tooLarge ? 0 : record.number;
}

// From the locked sequence on: marks it, then builds the next generation.
void BuildLocked(Build& build, ldapClient& client, const char* directory) {
    AliasSequence sequence = ReadAliasSequence(client);
    if (sequence.unread) {  // written over, a number stored meanwhile would be lost
        build.Refuse(kNotConnected);
        return;
    }
    unsigned long recorded = RecordedGeneration(directory);
    // A record ahead of the directory counts only when its generation is
    // whole: a damaged one would have the directory name a missing table.
    if (recorded > sequence.number && !GenerationIsWhole(directory, recorded)) {
        LogPrintf(kLogError, "The alias table record names generation %lu, which is not whole; ignored",
                  recorded);
        recorded = 0;
    }
    if (sequence.stored && !sequence.tooLarge) CatchUpRecord(directory, sequence.number, recorded);
    if (sequence.tooLarge || sequence.number == ULONG_MAX) {
        LogPrintf(kLogError, "The Mail Alias Sequence %lu cannot be increased", sequence.number);
        build.Refuse(kSequenceNotWritten);
        return;
    }
    // A sequence behind this folder's record (a directory restored from a
    // backup, or another mail server's build that published an older number
    // over it): the next generation comes after the recorded one, never over
    // a generation that readers may have open.
    const unsigned long number =
        recorded > sequence.number && recorded < ULONG_MAX ? recorded : sequence.number;
    if (WriteAliasSequence(client, number, true) != 0) {
        build.Refuse(kSequenceNotWritten);
        return;
    }
    if (number == 0) {
        client.ldapClientUnbind();
        if (!OpenDirectory(client)) {
            build.Refuse(kNotConnected);
            return;
        }
    }
    BuildGeneration(build, client, directory, number + 1);
}

void RunBuild(Build& build) {
    ldapClient client;
    if (!OpenDirectory(client)) {
        build.Refuse(kNotConnected);
        return;
    }

    // The alias table directory comes first: it holds the build lock.
    char queueDirectory[kPathBufferSize];
    if (!ReadQueueDirectory(client, queueDirectory, sizeof queueDirectory)) {
        build.Refuse(kNotConnected);
        return;
    }
    char directory[kPathBufferSize];
    if (!FormAliasTableDirectory(queueDirectory, directory, sizeof directory)) {
        LogPrintf(kLogError, "Queue directory too long for the Alias Directory: %zu characters",
                  strlen(queueDirectory));
        build.Refuse(kDirectoryDenied);
        return;
    }
    umask(007);
    if (mkdir(directory, 0770) != 0 && errno == EACCES) {
        build.Refuse(kDirectoryDenied);
        return;
    }
    // Other mkdir failures (it exists, a missing parent) show at the lock.

    int lock = -1;
    AliasTableLock locked = LockAliasTables(directory, &lock);
    if (locked == AliasTableLock::kBusy) {
        build.Refuse(kBuildRunning);
    } else if (locked == AliasTableLock::kFailed) {
        build.Refuse(kImagesNotWritten);
    } else {
        build.lock = lock;
        BuildLocked(build, client, directory);
    }
    UnlockAliasTables(lock);
}

}  // namespace

AliasBuildOutcome RunAliasTableBuild(AliasBuildObserver& observer) {
    // It changes the directory, run from the page or the tool: a server that
    // took the connection and did not answer is not passed over for the next,
    // whose copy of the sequence may lag behind.
    SetChangingRequest(true);
    Build build{observer, {}};
    RunBuild(build);
    LogBuildAudit(build.outcome);
    return build.outcome;
}
