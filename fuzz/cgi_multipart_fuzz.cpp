// Fuzz target: the multipart/form-data decoder, uploads included. Byte 0 of
// the input holds flags: bit 0 a Windows user agent, bit 1 the round trip
// below. Otherwise the input is the boundary (up to the first line feed, at
// most 70 bytes) and then the request body. Any body decodes to as many
// entries as reported. In the round trip the rest, split at byte 1, gives
// parts (field name without quotes, line breaks or "=", content; every third
// part a file upload) laid out as a browser does; they must decode back to
// the same entries, each upload's file holding its content in the request's
// upload folder, unless they pass the bounds of parts and field sizes, which
// refuse the request. The decoder removes the uploads of the input before.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "cgi/request_uploads.h"
#include "fuzz/fuzz_support.h"

namespace {

const char kRoundTripBoundary[] = "\2fuzz-boundary\2";

int Decode(const std::string& boundary, const std::string& body, bool windows, Pairs* pairs) {
    setenv("REQUEST_METHOD", "POST", 1);
    FuzzSetEnv("CONTENT_TYPE", "multipart/form-data; boundary=" + boundary);
    FuzzSetEnv("CONTENT_LENGTH", std::to_string(body.size()));
    setenv("HTTP_USER_AGENT", windows ? "Mozilla/5.0 (Windows NT 10.0)" : "Mozilla/5.0 (X11; Linux)", 1);
    FuzzFeedStdin(body);
    FormEntryList list = {nullptr};
    const int count = ReadFormEntries(list);
    *pairs = TakeEntries(list);
    FUZZ_CHECK(count < 0 || count == static_cast<int>(pairs->size()));
    return count;
}

void RoundTrip(const std::string& text, bool windows) {
    const Pairs parts = PairsOf(text);
    Pairs expected, uploads;  // uploads: file name, content
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
    const int count = Decode(kRoundTripBoundary, body, windows, &decoded);
    FUZZ_CHECK(count == (refused ? kFormInputFatal : static_cast<int>(expected.size())));
    if (refused) return;
    FUZZ_CHECK(decoded == expected);
    FUZZ_CHECK(uploads.empty() || RequestUploadFolder() != nullptr);
    for (const auto& upload : uploads) {
        std::ifstream in(std::string(RequestUploadFolder()) + "/" + upload.first, std::ios::binary);
        FUZZ_CHECK(in.good() && std::string(std::istreambuf_iterator<char>(in), {}) == upload.second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool windows = (data[0] & 1) != 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t line = std::min(rest.find('\n'), rest.size());
    Pairs decoded;
    if ((data[0] & 2) != 0)
        RoundTrip(FuzzText(data + 1, size - 1), windows);
    else
        Decode(FuzzText(data + 1, std::min(line, std::size_t{70})),
               rest.substr(std::min(line + 1, rest.size())), windows, &decoded);
    return 0;
}
