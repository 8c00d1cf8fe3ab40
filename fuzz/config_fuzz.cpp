// Fuzz target: the configuration reader. The input is parsed in memory
// (IniParseText, IniFind) and also written as the configuration file, named
// in another letter case than asked for, and read through
// GetPrivateProfileString / Int into buffers of exact size and
// GetPrivateProfileSection. Both ways give the same values; no read writes
// past its buffer or leaves it unterminated.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "platform/config/ini_document.h"
#include "platform/config/profile.h"

namespace {

const char kFile[] = "xomta.ini";

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
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::string& folder = FuzzConfigFolder("");
    IniDocument document;
    IniParseText(file, document);
    for (const auto& setting : document.values) FUZZ_CHECK(setting.second.find('\n') == std::string::npos);

    // The file read through the store gives what the text parsed in memory
    // gives: a rewritten file is never served from a stale cache.
    FuzzWriteFile(folder + "/XoMtA.InI", file);
    for (int bufferSize : {1, 2, 7}) ReadString("Ldap", "HostName", bufferSize);
    std::string scratch;
    for (const char* key : {"HostName", "Password"}) {
        const std::string* value = IniFind(document, "Ldap", key, scratch);
        const std::string expected = value == nullptr ? "default" : value->substr(0, 1023);
        FUZZ_CHECK(ReadString("Ldap", key, 1024) == expected.substr(0, expected.find('\0')));
    }
    GetPrivateProfileInt("Ldap", "Port", 389, kFile);
    std::vector<std::pair<std::string, std::string>> settings;
    FUZZ_CHECK(GetPrivateProfileSection("Ldap", &settings, kFile));
    return 0;
}
