// Decoding of a multipart/form-data request body from standard input. Reads
// exactly CONTENT_LENGTH bytes at most (bounded by kMaxMultipartDataLength),
// in lines of bounded pieces. A delimiter counts only at the start of a line;
// part headers are read by name and parameter. Input that breaks the layout
// stops the decoding with the entries decoded so far; a NUL byte in a name or
// value makes the request malformed. A body holds at most kMaxMultipartParts
// parts, and a field that is not a file at most kMaxPostDataLength bytes, as
// a url-encoded body does. File parts go into the request's upload folder;
// names that could leave that folder or hide in it are refused.
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "cgi/input_errors.h"
#include "cgi/request_body.h"
#include "cgi/request_uploads.h"

namespace {

const char kUploadRefused[] = "ldapcgi Error: cannot upload file";
const char kFieldTooLong[] = "caught by ldapcgi: multipart field > MAX_POST_DATA_LENGTH";

// Standard input, bounded by the declared length.
struct BodyReader {
    std::size_t left;  // bytes of the body not read yet
    bool shortInput;   // the input ended before the declared length
};

// One piece of a line: at most kMultipartLineSize bytes and a terminator.
struct Piece {
    char bytes[kMultipartLineSize + 1];
    std::size_t length;
    bool startsLine;  // the piece is the beginning of a line
    bool endsLine;    // the piece ends with a line feed
};

// Reads the next piece; false at the end of the body. `atLineStart` follows
// whether the previous piece ended its line.
bool ReadPiece(BodyReader& reader, Piece& piece, bool& atLineStart) {
    std::size_t n = 0;
    while (n < kMultipartLineSize && reader.left > 0) {
        int c = getc_unlocked(stdin);
        if (c == EOF) {
            reader.shortInput = true;
            reader.left = 0;
            break;
        }
        --reader.left;
        piece.bytes[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    piece.length = n;
    piece.bytes[n] = '\0';
    piece.startsLine = atLineStart;
    piece.endsLine = n > 0 && piece.bytes[n - 1] == '\n';
    atLineStart = piece.endsLine;
    return n > 0;
}

enum class Delimiter { kNone, kNext, kClose };

// Whether a piece is a delimiter line: at the start of a line, "--" and the
// boundary, "--" for the last one, blanks, then the line end (or the end).
Delimiter DelimiterOf(const Piece& piece, const std::string& boundary) {
    if (!piece.startsLine || piece.length < 2 + boundary.size()) return Delimiter::kNone;
    const char* p = piece.bytes;
    if (p[0] != '-' || p[1] != '-' || memcmp(p + 2, boundary.data(), boundary.size()) != 0)
        return Delimiter::kNone;
    const char* rest = p + 2 + boundary.size();
    const char* end = p + piece.length;
    Delimiter kind = Delimiter::kNext;
    if (end - rest >= 2 && rest[0] == '-' && rest[1] == '-') {
        kind = Delimiter::kClose;
        rest += 2;
    }
    while (rest < end && (*rest == ' ' || *rest == '\t')) ++rest;
    if (rest < end && *rest == '\r') ++rest;
    if (rest < end && *rest == '\n') ++rest;
    // A piece cut at its full size is not the whole line.
    if (rest != end || (!piece.endsLine && piece.length == kMultipartLineSize)) return Delimiter::kNone;
    return kind;
}

// "win" only as the Windows platform token of the user agent: a word that
// is "windows", or "win" followed by digits only ("Win64"), not "Darwin".
bool IsWindowsAgent(const char* agent) {
    if (agent == nullptr) return false;
    const char* p = agent;
    while (*p != '\0') {
        while (*p != '\0' && !isalnum(static_cast<unsigned char>(*p))) ++p;
        const char* word = p;
        while (isalnum(static_cast<unsigned char>(*p))) ++p;
        const std::size_t length = static_cast<std::size_t>(p - word);
        if (length == 7 && strncasecmp(word, "windows", 7) == 0) return true;
        if (length >= 3 && strncasecmp(word, "win", 3) == 0 && strspn(word + 3, "0123456789") == length - 3)
            return true;
    }
    return false;
}

// The file name as it will be stored: for a Windows user agent only the part
// after the last backslash. Null when the name is empty, begins with "." (so
// also "." and ".."), or holds "/", a backslash or a control character.
const char* UploadBaseName(const std::string& sent) {
    const char* name = sent.c_str();
    if (IsWindowsAgent(getenv("HTTP_USER_AGENT"))) {
        const char* backslash = strrchr(name, '\\');
        if (backslash != nullptr) name = backslash + 1;
    }
    if (name[0] == '\0' || name[0] == '.') return nullptr;
    for (const char* p = name; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return nullptr;
    }
    return name;
}

// Writes out, syncs and closes an upload file; false on any failure.
bool FinishUploadFile(FILE* file) {
    const bool written = fflush(file) == 0 && fsync(fileno(file)) == 0;
    return fclose(file) == 0 && written;
}

// Where a part's body goes: an open upload file or a growing value.
struct PartSink {
    FILE* file = nullptr;
    std::string value;
    bool failed = false;   // an upload write failed
    bool tooLong = false;  // the value passed kMaxPostDataLength bytes
};

void Emit(PartSink& sink, const char* bytes, std::size_t n) {
    if (n == 0 || sink.tooLong) return;
    if (sink.file == nullptr) {
        if (n > kMaxPostDataLength - sink.value.size())
            sink.tooLong = true;
        else
            sink.value.append(bytes, n);
    } else if (fwrite(bytes, 1, n, sink.file) != n) {
        sink.failed = true;
    }
}

// Reads a part's body up to the next delimiter line into `sink`. The line
// break before the delimiter belongs to the delimiter, so the break at the
// end of each piece (CR LF, LF, or a CR that a cut piece ends with) is held
// back until the next piece shows whether it is one.
Delimiter ReadPartBody(BodyReader& reader, PartSink& sink, const std::string& boundary, Piece& piece,
                       bool& atLineStart) {
    char held[2];
    std::size_t heldLength = 0;
    while (ReadPiece(reader, piece, atLineStart)) {
        const Delimiter delimiter = DelimiterOf(piece, boundary);
        if (delimiter != Delimiter::kNone) return delimiter;
        // The bytes are held + piece; keep their trailing break back.
        std::size_t tail = 0;
        const char last = piece.bytes[piece.length - 1];
        if (last == '\n') {
            const char before = piece.length >= 2 ? piece.bytes[piece.length - 2]
                                                  : (heldLength > 0 ? held[heldLength - 1] : '\0');
            tail = before == '\r' ? 2 : 1;
        } else if (last == '\r') {
            tail = 1;
        }
        // Of the piece, this much goes out now; the rest joins the held bytes.
        const std::size_t fromPiece = tail <= piece.length ? piece.length - tail : 0;
        const std::size_t fromHeld = heldLength - (tail > piece.length ? tail - piece.length : 0);
        Emit(sink, held, fromHeld);
        Emit(sink, piece.bytes, fromPiece);
        char next[2];
        std::size_t nextLength = 0;
        for (std::size_t i = fromHeld; i < heldLength; ++i) next[nextLength++] = held[i];
        for (std::size_t i = fromPiece; i < piece.length; ++i) next[nextLength++] = piece.bytes[i];
        memcpy(held, next, nextLength);
        heldLength = nextLength;
    }
    return Delimiter::kNone;
}

// Reads one whole header line (line break removed) into `line`; false at the
// end of the body or for a line longer than kMultipartLineSize.
bool ReadHeaderLine(BodyReader& reader, Piece& piece, bool& atLineStart, std::string* line) {
    if (!ReadPiece(reader, piece, atLineStart) || !piece.endsLine) return false;
    line->assign(piece.bytes, piece.length - 1);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The parameters "name" and "filename" of a Content-Disposition value
// (form-data; name="a"; filename="b"): names compared without regard to
// case, values quoted (up to the next double quote) or bare tokens.
struct Disposition {
    bool hasName = false, hasFileName = false;
    std::string name, fileName;
};

bool ParseDisposition(const std::string& value, Disposition* out) {
    std::size_t i = value.find(';');
    if (i == std::string::npos) return false;
    while (i < value.size()) {
        ++i;  // past ";"
        while (i < value.size() && IsBlank(value[i])) ++i;
        const std::size_t nameBegin = i;
        while (i < value.size() && value[i] != '=' && value[i] != ';' && !IsBlank(value[i])) ++i;
        const std::string parameter = value.substr(nameBegin, i - nameBegin);
        while (i < value.size() && IsBlank(value[i])) ++i;
        if (i >= value.size() || value[i] != '=') {
            i = value.find(';', i);
            if (i == std::string::npos) break;
            continue;
        }
        ++i;  // past "="
        while (i < value.size() && IsBlank(value[i])) ++i;
        std::string text;
        if (i < value.size() && value[i] == '"') {
            const std::size_t close = value.find('"', i + 1);
            if (close == std::string::npos) return false;
            text = value.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const std::size_t begin = i;
            while (i < value.size() && value[i] != ';' && !IsBlank(value[i])) ++i;
            text = value.substr(begin, i - begin);
        }
        if (strcasecmp(parameter.c_str(), "name") == 0 && !out->hasName) {
            out->hasName = true;
            out->name = text;
        } else if (strcasecmp(parameter.c_str(), "filename") == 0 && !out->hasFileName) {
            out->hasFileName = true;
            out->fileName = text;
        }
        i = value.find(';', i);
        if (i == std::string::npos) break;
    }
    return out->hasName;
}

enum class HeadersResult { kDone, kBroken, kMalformed };

// Reads a part's header lines up to the empty line and takes the
// Content-Disposition (header name compared without regard to case).
HeadersResult ReadPartHeaders(BodyReader& reader, Piece& piece, bool& atLineStart, Disposition* out) {
    bool found = false;
    std::string line;
    for (;;) {
        if (!ReadHeaderLine(reader, piece, atLineStart, &line)) return HeadersResult::kBroken;
        if (line.empty()) break;
        if (line.find('\0') != std::string::npos) return HeadersResult::kMalformed;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || found) continue;
        std::string name = line.substr(0, colon);
        while (!name.empty() && IsBlank(name.back())) name.pop_back();
        if (strcasecmp(name.c_str(), "Content-Disposition") != 0) continue;
        if (!ParseDisposition(line.substr(colon + 1), out)) return HeadersResult::kBroken;
        found = true;
    }
    return found ? HeadersResult::kDone : HeadersResult::kBroken;
}

// The boundary parameter of CONTENT_TYPE (quoted or bare); empty when absent
// or longer than kMaxMultipartBoundaryLength.
std::string BoundaryOf(const char* contentType) {
    std::string value = contentType == nullptr ? "" : contentType;
    for (std::size_t at = value.find(';'); at != std::string::npos; at = value.find(';', at + 1)) {
        std::size_t i = at + 1;
        while (i < value.size() && IsBlank(value[i])) ++i;
        if (strncasecmp(value.c_str() + i, "boundary=", 9) != 0) continue;
        i += 9;
        std::string boundary;
        if (i < value.size() && value[i] == '"') {
            const std::size_t close = value.find('"', i + 1);
            if (close == std::string::npos) return "";
            boundary = value.substr(i + 1, close - i - 1);
        } else {
            const std::size_t end = value.find_first_of("; \t", i);
            boundary = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
        }
        return boundary.size() <= kMaxMultipartBoundaryLength ? boundary : "";
    }
    return "";
}

// Decodes the parts; returns the entry count, kFormMalformed or kFormInputFatal.
int ParseParts(FormEntryList& list, BodyReader& reader, const std::string& boundary, Piece& piece) {
    bool atLineStart = true;
    int count = 0;
    FormEntry* last = nullptr;
    std::size_t parts = 0;

    // Anything before the first delimiter is a preamble.
    Delimiter delimiter = Delimiter::kNone;
    while (delimiter == Delimiter::kNone && ReadPiece(reader, piece, atLineStart))
        delimiter = DelimiterOf(piece, boundary);

    while (delimiter == Delimiter::kNext) {
        if (++parts > kMaxMultipartParts)
            return ReportInputError("caught by ldapcgi: multipart parts > MAX_MULTIPART_PARTS");
        Disposition disposition;
        const HeadersResult headers = ReadPartHeaders(reader, piece, atLineStart, &disposition);
        if (headers == HeadersResult::kMalformed) return kFormMalformed;
        if (headers == HeadersResult::kBroken) break;

        PartSink sink;
        // A file field left empty in the browser (filename="") has no file to
        // make: its entry holds the part's (empty) body, as a plain field's.
        const char* baseName = nullptr;
        if (disposition.hasFileName && !disposition.fileName.empty()) {
            baseName = UploadBaseName(disposition.fileName);
            if (baseName == nullptr) return ReportInputError(kUploadRefused);
            sink.file = CreateRequestUpload(baseName);
            if (sink.file == nullptr) return ReportInputError(kUploadRefused);
        }
        delimiter = ReadPartBody(reader, sink, boundary, piece, atLineStart);
        if (sink.tooLong) return ReportInputError(kFieldTooLong);
        if (sink.file != nullptr) {
            if (!FinishUploadFile(sink.file) || sink.failed) return ReportInputError(kUploadRefused);
            // A file whose part never ended is cut: like a cut value, it has no entry.
            if (delimiter == Delimiter::kNone) break;
            last = FormEntryListInsertAfter(list, last, disposition.name.c_str(), baseName);
            if (last == nullptr) return ReportInputError(kUploadRefused);
            ++count;
        } else if (delimiter != Delimiter::kNone) {
            if (sink.value.find('\0') != std::string::npos) return kFormMalformed;
            last = FormEntryListInsertAfter(list, last, disposition.name.c_str(), sink.value.c_str());
            if (last == nullptr) break;
            ++count;
        }
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
    FormEntryListClear(list);
    RemoveRequestUploads();  // those of a request decoded before in this process
    const char* lengthText = getenv("CONTENT_LENGTH");
    if (lengthText == nullptr) return ReportInputError("caught by ldapcgi: CONTENT_LENGTH is null");
    const long long length = ParseContentLength(lengthText);
    if (length < 0 || length > static_cast<long long>(kMaxMultipartDataLength))
        return ReportInputError("caught by ldapcgi: CONTENT_LENGTH > MAX_MULTIPART_DATA_LENGTH");
    const std::string boundary = BoundaryOf(getenv("CONTENT_TYPE"));
    if (boundary.empty()) return 0;

    Piece* piece = static_cast<Piece*>(malloc(sizeof(Piece)));
    if (piece == nullptr) return ReportInputError("caught by ldapcgi: out of memory");
    BodyReader reader = {static_cast<std::size_t>(length), false};
    int count = ParseParts(list, reader, boundary, *piece);
    // The rest of the declared body (an epilogue, or what followed a broken
    // part) is read too, so that a body shorter than declared never passes.
    bool atLineStart = true;
    while (count >= 0 && ReadPiece(reader, *piece, atLineStart)) {}
    free(piece);
    if (count >= 0 && reader.shortInput)
        return ReportInputError("caught by ldapcgi: input length < CONTENT_LENGTH");
    return count;
}
