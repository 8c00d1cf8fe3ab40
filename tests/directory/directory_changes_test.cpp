// The audited change calls against the test slapd: the line each leaves for
// failures as well as successes (the delete's result code from the handle),
// what an add and a modify list, the bound on a line's values, hidden
// secrets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/audit.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"

namespace {

using Strings = std::vector<std::string>;

// The audit lines' texts after "command=-", which no dispatcher set here.
Strings AuditTexts(const DirectorySandbox& sandbox) {
    Strings texts;
    const std::string start = "audit: user=- address=- command=- ";
    for (const std::string& text : LogTexts(sandbox.ReadLog()))
        if (text.compare(0, start.size(), start) == 0) texts.push_back(text.substr(start.size()));
    return texts;
}

class DirectoryChanges : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.Ok() && sandbox.Reset("dn: dc=com\nobjectClass: domain\ndc: com\n") &&
                    sandbox.WriteConfig() && sandbox.ClearLog());
        setenv("XOMTA_CONFIG_DIR", sandbox.ConfigDir().c_str(), 1);
        unsetenv("REMOTE_USER");
        unsetenv("REMOTE_ADDR");
        ASSERT_NE(OpenDirectory(client), nullptr);
    }
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    ldapClient client;
};

TEST_F(DirectoryChanges, EachCallLeavesOneLineWithItsResultCode) {
    const std::string dn = "mail=x@com,dc=com";
    AttrList add;
    for (auto [op, name, value] : {std::tuple{kAttrAdd, "objectClass", "xoperson"},
                                   {kAttrAdd, "firstname", ""},  // empty: not sent, not listed
                                   {kAttrDelete, "sn", "ignored by an add"},
                                   {kAttrSkip, "sn", "skipped"},
                                   {kAttrAdd, "sn", "X\tY"}})
        ASSERT_TRUE(AddAttrValue(&add.head, op, name, "%s", value));
    ASSERT_TRUE(AddAttrEnd(&add.head));
    EXPECT_EQ(DirectoryAdd(client, dn.c_str(), add.head), 0);
    EXPECT_EQ(DirectoryAdd(client, dn.c_str(), add.head), LDAP_ALREADY_EXISTS);
    AttrList modify;
    ASSERT_TRUE(AddAttrValue(&modify.head, kAttrDelete, "sn", "%s", "X\tY") &&
                AddAttrValue(&modify.head, kAttrAdd, "sn", "%s", "Z") && AddAttrEnd(&modify.head));
    EXPECT_EQ(DirectoryModify(client, dn.c_str(), modify.head), 0);
    EXPECT_EQ(DirectoryModify(client, dn.c_str(), modify.head), LDAP_NO_SUCH_ATTRIBUTE);
    AttrList none;
    ASSERT_TRUE(AddAttrEnd(&none.head));
    EXPECT_EQ(DirectoryModify(client, dn.c_str(), none.head), 0);
    EXPECT_EQ(DirectoryDelete(client, dn.c_str()), 0);
    EXPECT_EQ(DirectoryDelete(client, dn.c_str()), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(DirectoryWriteProfileString(client, "mqapi", "Password", "s3cret"), 0);
    EXPECT_EQ(DirectoryWriteProfileString(client, "PreProcessor", "AliasSequence", "4!"), 0);
    client.ldapClientUnbind();
    EXPECT_EQ(DirectoryDelete(client, dn.c_str()), LDAP_SERVER_DOWN);
    EXPECT_EQ(
        AuditTexts(sandbox),
        (Strings{"add \"mail=x@com,dc=com\" +objectClass=\"xoperson\" +sn=\"X\\x09Y\" result=0 (Success)",
                 "add \"mail=x@com,dc=com\" +objectClass=\"xoperson\" +sn=\"X\\x09Y\" "
                 "result=68 (Already exists)",
                 "modify \"mail=x@com,dc=com\" -sn=\"X\\x09Y\" +sn=\"Z\" result=0 (Success)",
                 "modify \"mail=x@com,dc=com\" -sn=\"X\\x09Y\" +sn=\"Z\" result=16 (No such attribute)",
                 "modify \"mail=x@com,dc=com\" (no changes) result=0 (Success)",
                 "delete \"mail=x@com,dc=com\" result=0 (Success)",
                 "delete \"mail=x@com,dc=com\" result=32 (No such object)",
                 "profile-string section=\"mqapi\" key=\"Password\" value=(hidden) result=0 (Success)",
                 "profile-string section=\"PreProcessor\" key=\"AliasSequence\" value=\"4!\" "
                 "result=0 (Success)",
                 "delete \"mail=x@com,dc=com\" result=-1 (Can't contact LDAP server)"}));
    EXPECT_EQ(sandbox.ReadLog().find("s3cret"), std::string::npos);
}

TEST_F(DirectoryChanges, ALineListsTheValuesThatFitAndCountsTheRest) {
    AttrList many;
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(
            AddAttrValue(&many.head, kAttrAdd, "description", "%02d%s", i, std::string(300, 'v').c_str()));
    ASSERT_TRUE(AddAttrEnd(&many.head));
    DirectoryModify(client, "dc=com", many.head);  // a domain holds no description: refused, and logged
    Strings texts = AuditTexts(sandbox);
    ASSERT_EQ(texts.size(), 1u);
    const std::string shown = std::string(254, 'v') + "...\"(302 bytes)";
    std::string expected = "modify \"dc=com\"";
    for (int i = 0; i < 10; ++i) expected += " +description=\"0" + std::to_string(i) + shown;
    EXPECT_EQ(texts[0].substr(0, texts[0].find(" ...(")), expected);
    EXPECT_EQ(texts[0].substr(texts[0].find(" ...(")), " ...(10 more) result=65 (Object class violation)");
}

}  // namespace
