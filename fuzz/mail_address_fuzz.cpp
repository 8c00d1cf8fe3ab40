// Fuzz target: the mail address screen. For any text, an accepted address is
// a piece of the text of at most 255 bytes with exactly one "@", no blank,
// control byte, separator or character of the screen's forbidden set.
// Refusals are logged into /dev/null through a scratch xomta.ini.
#include <cstring>

#include "directory/mail_address.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzConfigFolder("[Log]\nFile=/dev/null\n");
    const std::string text = FuzzText(data, size);
    const char* accepted = ValidateMailAddress(text.c_str());
    if (accepted == nullptr) return 0;
    const std::string address = accepted;
    FUZZ_CHECK(!address.empty() && address.size() <= 255);
    FUZZ_CHECK(text.find(address) != std::string::npos);
    const std::size_t at = address.find('@');
    FUZZ_CHECK(at != std::string::npos && address.find('@', at + 1) == std::string::npos);
    for (unsigned char c : address) FUZZ_CHECK(c > ' ' && c != 0x7f && strchr("\\/:*?<>|\",;", c) == nullptr);
    return 0;
}
