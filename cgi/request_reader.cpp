// Reading the CGI request: chooses the input by the environment (multipart,
// interactive, POST, GET) and reads the raw encoded text from standard input
// or QUERY_STRING. A POST body holds at most kMaxPostDataLength bytes; the
// interactive line grows as needed. Fatal input errors are reported here on
// standard error and returned, before anything is written to standard output.
#include <strings.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"
#include "base/log.h"
#include "cgi/form_entries.h"
#include "cgi/input_errors.h"
#include "cgi/request_body.h"

namespace {

// Null after the diagnostic of a fatal input error.
char* Fail(const char* message) {
    ReportInputError(message);
    return nullptr;
}

}  // namespace

long long ParseContentLength(const char* text) {
    while (isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value < LLONG_MAX / 20) value = value * 10 + (*text - '0');
    return negative ? -value : value;
}

BodyType BodyTypeOf(const char* contentType) {
    if (contentType == nullptr) return BodyType::kNone;
    // The media type: up to the parameters, blanks around it ignored.
    const char* begin = contentType;
    while (*begin == ' ' || *begin == '\t') ++begin;
    const char* end = begin + strcspn(begin, ";");
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length == 0 && *end == '\0') return BodyType::kNone;  // set, but empty: as if absent
    auto is = [&](const char* type) {
        return strlen(type) == length && strncasecmp(begin, type, length) == 0;
    };
    if (is("application/x-www-form-urlencoded")) return BodyType::kUrlEncoded;
    if (is("multipart/form-data")) return BodyType::kMultipart;
    return BodyType::kOther;
}

namespace {

// The body of CONTENT_LENGTH bytes and its length, or null (diagnostic written).
char* ReadPostBytes(std::size_t* length) {
    const char* lengthText = getenv("CONTENT_LENGTH");
    if (lengthText == nullptr) return Fail("caught by ldapcgi: CONTENT_LENGTH is null");
    const long long declared = ParseContentLength(lengthText);
    if (declared < 0 || declared > static_cast<long long>(kMaxPostDataLength))
        return Fail("caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH");

    const std::size_t size = static_cast<std::size_t>(declared);
    char* body = static_cast<char*>(malloc(size + 1));
    if (body == nullptr) return Fail("caught by ldapcgi: out of memory");
    std::size_t got = 0;
    while (got < size) {
        std::size_t n = fread(body + got, 1, size - got, stdin);
        if (n == 0) break;
        got += n;
    }
    if (got < size) {
        free(body);
        return Fail("caught by ldapcgi: input length < CONTENT_LENGTH");
    }
    body[size] = '\0';
    *length = size;
    return body;
}

// One line typed by hand and its length, or null (diagnostic written).
char* ReadInteractiveBytes(std::size_t* length) {
    fputs("\n--- ldapcgi Interactive Mode ---\n", stderr);
    fputs("Enter CGI input string.  Remember to encode appropriate ", stderr);
    fputs("characters.\nPress ENTER when done:\n\n", stderr);

    std::size_t capacity = kInteractiveInputStart;
    std::size_t used = 0;
    char* text = static_cast<char*>(malloc(capacity));
    if (text == nullptr) return Fail("caught by ldapcgi: out of memory");
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
        if (used + 1 >= capacity) {  // keep room for the terminator
            char* grown = static_cast<char*>(realloc(text, capacity * 2));
            if (grown == nullptr) {
                free(text);
                return Fail("caught by ldapcgi: out of memory");
            }
            text = grown;
            capacity *= 2;
        }
        text[used++] = static_cast<char>(c);
    }
    text[used] = '\0';

    fprintf(stderr, "\n Input string: %s\nString length: %d\n", text, static_cast<int>(used));
    fputs("--- end ldapcgi Interactive Mode ---\n\n", stderr);
    *length = used;
    return text;
}

}  // namespace

char* ReadPostBody() {
    std::size_t length = 0;
    return ReadPostBytes(&length);
}

char* ReadQueryString() {
    const char* query = getenv("QUERY_STRING");
    if (query == nullptr) return Fail("caught by ldapcgi: QUERY_STRING is null");
    char* copy = CopyString(query);
    if (copy == nullptr) return Fail("caught by ldapcgi: out of memory");
    return copy;
}

char* ReadInteractiveInput() {
    std::size_t length = 0;
    return ReadInteractiveBytes(&length);
}

int ReadFormEntries(FormEntryList& list) {
    const BodyType type = BodyTypeOf(getenv("CONTENT_TYPE"));
    if (type == BodyType::kMultipart) return ParseMultipart(list);

    const char* method = getenv("REQUEST_METHOD");
    char* raw;
    std::size_t length = 0;
    if (method == nullptr) {
        raw = ReadInteractiveBytes(&length);
    } else if (strcmp(method, "POST") == 0) {
        // A body of another type (text/plain above all) is no form of ours:
        // a cross-site form could carry a whole request in one field name.
        if (type == BodyType::kOther) {
            LogPrintf(kLogError, "Request refused: a POST body whose CONTENT_TYPE is no form");
            return kFormMalformed;
        }
        raw = ReadPostBytes(&length);
    } else if (strcmp(method, "GET") == 0) {
        raw = ReadQueryString();
        if (raw != nullptr) length = strlen(raw);
    } else {
        return ReportInputError("caught by ldapcgi: REQUEST_METHOD invalid");
    }
    if (raw == nullptr) return kFormInputFatal;
    // Whatever followed a NUL byte would be lost unseen.
    const int count = memchr(raw, '\0', length) != nullptr ? kFormMalformed : ParseUrlEncoded(list, raw);
    free(raw);
    return count;
}
