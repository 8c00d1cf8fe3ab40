// The administrators' scope: which logins [Administrators] admits, and which
// addresses and DNs lie in a login's domains. Pure rules and one INI file.
// The plain cases (a login's own domain and its subdomains in any letter
// case, a look-alike domain, "*", no login, a user placed under a foreign
// address) are the administrators' matrix's, through the pages
// (tests/hostile/admin_matrix_test.cpp); a login admitted by a file without
// the section is every hostile and audit test's.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>

#include <string>

#include "base/limits.h"
#include "directory/administrators.h"
#include "platform/config/config_limits.h"
#include "tests/support/config_folder.h"

namespace {

// XOMTA.INI text ("" for no file), login, address or DN, and whether it is admitted and in scope.
struct Row {
    const char* ini;
    const char* login;
    const char* target;
    bool admitted, inScope;
    bool searchOnly = false;  // the folder may be searched, not listed
};
// XOMTA.INI a link to these: into a folder that cannot be searched, and to nothing (its target moved away).
const char kBehindLink[] = "hidden/XOMTA.INI", kDangling[] = "moved/XOMTA.INI";
const char kFifo[] = "<fifo>", kFolder[] = "<folder>";  // XOMTA.INI no regular file
const char kAnna[] = "[Administrators]\nroot = *\nanna = Example.COM. , ,bad domain!, example.org\n";
// A letter outside ASCII, in capitals; "b\xc3" is cut UTF-8.
const char kIdn[] = "[Administrators]\nmu = MÜLLER.DE, b\xc3.de\n";
const std::string kHuge = std::string(kAnna) + std::string(kConfigMaxFileSize, '\n');  // too large to be read
const Row kRows[] = {
    {kAnna, "anna", "a@example.com.", true, true},
    {kAnna, "anna", "a@example..org", true, true},
    {kAnna, "anna", "a@example.com.evil.net", true, false},
    {kAnna, "anna", "mail=a@x.net,dc=Sales,dc=example,dc=com", true, true},
    {kAnna, "anna", "mail=a@example.com,dc=badexample,dc=com", true, false},
    {kAnna, "anna", "mail=a@x.net,dc=example\\00,dc=com", true, false},
    {kIdn, "mu", "a@müller.de", true, true},
    {kIdn, "mu", "mail=a@x.net,dc=MÜLLER,dc=de", true, true},
    {kIdn, "mu", "a@b\xc3.de", true, false},
    {kAnna, "Anna", "a@example.com", false, false},
    {"[ administrators ]\n;anna = example.com\n", "anna", "a@example.com", false, false},
    {"", nullptr, "a@anywhere.net", true, true},
    {kAnna, "anna", "a@anywhere.net", true, false, true},  // asked for by name
    {"", "root", "a@anywhere.net", false, false, true},    // another spelling may be there unseen
    {kBehindLink, "root", "a@anywhere.net", false, false},
    {kHuge.c_str(), "root", "a@anywhere.net", false, false},  // refused, not taken for no file
    {kFifo, "root", "a@anywhere.net", false, false},
    {kFolder, "root", "a@anywhere.net", false, false},
    {kDangling, "root", "a@anywhere.net", false, false},
};

// Takes root's power to pass file permissions out of the effective set, or
// gives it back (nothing for another account).
void BypassPermissions(bool bypass) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, caps) != 0) return;
    const __u32 mask = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH;
    caps[0].effective = bypass ? caps[0].effective | (caps[0].permitted & mask) : caps[0].effective & ~mask;
    syscall(SYS_capset, &header, caps);
}

TEST(AdminScope, Rows) {
    ConfigFolder dir;
    const std::string file = dir.File("XOMTA.INI");
    ASSERT_EQ(mkdir(dir.File("hidden").c_str(), 0), 0);
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::string(row.ini) + "|" + (row.login ? row.login : "(none)") + "|" + row.target);
        std::remove(file.c_str());
        if (row.ini == kDangling || row.ini == kBehindLink)
            ASSERT_EQ(symlink(row.ini, file.c_str()), 0);
        else if (row.ini == kFifo || row.ini == kFolder)
            ASSERT_EQ(row.ini == kFifo ? mkfifo(file.c_str(), 0600) : mkdir(file.c_str(), 0700), 0);
        else if (row.ini[0] != '\0')
            WriteWholeFile(file, row.ini);
        ASSERT_EQ(chmod(dir.path.c_str(), row.searchOnly ? 0311 : 0700), 0);
        BypassPermissions(!row.searchOnly && row.ini != kBehindLink);
        AdminScope scope;
        EXPECT_EQ(AdmitLogin(row.login, &scope) != Admission::kRefused, row.admitted);
        BypassPermissions(true);
        const bool dn = std::string(row.target).rfind("mail=", 0) == 0;
        EXPECT_EQ(row.admitted && (dn ? DnInScope(scope, row.target) : AddressInScope(scope, row.target)),
                  row.inScope);
    }
}

TEST(AdminScope, FilterAndLimit) {
    AdminScope scope;
    std::vector<std::string> rejected;
    ASSERT_TRUE(ParseAdminDomains("sales.example.com, example.com, ex(*)", &scope, &rejected));
    EXPECT_EQ(
        ScopedFilter(scope, "(a=b)"),
        "(&(a=b)(&(entryDN:dnSubtreeMatch:=dc=example,dc=com)(|(mail=*@example.com)(mail=*.example.com))))");
    EXPECT_EQ(rejected, std::vector<std::string>{"ex(*)"});
    EXPECT_EQ(ScopedFilter(AdminScope{false, {}}, "(a=b)"), "(&(a=b)(!(objectClass=*)))");
    std::string many;
    for (std::size_t i = 0; i <= kMaxAdminDomains; ++i) many += "d" + std::to_string(i) + ".net,";
    EXPECT_FALSE(ParseAdminDomains(many.c_str(), &scope, &rejected));
}

}  // namespace
