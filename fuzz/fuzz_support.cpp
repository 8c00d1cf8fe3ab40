// The fuzz targets' shared helpers: property failures, configuration folders, scratch files,
// standard input from memory, the pairs of the decoders' round trips and a
// DN's values as libldap reads them.
#include "fuzz/fuzz_support.h"

#include <ldap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "cgi/form_entries.h"

void FuzzCheckFailed(const char* condition, const char* file, int line) {
    fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    abort();
}

const std::string& FuzzConfigFolder(const std::string& ini) {
    static std::map<std::string, std::string> folders;  // by the text of xomta.ini
    std::string& folder = folders[ini];
    if (folder.empty()) {
        const char* tmp = getenv("TMPDIR");
        folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/ldapcgi-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(&folder[0]) != nullptr);
        if (!ini.empty()) FuzzWriteFile(folder + "/xomta.ini", ini);
    }
    FUZZ_CHECK(setenv("XOMTA_CONFIG_DIR", folder.c_str(), 1) == 0);
    return folder;
}

void FuzzWriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    FUZZ_CHECK(out.write(text.data(), static_cast<std::streamsize>(text.size())).flush().good());
}

void FuzzSetEnv(const char* name, const std::string& value) {
    static std::map<std::string, char*> current;  // by name: the text handed to putenv
    char* text = strdup((std::string(name) + "=" + value).c_str());
    FUZZ_CHECK(text != nullptr && putenv(text) == 0);
    free(current[name]);
    current[name] = text;
}

void FuzzFeedStdin(const std::string& bytes) {
    static std::string held;  // fmemopen needs a buffer of at least one byte
    static FILE* current = nullptr;
    if (current != nullptr) fclose(current);
    held = bytes + '\0';
    current = bytes.empty() ? fopen("/dev/null", "r") : fmemopen(&held[0], bytes.size(), "r");
    FUZZ_CHECK(current != nullptr);
    stdin = current;
}

std::string FuzzText(const uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data),
                       strnlen(reinterpret_cast<const char*>(data), size));
}

Pairs PairsOf(const std::string& text) {
    Pairs pairs;
    std::istringstream in(text);
    for (std::string name, value; std::getline(in, name, '\1');) {
        if (!std::getline(in, value, '\1')) value.clear();
        pairs.emplace_back(name, value);
    }
    return pairs;
}

std::string Without(const std::string& text, const char* dropped) {
    std::string kept;
    for (char c : text)
        if (strchr(dropped, c) == nullptr) kept.push_back(c);
    return kept;
}

Pairs TakeEntries(FormEntryList& list) {
    Pairs pairs;
    for (const FormEntry* e = list.head; e != nullptr; e = e->next) {
        FUZZ_CHECK(e->name != nullptr && e->value != nullptr);
        pairs.emplace_back(e->name, e->value);
    }
    FormEntryListClear(list);
    return pairs;
}

bool DnValues(const char* dn, const char* attribute, std::vector<std::string>* values) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return false;
    for (int i = 0; parsed != nullptr && parsed[i] != nullptr; ++i) {
        const LDAPAVA* ava = parsed[i][0];
        FUZZ_CHECK(ava != nullptr && (attribute == nullptr || parsed[i][1] == nullptr));
        FUZZ_CHECK(attribute == nullptr || (ava->la_attr.bv_len == strlen(attribute) &&
                                            memcmp(ava->la_attr.bv_val, attribute, strlen(attribute)) == 0 &&
                                            (ava->la_flags & LDAP_AVA_BINARY) == 0));
        values->emplace_back(ava->la_value.bv_val, ava->la_value.bv_len);
    }
    ldap_dnfree(parsed);
    return true;
}
