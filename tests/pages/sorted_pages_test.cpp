// The user lists in pages ([Ldap] PageSize), against the sandbox's server,
// which sorts and cuts them, and against a second one without its sssvlv
// overlay, whose pages are cut from the whole list: both print the same
// pages (tests/pages/expected/sorted_*.html), their Next links walk the
// whole list once, also for the users of a connector and of a domain, and a
// list that shrinks or grows between two pages lands on a page; a server
// busy sorting is asked again. Markup and URL specials stand in every field
// the links carry. A list that fits one page prints as without pages
// (PageSize 0 is every other page test), whatever RecordLimit says.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>

#include "tests/support/config_folder.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_check.h"

namespace {

using std::string;
const string kSpecials = "&<\"'>%+#=?;";

// Users a@example.com, b@... with last names "A &<...", "B &<..." (or the
// letters of `initials`), each with the specials as first name and an SMTPC
// connector. The user list's query carries the specials in every field.
string Users(const string& names, const string& initials = "") {
    string ldif = kExampleDomainLdif;
    for (std::size_t i = 0; i < names.size(); ++i)
        ldif += string("\ndn: mail=") + names[i] +
                "@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: " + names[i] +
                "@example.com\nfirstname: " + kSpecials +
                "\nsn: " + char(initials.empty() ? toupper(names[i]) : initials[i]) + " " + kSpecials +
                "\nothermailbox: SMTPC$" + names[i] + "\n";
    return ldif;
}
string LastName(char initial) { return FormBody({{"", initial + (" " + kSpecials)}}).substr(1); }

const string kEncoded = FormBody({{"", kSpecials}}).substr(1);
const string kList = "Command=ListUsers&FirstName=" + kEncoded + "&LastName=*" + kEncoded +
                     "&Mail=*@example.com&Special=" + kEncoded;

ProcessResult Get(DirectorySandbox& dir, const string& query) {
    return RunCgi(
        {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}, {"XOMTA_CONFIG_DIR", dir.ConfigDir()}});
}

// Follows the Next links from `query`: each page's rows ("|" and the name
// of every user), at most ten pages.
string Walk(DirectorySandbox& dir, string query) {
    const string row = "<tr>\n\t\t\t<td align=left><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=";
    string rows;
    for (int pages = 0; pages < 10 && !query.empty(); ++pages) {
        const string page = Get(dir, query).out;
        rows += "|";
        for (std::size_t at = page.find(row); at != string::npos; at = page.find(row, at + 1))
            rows += page.substr(at + row.size(), page.find('@', at) - at - row.size());
        const std::size_t next = page.find("\">Next</a>"), from = page.rfind('?', next) + 1;
        query = next == string::npos ? "" : page.substr(from, next - from);
        for (std::size_t at; (at = query.find("&amp;")) != string::npos;) query.erase(at + 1, 4);
    }
    return rows;
}

// The pages of seven users at both ends and in the middle (by place and by
// Go to), their walks, and a list that shrinks and grows between two pages.
// `sorted` ([Ldap] lines) holds for Go to by whole names.
void CheckPages(DirectorySandbox& dir, const string& sorted = "") {
    ASSERT_TRUE(dir.Reset(Users("abcdefg")) && dir.WriteConfig("[Ldap]\nPageSize=3\n"));
    const Fields pages = {
        {kList, "sorted_first"},
        {kList + "&GoTo=0", "sorted_first"},
        {kList + "&Position=4", "sorted_middle"},
        {kList + "&Position=99", "sorted_last"},
        {kList + "&GoTo=zzz", "sorted_last"},
    };
    for (const auto& [query, name] : pages) EXPECT_EQ(Get(dir, query).out, ExpectedPage(name)) << query;
    EXPECT_EQ(Walk(dir, kList), "|abc|def|g");
    EXPECT_EQ(Walk(dir, kList + "&GoTo=b"), "|bcd|efg");
    ASSERT_TRUE(dir.WriteConfig("[Ldap]\nPageSize=3\n" + sorted));
    for (const auto& [name, walk] : {std::pair{'B', "|bcd|efg"}, {'E', "|efg"}, {'G', "|g"}})  // whole names
        EXPECT_EQ(Walk(dir, kList + "&GoTo=" + LastName(name)), walk) << name;
    ASSERT_TRUE(dir.Reset(Users("abcstuvwxyz", "ABCSSSSSXYZ")));  // more of one name than a page holds
    string named = Walk(dir, kList + "&GoTo=" + LastName('S'));
    std::sort(named.begin(), named.end());  // equal names in the server's own order
    EXPECT_EQ(named, "stuvwxyz|||");
    ASSERT_TRUE(dir.WriteConfig("[Ldap]\nPageSize=3\n"));
    ASSERT_TRUE(dir.Reset(Users("ab")));  // shrinks below one page: the whole list, no bar
    EXPECT_EQ(Walk(dir, kList + "&Position=4"), "|ab");
    ASSERT_TRUE(dir.Reset(Users("abcdefghi")));
    EXPECT_EQ(Walk(dir, kList + "&Position=4"), "|def|ghi");
}

