// Fuzz target: the configuration reader. The input, followed by a section of
// our own, is parsed in memory (IniParseText, IniFind on the usual keys) and
// also written as the configuration file, named in another letter case than
// asked for, and read through GetPrivateProfileString / Int into buffers of
// exact size and GetPrivateProfileSection. Both ways give the same values;
// whatever comes before it, our section's setting reads back whole; no read
// writes past its buffer or leaves it unterminated.
#include <strings.h>

#include <cctype>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "platform/config/ini_document.h"
#include "platform/config/profile.h"

namespace {

const char kFile[] = "xomta.ini";
const char kOwnSection[] = "\n[fuzzcheck]\nkey = the value \n";

// Reads into a heap buffer of exactly `size` bytes, so that a write past it is caught.
std::string ReadString(const char* section, const char* key, int size) {
    std::vector<char> buffer(static_cast<std::size_t>(size));
    const int copied = GetPrivateProfileString(section, key, "default", buffer.data(), size, kFile);
    FUZZ_CHECK(copied >= 0 && copied < size && buffer[static_cast<std::size_t>(copied)] == '\0');
    FUZZ_CHECK(strlen(buffer.data()) == static_cast<std::size_t>(copied));
    return std::string(buffer.data(), static_cast<std::size_t>(copied));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string file = text + kOwnSection;
    const std::string& folder = FuzzConfigFolder("");
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const bool ours = lower.find("fuzzcheck") == std::string::npos;

    IniDocument document;
    IniParseText(file, document);
    for (const auto& setting : document.values) FUZZ_CHECK(setting.second.find('\n') == std::string::npos);
    std::string scratch;
    const std::string* own = IniFind(document, " FuzzCheck ", "KEY", scratch);
    if (ours) FUZZ_CHECK(own != nullptr && *own == "the value");

    // The file read through the store gives what the text parsed in memory
    // gives: a rewritten file is never served from a stale cache.
    FuzzWriteFile(folder + "/XoMtA.InI", file);
    for (int bufferSize : {1, 2, 7}) ReadString("Ldap", "HostName", bufferSize);
    for (const char* key : {"HostName", "Password"}) {
        const std::string* value = IniFind(document, "Ldap", key, scratch);
        const std::string expected = value == nullptr ? "default" : value->substr(0, 1023);
        FUZZ_CHECK(ReadString("Ldap", key, 1024) == expected.substr(0, expected.find('\0')));
    }
    GetPrivateProfileInt("Ldap", "Port", 389, kFile);
    if (ours) FUZZ_CHECK(ReadString("fuzzcheck", "key", 1024) == "the value");

    // A whole section lists each key once, with the value its lookup gives.
    std::vector<std::pair<std::string, std::string>> settings;
    FUZZ_CHECK(GetPrivateProfileSection("Ldap", &settings, kFile));
    for (std::size_t i = 0; i < settings.size(); ++i) {
        const std::string* value = IniFind(document, "Ldap", settings[i].first.c_str(), scratch);
        FUZZ_CHECK(value != nullptr && *value == settings[i].second);
        for (std::size_t j = 0; j < i; ++j)
            FUZZ_CHECK(strcasecmp(settings[i].first.c_str(), settings[j].first.c_str()) != 0);
    }
    if (ours) {
        FUZZ_CHECK(GetPrivateProfileSection("FUZZCHECK", &settings, kFile));
        FUZZ_CHECK(settings.size() == 1 && settings[0].first == "key" && settings[0].second == "the value");
    }
    return 0;
}
