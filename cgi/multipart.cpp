// Decoding of a multipart/form-data request body from standard input, with
// file parts written into /tmp under the sent file name. Reads stdin in lines
// of bounded pieces; input that breaks the expected layout stops the decoding
// with the entries decoded so far. Upload names that would leave /tmp, and
// files that cannot be written whole, stop the process.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "cgi/input_errors.h"

namespace {

const char kUploadDirectory[] = "/tmp";
const char kUploadRefused[] = "ldapcgi Error: cannot upload file";
// "Content-Disposition: form-data; name=" and the opening double quote.
constexpr std::size_t kHeaderNameOffset = 38;
const char kFileNameMarker[] = "filename=\"";

// One piece of a line: at most kMultipartLineSize bytes and a terminator.
struct Piece {
    char bytes[kMultipartLineSize + 1];
    std::size_t length;
    bool startsLine;  // the piece is the beginning of a line
};

// Reads the next piece; false at the end of input. `atLineStart` follows
// whether the previous piece ended its line.
bool ReadPiece(Piece& piece, bool& atLineStart) {
    piece.length = ReadBodyLine(piece.bytes, kMultipartLineSize);
    piece.bytes[piece.length] = '\0';
    piece.startsLine = atLineStart;
    atLineStart = piece.length > 0 && piece.bytes[piece.length - 1] == '\n';
    return piece.length > 0;
}

// Where a part's body goes: an open upload file or a growing value.
struct PartSink {
    FILE* file = nullptr;
    char* value = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
};

// Appends bytes to the sink; false when the value cannot grow.
bool Emit(PartSink& sink, const char* bytes, std::size_t n) {
    if (sink.file != nullptr) {
        if (n > 0 && fwrite(bytes, 1, n, sink.file) != n) StopOnInputError(kUploadRefused);
        return true;
    }
    if (sink.length + n + 1 > sink.capacity) {
        std::size_t capacity = sink.capacity == 0 ? kMultipartValueStep : sink.capacity;
        while (sink.length + n + 1 > capacity) capacity += kMultipartValueStep;
        char* grown = static_cast<char*>(realloc(sink.value, capacity));
        if (grown == nullptr) return false;
        sink.value = grown;
        sink.capacity = capacity;
    }
    memcpy(sink.value + sink.length, bytes, n);
    sink.length += n;
    sink.value[sink.length] = '\0';
    return true;
}

// The file name as it will be stored under /tmp: for a Windows user agent
// only the part after the last backslash. Null when the name could reach
// outside /tmp (empty, ".", "..", or holding a "/" or a backslash).
const char* UploadBaseName(const char* sent) {
    const char* agent = getenv("HTTP_USER_AGENT");
    char* lowered = CopyString(agent ? agent : "");
    const bool windows = lowered != nullptr && strstr(LowerCaseInPlace(lowered), "win") != nullptr;
    free(lowered);
    const char* name = sent;
    if (windows) {
        const char* backslash = strrchr(sent, '\\');
        if (backslash) name = backslash + 1;
    }
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return nullptr;
    if (strchr(name, '/') != nullptr || strchr(name, '\\') != nullptr) return nullptr;
    return name;
}

// Creates (or truncates) the upload file. Refuses symbolic links and
// anything that is not a plain file with a single link.
FILE* OpenUploadFile(const char* baseName) {
    const std::size_t size = sizeof kUploadDirectory + 1 + strlen(baseName);
    char* path = static_cast<char*>(malloc(size));
    if (path == nullptr) StopOnInputError(kUploadRefused);
    snprintf(path, size, "%s/%s", kUploadDirectory, baseName);
    int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    free(path);
    if (fd < 0) StopOnInputError(kUploadRefused);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ftruncate(fd, 0) != 0 ||
        fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        StopOnInputError(kUploadRefused);
    }
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        StopOnInputError(kUploadRefused);
    }
    return file;
}

// Writes out, syncs and closes an upload file; any failure stops the process.
void FinishUploadFile(FILE* file) {
    const bool written = fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (fclose(file) != 0 || !written) StopOnInputError(kUploadRefused);
}

