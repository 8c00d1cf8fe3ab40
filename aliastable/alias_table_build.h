// The alias table build: takes the build lock in the alias table directory,
// numbers a new generation (marking the alias sequence in the directory as in
// progress), creates its files from the initial images, extracts every alias
// into it and publishes its number only when the whole table and its
// checksums are on disk, recording it in the alias table directory too. The
// files of a generation that is not published are removed; a directory moved
// or replaced during the build ends it unpublished, its files left in the
// folder they went to. Every build, refused or not, ends with one audit line
// saying how it ended.
// Run by the "Build Alias Table" page and by `aliastable build`; the caller
// learns of the steps through an AliasBuildObserver.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_H
#define LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_H

// What the caller is told while the build runs.
class AliasBuildObserver {
public:
    virtual ~AliasBuildObserver() = default;
    // The build ends before generation files are filled: `message` says why.
    virtual void Refused(const char* message) = 0;
    // Generation `number` has its files; its aliases are extracted next.
    virtual void Started(unsigned long number) = 0;
    // A later step of the build, for an administrator watching it.
    virtual void Progress(const char* step) {}
};

enum class AliasBuildResult {
    kPublished,     // the generation's number is stored in the directory and recorded
    kNotPublished,  // nothing changed for the readers; the reason says why
    kUnknown,       // the publication's answer was lost; its files are kept
    kNotRecorded,   // published in the directory, but the folder's record of it not written
};

struct AliasBuildOutcome {
    AliasBuildResult result = AliasBuildResult::kNotPublished;
    unsigned long generation = 0;  // 0: not numbered
    unsigned long records = 0;     // of a published generation
    const char* reason = "";       // why it was not published or recorded (a fixed text)
};

// Runs one build with the settings of XOMTA.INI and the directory's profile
// strings, then logs its audit line. The observer's calls come from the
// process that goes on with the build (Started may detach it).
AliasBuildOutcome RunAliasTableBuild(AliasBuildObserver& observer);

#endif
