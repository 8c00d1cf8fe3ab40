// The form entry list and its lookups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"

namespace {

FormEntryList Build(const Pairs& pairs) {
    FormEntryList list;
    FormEntryListInit(list);
    FormEntry* last = nullptr;
    for (const auto& p : pairs) last = FormEntryListInsertAfter(list, last, p.first.c_str(), p.second.c_str());
    return list;
}

TEST(FormEntryList, InsertKeepsCopiesAndOrder) {
    FormEntryList list;
    FormEntryListInit(list);
    char name[] = "n1";
    char value[] = "v1";
    FormEntry* first = FormEntryListInsertAfter(list, nullptr, name, value);
    name[0] = 'X';
    value[0] = 'X';
    FormEntry* third = FormEntryListInsertAfter(list, first, "n3", "v3");
    FormEntryListInsertAfter(list, first, "n2", "v2");   // between first and third
    EXPECT_EQ(EntriesOf(list), (Pairs{{"n1", "v1"}, {"n2", "v2"}, {"n3", "v3"}}));
    EXPECT_EQ(FormEntryListNext(FormEntryListNext(first)), third);
    EXPECT_EQ(FormEntryListNext(third), nullptr);
    EXPECT_TRUE(FormEntryListContains(list, third));
    FormEntry stranger = {name, value, nullptr};
    EXPECT_FALSE(FormEntryListContains(list, &stranger));
    FormEntryListClear(list);
    EXPECT_EQ(list.head, nullptr);
}

TEST(FormEntryList, InsertIntoEmptyListIgnoresAfter) {
    FormEntryList other = Build({{"a", "1"}});
    FormEntryList list;
    FormEntryListInit(list);
    FormEntryListInsertAfter(list, other.head, "b", "2");
    EXPECT_EQ(EntriesOf(list), (Pairs{{"b", "2"}}));
    EXPECT_EQ(EntriesOf(other), (Pairs{{"a", "1"}}));
    FormEntryListClear(list);
    FormEntryListClear(other);
}

TEST(FormEntryListDeathTest, InsertAfterNothingIntoNonEmptyListExits) {
    FormEntryList list = Build({{"a", "1"}});
    EXPECT_EXIT(FormEntryListInsertAfter(list, nullptr, "b", "2"), testing::ExitedWithCode(1), "^$");
    FormEntryListClear(list);
}

std::string visited;
void Visit(const char* name, const char* value) { visited += std::string(name) + "=" + value + ";"; }

TEST(FormEntryList, ForEachVisitsInOrder) {
    FormEntryList list = Build({{"a", "1"}, {"b", ""}, {"a", "3"}});
    visited.clear();
    FormEntryListForEach(list, Visit);
    EXPECT_EQ(visited, "a=1;b=;a=3;");
    FormEntryListClear(list);
}

TEST(FormLookups, ValuesAndNames) {
    FormEntryList list = Build({{"Mail", "x1"}, {"Other", "x1"}, {"Mail", "x2"}, {"Empty", ""}});
    EXPECT_STREQ(FormValue(list.head, "Mail"), "x1");
    EXPECT_EQ(FormValue(list.head, "MAIL"), nullptr);
    EXPECT_EQ(FormValue(list.head, "Mai"), nullptr);
    EXPECT_EQ(FormValue(nullptr, "Mail"), nullptr);
    EXPECT_STREQ(FormNameOf(list.head, "x1"), "Mail");
    EXPECT_EQ(FormNameOf(list.head, "X1"), nullptr);
    EXPECT_EQ(FormValues(list.head, "None"), nullptr);
    EXPECT_EQ(FormNamesOf(list.head, "none"), nullptr);

    const char** names = FormNamesOf(list.head, "x1");
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[0], "Mail");
    EXPECT_STREQ(names[1], "Other");
    EXPECT_EQ(names[2], nullptr);
    free(names);
    FormEntryListClear(list);
}

TEST(FormLookups, PresenceAndEmptiness) {
    FormEntryList list = Build({{"Mail", "x"}, {"Empty", ""}});
    EXPECT_TRUE(FormFieldPresent(list.head, "Empty"));
    EXPECT_FALSE(FormFieldPresent(list.head, "Absent"));
    EXPECT_TRUE(FormFieldAbsentOrEmpty(list.head, "Empty"));
    EXPECT_TRUE(FormFieldAbsentOrEmpty(list.head, "Absent"));
    EXPECT_FALSE(FormFieldAbsentOrEmpty(list.head, "Mail"));
    EXPECT_FALSE(FormAllValuesEmpty(list.head));
    EXPECT_TRUE(FormAllValuesEmpty(nullptr));
    FormEntryList empties = Build({{"a", ""}, {"b", ""}});
    EXPECT_TRUE(FormAllValuesEmpty(empties.head));
    FormEntryListClear(list);
    FormEntryListClear(empties);
}

TEST(TextHelpers, CopyAndLowerCase) {
    char* copy = CopyString("Ab");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "Ab");
    free(copy);
    EXPECT_EQ(CopyString(nullptr), nullptr);
    char text[] = "MiXeD-123 \xC4";
    EXPECT_EQ(LowerCaseInPlace(text), text);
    EXPECT_STREQ(text, "mixed-123 \xC4");
}

}  // namespace