// Copies bytes [begin, end) into a new NUL-terminated text.
char* CopyRange(const char* begin, const char* end) {
    const std::size_t n = static_cast<std::size_t>(end - begin);
    char* copy = static_cast<char*>(malloc(n + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, begin, n);
    copy[n] = '\0';
    return copy;
}

enum class PartEnd { Boundary, ClosingBoundary, Broken };

// Reads a part's body up to the boundary line into `sink`, holding back the
// previous piece so that the line break before the boundary is dropped.
PartEnd ReadPartBody(PartSink& sink, const char* boundary, std::size_t boundaryLength, Piece* held,
                     Piece* current, bool& atLineStart) {
    bool holding = false;
    for (;;) {
        if (!ReadPiece(*current, atLineStart)) return PartEnd::Broken;
        const char* found =
            static_cast<const char*>(memmem(current->bytes, current->length, boundary, boundaryLength));
        if (found != nullptr) {
            if (holding && !Emit(sink, held->bytes, held->length >= 2 ? held->length - 2 : 0))
                return PartEnd::Broken;
            const char* after = found + boundaryLength;
            const char* end = current->bytes + current->length;
            const bool closing = end - after >= 2 && after[0] == '-' && after[1] == '-';
            return closing ? PartEnd::ClosingBoundary : PartEnd::Boundary;
        }
        if (holding && !Emit(sink, held->bytes, held->length)) return PartEnd::Broken;
        Piece* swap = held;
        held = current;
        current = swap;
        holding = true;
    }
}

// Decodes the parts; returns the entry count.
int ParseParts(FormEntryList& list, const char* boundary, Piece* header, Piece* spare) {
    const std::size_t boundaryLength = strlen(boundary);
    bool atLineStart = true;
    int count = 0;
    FormEntry* last = nullptr;

    // The opening boundary line, whatever its length.
    do {
        if (!ReadPiece(*header, atLineStart)) return 0;
    } while (!atLineStart);

    while (ReadPiece(*header, atLineStart)) {
        if (!header->startsLine || header->length <= kHeaderNameOffset) break;
        const char* nameBegin = header->bytes + kHeaderNameOffset;
        const char* nameEnd =
            static_cast<const char*>(memchr(nameBegin, '"', header->length - kHeaderNameOffset));
        if (nameEnd == nullptr) break;
        char* name = CopyRange(nameBegin, nameEnd);
        if (name == nullptr) break;

        PartSink sink;
        const char* marker = strstr(header->bytes, kFileNameMarker);
        if (marker != nullptr) {
            const char* fileBegin = marker + strlen(kFileNameMarker);
            const char* fileEnd = strchr(fileBegin, '"');
            char* sent = fileEnd ? CopyRange(fileBegin, fileEnd) : nullptr;
            if (sent == nullptr) {
                free(name);
                break;
            }
            const char* baseName = UploadBaseName(sent);
            if (baseName == nullptr) StopOnInputError(kUploadRefused);
            last = FormEntryListInsertAfter(list, last, name, baseName);
            if (last == nullptr) StopOnInputError(kUploadRefused);
            ++count;
            sink.file = OpenUploadFile(baseName);
            free(sent);
        }

        // The remaining header lines, up to the empty line.
        bool headersEnded = false;
        while (ReadPiece(*spare, atLineStart)) {
            const bool blank = spare->length <= 1 || (spare->bytes[0] == '\r' && spare->bytes[1] == '\n');
            if (spare->startsLine && blank) {
                headersEnded = true;
                break;
            }
        }

        PartEnd end = PartEnd::Broken;
        if (headersEnded) end = ReadPartBody(sink, boundary, boundaryLength, header, spare, atLineStart);
        if (sink.file != nullptr) {
            FinishUploadFile(sink.file);
        } else if (end != PartEnd::Broken) {
            last = FormEntryListInsertAfter(list, last, name, sink.value ? sink.value : "");
            if (last == nullptr)
                end = PartEnd::Broken;
            else
                ++count;
        }
        free(sink.value);
        free(name);
        if (end != PartEnd::Boundary) break;
    }
    return count;
}

}  // namespace

std::size_t ReadBodyLine(char* buffer, std::size_t max) {
    std::size_t n = 0;
    while (n < max) {
        int c = getc_unlocked(stdin);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    return n;
}

int ParseMultipart(FormEntryList& list) {
    if (getenv("CONTENT_LENGTH") == nullptr) return 0;
    const char* contentType = getenv("CONTENT_TYPE");
    const char* marker = contentType ? strstr(contentType, "boundary=") : nullptr;
    FormEntryListClear(list);
    if (marker == nullptr || marker[9] == '\0') return 0;

    Piece* pieces = static_cast<Piece*>(malloc(2 * sizeof(Piece)));
    if (pieces == nullptr) return 0;
    const int count = ParseParts(list, marker + 9, &pieces[0], &pieces[1]);
    free(pieces);
    return count;
}
