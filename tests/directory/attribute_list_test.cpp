// Attribute lists: node capacity (names cut, long values refused, never cut)
// and their use in adds and modifies against the test slapd.
#include <cstring>
#include <string>

#include "directory/attribute_list.h"
#include "tests/directory/directory_fixture.h"

namespace {

int Length(const attrval* list) {
    int n = 0;
    for (; list; list = list->next) ++n;
    return n;
}

TEST(AttributeList, AppendsInOrderAndCutsOnlyNames) {
    attrval* list = nullptr;
    EXPECT_TRUE(AddAttrValue(&list, 0, "cn", "%s %s", "Anna", "Smith"));
    EXPECT_TRUE(AddAttrValue(&list, 1, std::string(70, 'n').c_str(), "%d%%", 5));
    ASSERT_TRUE(AddAttrEnd(&list));
    ASSERT_EQ(Length(list), 3);
    EXPECT_EQ(list->op, 0);
    EXPECT_STREQ(list->value, "Anna Smith");
    EXPECT_EQ(list->next->op, 1);
    EXPECT_EQ(std::string(list->next->name), std::string(63, 'n'));
    EXPECT_STREQ(list->next->value, "5%");
    const attrval* end = list->next->next;
    EXPECT_EQ(end->op, 0);
    EXPECT_STREQ(end->name, "");
    EXPECT_STREQ(end->value, "");
    FreeAttrList(&list);
    EXPECT_EQ(list, nullptr);
    FreeAttrList(&list);
}

TEST(AttributeList, RefusesValuesLongerThanANodeHolds) {
    attrval* list = nullptr;
    std::string fits(511, 'v');
    ASSERT_TRUE(AddAttrValue(&list, 0, "streetaddress", "%s", fits.c_str()));
    EXPECT_EQ(std::string(list->value), fits);

    std::string tooLong(512, 'w');
    EXPECT_FALSE(AddAttrValue(&list, 0, "streetaddress", "%s", tooLong.c_str()));
    EXPECT_FALSE(AddAttrValue(&list, 0, "cn", "%s %s", fits.c_str(), "x"));
    EXPECT_EQ(Length(list), 1);
    EXPECT_EQ(list->next, nullptr);
    EXPECT_FALSE(AddAttrValue(nullptr, 0, "cn", "%s", "x"));
    FreeAttrList(&list);
}

using AttributeListInDirectory = DirectoryTest;

TEST_F(AttributeListInDirectory, AddWithEmptyFirstNameAndModifyAddingEmptyValue) {
    ldapClient client;
    Open(client);
    attrval* list = nullptr;
    AddAttrValue(&list, 0, "objectClass", "%s", "xoperson");
    AddAttrValue(&list, 0, "firstname", "%s", "");
    AddAttrValue(&list, 0, "cn", "%s", "Lee");
    AddAttrValue(&list, 0, "streetaddress", "%s", "");
    AddAttrValue(&list, 0, "sn", "%s", "Lee");
    AddAttrEnd(&list);
    const char* dn = client.CreateDNFromMail("lee@example.com");
    EXPECT_EQ(client.ldapClientAdd(dn, list), 0);
    FreeAttrList(&list);
    std::string entry = Entry("mail=lee@example.com,dc=example,dc=com");
    EXPECT_NE(entry.find("mail: lee@example.com\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("cn: Lee\n"), std::string::npos);
    EXPECT_EQ(entry.find("firstname"), std::string::npos);
    EXPECT_EQ(entry.find("streetaddress"), std::string::npos);

    AddAttrValue(&list, 1, "cn", "%s", "Lee");
    AddAttrValue(&list, 0, "cn", "%s", "");
    AddAttrValue(&list, 0, "telephoneNumber", "%s", "123");
    AddAttrEnd(&list);
    EXPECT_EQ(client.ldapClientModify("mail=lee@example.com,dc=example,dc=com", list), 0);
    FreeAttrList(&list);
    entry = Entry("mail=lee@example.com,dc=example,dc=com");
    EXPECT_EQ(entry.find("cn:"), std::string::npos) << entry;
    EXPECT_NE(entry.find("telephoneNumber: 123\n"), std::string::npos);
}

}  // namespace