TEST(SortedPages, TheDirectorySortsAndCutsThePages) {
    DirectorySandbox& dir = DirectorySandbox::Get();
    CheckPages(dir, "RecordLimit=1\n");  // sorted pages are not cut by it
    // The server's order: z, without a last name, comes last. Not in the
    // domain, without a connector: a link to another command would list it.
    ASSERT_TRUE(dir.Reset(Users("abcd") + "\ndn: mail=z@example.com,dc=com\nobjectClass: xoperson\n"));
    EXPECT_EQ(Walk(dir, "Command=ListUsers&Mail=*"), "|abc|dz");
    EXPECT_EQ(Walk(dir, "Command=ListConn&Channel=SMTPC&Identifier=*"), "|abc|d");
    EXPECT_EQ(Walk(dir, "Command=ViewUsersDomain&Domain=example.com"), "|abc|d");
    // Last names equal by the server's rule, which folds letter case and composes letters: Go to starts at them.
    string umlauts = Users("abefg");
    for (const auto& [name, sn] : {std::pair{"c", "\xc3\xa4"}, {"d", "A\xcc\x88"}})
        umlauts += string("\ndn: mail=") + name +
                   "@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: " + name +
                   "@example.com\nfirstname: X\nsn: " + sn + "\n";
    ASSERT_TRUE(dir.Reset(umlauts));
    const string from = Walk(dir, "Command=ListUsers&Mail=*&GoTo=%C3%A4").substr(0, 3);
    EXPECT_TRUE(from == "|cd" || from == "|dc") << from;
    // Absent last names first and equal keys in reverse arrival, as without pages.
    ASSERT_TRUE(dir.Reset(kExampleDomainLdif + SeedFile("list")) &&
                dir.WriteConfig("[Ldap]\nPageSize=100\nRecordLimit=1\n"));  // nor cut by it
    EXPECT_EQ(Get(dir, "Command=ListUsers&FirstName=&LastName=&Mail=").out, ExpectedPage("user_list"));
}

TEST(SortedPages, AServerBusySortingIsAskedAgain) {
    DirectorySandbox busy(0, "", "1");  // one sort at a time
    ASSERT_TRUE(busy.Ok() && busy.Reset(Users("abcdefg")) && busy.WriteConfig("[Ldap]\nPageSize=3\n"));
    // Another client's view holds the sort for half a second; the page waits for it.
    const string sort = "ldapsearch -x -H " + busy.Uri() + " -D cn=root -w kpqz -b dc=com -E !sss=sn ";
    const string hold =
        "(sleep 2 | " + sort + "-E !vlv=0/0/1/0 >/dev/null 2>&1 & p=$!; sleep 0.5; kill $p) &";
    ASSERT_EQ(system(hold.c_str()), 0);
    const string probe = sort + "'(mail=*)' 1.1 >/dev/null 2>&1";  // fails, busy, once the view holds it
    for (int wait = 0; wait < 20 && (usleep(50000), system(probe.c_str()) == 0);) ++wait;
    ASSERT_TRUE(busy.ClearLog());
    EXPECT_EQ(Get(busy, kList).out, ExpectedPage("sorted_first"));
    EXPECT_EQ(busy.ReadLog(), "");  // not read from the whole list
}

TEST(SortedPages, AServerThatCannotSortGivesThePagesCutFromTheWholeList) {
    DirectorySandbox plain(0, "", "no");
    CheckPages(plain);  // fails at its first reset when the server did not start
    ASSERT_TRUE(plain.ClearLog() && Get(plain, kList).exitStatus == 0);  // one log line says why
    EXPECT_TRUE(
        std::regex_match(plain.ReadLog(), std::regex(".* user table .read from the whole list instead. "
                                                     "failed: Critical extension .*\n")));
}

}  // namespace
