// Reading the CGI request: chooses the input by the environment (multipart,
// interactive, POST, GET) and reads the raw encoded text from standard input
// or QUERY_STRING. A POST body holds at most kMaxPostDataLength bytes; the
// interactive line grows as needed. Fatal input errors stop the process here,
// before anything is written to standard output.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "cgi/input_errors.h"

namespace {

// CONTENT_LENGTH as a decimal number: leading blanks and a sign allowed,
// reading stops at the first non-digit, no digits counts as 0. Saturates
// instead of overflowing.
long long ParseContentLength(const char* text) {
    while (isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value < LLONG_MAX / 20) value = value * 10 + (*text - '0');
    return negative ? -value : value;
}

}  // namespace

char* ReadPostBody() {
    const char* lengthText = getenv("CONTENT_LENGTH");
    if (lengthText == nullptr) StopOnInputError("caught by ldapcgi: CONTENT_LENGTH is null");
    const long long length = ParseContentLength(lengthText);
    if (length < 0 || length > static_cast<long long>(kMaxPostDataLength))
        StopOnInputError("caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH");

    const std::size_t size = static_cast<std::size_t>(length);
    char* body = static_cast<char*>(malloc(size + 1));
    if (body == nullptr) StopOnInputError("caught by ldapcgi: out of memory");
    std::size_t got = 0;
    while (got < size) {
        std::size_t n = fread(body + got, 1, size - got, stdin);
        if (n == 0) break;
        got += n;
    }
    if (got < size) StopOnInputError("caught by ldapcgi: input length < CONTENT_LENGTH");
    body[size] = '\0';
    return body;
}

char* ReadQueryString() {
    const char* query = getenv("QUERY_STRING");
    if (query == nullptr) StopOnInputError("caught by ldapcgi: QUERY_STRING is null");
    char* copy = CopyString(query);
    if (copy == nullptr) StopOnInputError("caught by ldapcgi: out of memory");
    return copy;
}

char* ReadInteractiveInput() {
    fputs("\n--- ldapcgi Interactive Mode ---\n", stderr);
    fputs("Enter CGI input string.  Remember to encode appropriate ", stderr);
    fputs("characters.\nPress ENTER when done:\n\n", stderr);

    std::size_t capacity = kInteractiveInputStart;
    std::size_t length = 0;
    char* text = static_cast<char*>(malloc(capacity));
    if (text == nullptr) StopOnInputError("caught by ldapcgi: out of memory");
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
        if (length + 1 >= capacity) {  // keep room for the terminator
            char* grown = static_cast<char*>(realloc(text, capacity * 2));
            if (grown == nullptr) StopOnInputError("caught by ldapcgi: out of memory");
            text = grown;
            capacity *= 2;
        }
        text[length++] = static_cast<char>(c);
    }
    text[length] = '\0';

    fprintf(stderr, "\n Input string: %s\nString length: %d\n", text, static_cast<int>(length));
    fputs("--- end ldapcgi Interactive Mode ---\n\n", stderr);
    return text;
}

int ReadFormEntries(FormEntryList& list) {
    const char* contentType = getenv("CONTENT_TYPE");
    if (contentType != nullptr && strstr(contentType, "multipart/form-data") != nullptr)
        return ParseMultipart(list);

    const char* method = getenv("REQUEST_METHOD");
    char* raw;
    if (method == nullptr)
        raw = ReadInteractiveInput();
    else if (strcmp(method, "POST") == 0)
        raw = ReadPostBody();
    else if (strcmp(method, "GET") == 0)
        raw = ReadQueryString();
    else
        StopOnInputError("caught by ldapcgi: REQUEST_METHOD invalid");
    const int count = ParseUrlEncoded(list, raw);  // the entries hold their own copies
    free(raw);
    return count;
}
