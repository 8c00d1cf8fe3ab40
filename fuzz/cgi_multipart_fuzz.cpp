// Fuzz target: the multipart/form-data decoder, uploads included. Byte 0 of
// the input holds flags: bit 0 a Windows user agent, bit 1 the round trip
// below. Otherwise the input is the boundary (up to the first line feed, at
// most 70 bytes) and then the request body. Any body decodes to as many
// entries as reported. In the round trip the rest, split at byte 1, gives
// parts (field name without quotes, line breaks or "=", content; every third
// part a file upload) laid out as a browser does; they must decode back to
// the same entries, each upload's file holding its content, unless they pass
// the bounds of parts and field sizes, which refuse the request. Uploads go to a
// folder emptied after every input.
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "fuzz/fuzz_pairs.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kMaxBoundary = 70;
const char kRoundTripBoundary[] = "\2fuzz-boundary\2";

const char* UploadFolder() {
    // The decoder writes into /tmp: run only where /tmp is private (scripts/fuzz
    // gives this target a mount namespace of its own with an empty /tmp).
    static const bool privateTmp = getenv("LDAPCGI_FUZZ_PRIVATE_TMP") != nullptr;
    if (!privateTmp) {
        fprintf(stderr, "cgi_multipart_fuzz writes into /tmp: run it through scripts/fuzz\n");
        abort();
    }
    return "/tmp";
}

void EmptyUploadFolder() {
    DIR* dir = opendir(UploadFolder());
    FUZZ_CHECK(dir != nullptr);
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        const std::string path = std::string(UploadFolder()) + "/" + entry->d_name;
        auto remove = [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); };
        nftw(path.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
    }
    closedir(dir);
}

int Decode(const std::string& boundary, const uint8_t* body, std::size_t size, bool windows, Pairs* pairs) {
    setenv("REQUEST_METHOD", "POST", 1);
    FuzzSetEnv("CONTENT_TYPE", "multipart/form-data; boundary=" + boundary);
    FuzzSetEnv("CONTENT_LENGTH", std::to_string(size));
    if (windows)
        setenv("HTTP_USER_AGENT", "Mozilla/5.0 (Windows NT 10.0; Win64; x64)", 1);
    else
        setenv("HTTP_USER_AGENT", "Mozilla/5.0 (X11; Linux x86_64)", 1);
    FuzzFeedStdin(body, size);
    FormEntryList list;
    FormEntryListInit(list);
    const int count = ReadFormEntries(list);
    *pairs = EntriesOf(list);
    FormEntryListClear(list);
    return count;
}

// The content of the upload `name`: in the upload folder or in the one
// folder the decoder made there for the request.
std::string ReadUpload(const std::string& name) {
    std::string path = std::string(UploadFolder()) + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        DIR* dir = opendir(UploadFolder());
        FUZZ_CHECK(dir != nullptr);
        while (dirent* entry = readdir(dir)) {
            if (strncmp(entry->d_name, "ldapcgi-upload-", 15) == 0)
                path = std::string(UploadFolder()) + "/" + entry->d_name + "/" + name;
        }
        closedir(dir);
    }
    std::ifstream in(path, std::ios::binary);
    FUZZ_CHECK(in.good());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RoundTrip(const std::string& text, bool windows) {
    const Pairs parts = PairsOf(text);
    Pairs expected;
    std::vector<std::pair<std::string, std::string>> uploads;  // file name, content
    std::string body;
    bool refused = parts.size() > kMaxMultipartParts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        // A name ending in "filename=" would read as a file part: no "=" in names.
        const std::string name = Without(parts[i].first, "\"\r\n\2=");
        const std::string content = Without(parts[i].second, "\2");
        body += std::string("--") + kRoundTripBoundary + "\r\nContent-Disposition: form-data; name=\"" +
                name + "\"";
        if (i % 3 == 2) {
            const std::string file = "upload" + std::to_string(i) + ".txt";
            body += "; filename=\"" + std::string(windows ? "C:\\Users\\me\\" : "") + file +
                    "\"\r\nContent-Type: application/octet-stream";
            expected.emplace_back(name, file);
            uploads.emplace_back(file, content);
        } else {
            expected.emplace_back(name, content);
            refused |= content.size() > kMaxPostDataLength;
        }
        body += "\r\n\r\n" + content + "\r\n";
    }
    body += std::string("--") + kRoundTripBoundary + "--\r\n";

    Pairs decoded;
    const int count = Decode(kRoundTripBoundary, reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                             windows, &decoded);
    if (refused) {
        FUZZ_CHECK(count == kFormInputFatal);
        return;
    }
    FUZZ_CHECK(count == static_cast<int>(decoded.size()));
    FUZZ_CHECK(decoded == expected);
    for (const auto& upload : uploads) FUZZ_CHECK(ReadUpload(upload.first) == upload.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool windows = (data[0] & 1) != 0;
    if ((data[0] & 2) != 0) {
        RoundTrip(FuzzText(data + 1, size - 1), windows);
    } else {
        const uint8_t* rest = data + 1;
        const uint8_t* end = data + size;
        const uint8_t* newline = static_cast<const uint8_t*>(memchr(rest, '\n', size - 1));
        const uint8_t* boundaryEnd = newline != nullptr ? newline : end;
        if (boundaryEnd - rest > static_cast<std::ptrdiff_t>(kMaxBoundary)) boundaryEnd = rest + kMaxBoundary;
        const std::string boundary = FuzzText(rest, static_cast<std::size_t>(boundaryEnd - rest));
        const uint8_t* body = boundaryEnd < end && *boundaryEnd == '\n' ? boundaryEnd + 1 : boundaryEnd;
        Pairs decoded;
        const int count = Decode(boundary, body, static_cast<std::size_t>(end - body), windows, &decoded);
        FUZZ_CHECK(count < 0 || count == static_cast<int>(decoded.size()));
    }
    EmptyUploadFolder();
    return 0;
}
