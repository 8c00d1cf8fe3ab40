// The four alias forms run as the web server runs the program, against the
// sandbox directory: whole pages for a user, for addresses that name no user,
// with markup and odd characters in every printed value, and with the
// directory unreachable. None of them may change the directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "html/page_frame.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/user_page_texts.h"

namespace {
using namespace pagetexts;
using namespace usertexts;
using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

ProcessResult Post(const Fields& fields) { return PostFields(fields, Dir().ConfigDir()); }
string State() { return Dir().Search("", "(objectClass=*)", "*"); }

string ValidationScript() {  // the frame's e-mail check, taken from the frame itself
    testing::internal::CaptureStdout();
    PrintEmailValidationScript("MailAlias");
    return fflush(stdout), testing::internal::GetCapturedStdout();
}

enum Form { kNew, kView, kEdit, kDelete };
struct FormText {
    const char *command, *title, *help;
    bool editable;
};
const FormText kForms[] = {{"NewAlias", "New Alias", "newalias", true},
                           {"ViewAlias", "View Alias", "viewalias", false},
                           {"EditAlias", "Edit Alias", "editalias", true},
                           {"DeleteAlias", "Delete Alias", "delalias", false}};

const string kTd = "\t\t\t\t<td>\n", kTdEnd = "\t\t\t\t</td>\n";
string Hidden(const string& name, const string& value) {
    return "\t\t\t\t\t<input type=\"hidden\" name=\"" + name + "\" value=\"" + Encode(value) + "\">\n";
}
string CommandCell(const string& mail, const string& alias, const string& command, const string& submit) {
    return kTd + "\t\t\t\t\t\t\t\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n" +
           Hidden("Mail", mail) + Hidden("MailAlias", alias) +
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n\t\t\t\t\t" +
           submit + "\n\t\t\t\t</form>\n" + kTdEnd;
}
string Buttons(Form form, const string& mail, const string& alias) {
    const string update = "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateAlias\">\n";
    switch (form) {
        case kNew:
            return GoBackCell(false) + kTd + Hidden("Mail", mail) + update +
                   "\t\t\t\t\t<input type=\"submit\" name=\"Update\" value=\"Add\">\n" + kTdEnd + ResetCell();
        case kView:
            return GoBackCell(true) +
                   CommandCell(mail, alias, "EditAlias",
                               "<input type=\"submit\" name=\"EditConn\" value=\"Edit\">") +
                   CommandCell(mail, alias, "DeleteAlias",
                               "<input type=\"submit\" name=\"DeleteConn\" value=\"Delete\">");
        case kEdit:
            return GoBackCell(false) + kTd + Hidden("Mail", mail) + Hidden("OldMailAlias", alias) + update +
                   "\t\t\t\t\t<input type=\"submit\" name=\"Update\" value=\"Update\">\n" + kTdEnd +
                   ResetCell();
        case kDelete:
            return GoBackCell(true) +
                   CommandCell(mail, alias, "ConfirmDeleteAlias",
                               "<input type=\"submit\" name=\"Confirm\" value=\"Confirm\">");
    }
    return "";
}

// The whole page of a form for the user `p`, asked for with `mail` and `alias`.
string FormPage(Form form, const Person& p, const string& mail, const string& alias) {
    const FormText& f = kForms[form];
    string page =
        Header(f.title) + (f.editable ? ValidationScript() : "") +
        "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<center><table border=\"0\">\n"
        "\t\t\t\t<tr>\n";
    for (const string& cell : {p.first, p.last, p.tel, mail})
        page += "\t\t\t\t\t<td>" + Encode(cell) + "</td>\n";
    page += "\t\t\t\t</tr>\n\t\t\t</table>\n";
    if (f.editable) {
        page +=
            "\t\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\" "
            "onSubmit=\"return formvalidation(this)\" >\n";
    }
    page +=
        "\t\t\t<table border=\"1\">\n\t\t\t<tr>\n"
        "\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">Mail Alias :</td>\n\t\t\t\t<td>\n" +
        (f.editable ? "\t\t\t\t\t<input type=\"text\" name=\"MailAlias\" value=\"" + Encode(alias) + "\">\n"
                    : Encode(alias) + "\n") +
        "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table></center>\n" + Footer();
    page += BarStart("valign=top") + Buttons(form, mail, alias) +
            BarEnd("valign=top align=right", !f.editable, f.help) + (f.editable ? "\t\t\t</form>\n" : "") +
            "\t\t</td>\n\t</tr>\n</table>\n" + PageEnd();
    return page;
}

ProcessResult Open(Form form, const string& mail, const string& alias) {
    Fields fields = {{"Command", kForms[form].command}, {"Mail", mail}};
    if (form != kNew) fields.push_back({"MailAlias", alias});
    return Post(fields);
}

const string kAnn = "ann@example.com";
// Markup in the names, "&" and "%" in aliases.
const Person kAnnPerson = {"<script>alert(1)</script>", "Lee & Sons", "", "", kAnn};

bool Seed() {
    return Dir().Reset(
        "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
        "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
        "dn: mail=" +
        kAnn + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + kAnn +
        "\n"
        "mail: ann.alias@example.com\nmail: a&b@example.com\nmail: per%cent@example.com\n"
        "firstname: <script>alert(1)</script>\nsn: Lee & Sons\n\n"
        "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
        "mail: bob@example.com\nfirstname: Bob\nsn: Brown\ntelephoneNumber: +1 555\n\n");
}

TEST(AliasForms, EachFormForAUserWithOddCharactersAndMarkupEscaped) {
    ASSERT_TRUE(Seed());
    const string before = State();
    struct Case {
        Form form;
        string mail, alias;
    };
    const std::vector<Case> cases = {
        {kNew, kAnn, ""},
        {kNew, "ANN@Example.com", ""},  // the address as asked, letter case and all
        {kView, kAnn, "ann.alias@example.com"},
        {kEdit, kAnn, "a&b@example.com"},  // &#38; in the input and in OldMailAlias
        {kEdit, kAnn, "per%cent@example.com"},
        {kDelete, kAnn, "a&b@example.com"},
        {kView, kAnn, ""},
    };
    for (const Case& c : cases) {
        ProcessResult r = Open(c.form, c.mail, c.alias);
        EXPECT_EQ(r.exitStatus, 0) << kForms[c.form].command << " " << c.alias;
        EXPECT_EQ(r.out, FormPage(c.form, kAnnPerson, c.mail, c.alias))
            << kForms[c.form].command << " " << c.alias;
    }
    // The telephone number where there is one.
    const Person bob = {"Bob", "Brown", "+1 555", "", "bob@example.com"};
    EXPECT_EQ(Open(kView, bob.mail, "b@example.com").out, FormPage(kView, bob, bob.mail, "b@example.com"));
    EXPECT_EQ(State(), before);
}

TEST(AliasForms, AddressesThatNameNoUserAndAnAbsentMail) {
    ASSERT_TRUE(Seed());
    const string before = State();
    for (Form form : {kNew, kView, kEdit, kDelete}) {
        const string title = kForms[form].title;
        // An unknown address, an alias.
        for (const string& mail : {string("nobody@example.com"), string("ann.alias@example.com")}) {
            ProcessResult r = Open(form, mail, "ann.alias@example.com");
            EXPECT_EQ(r.exitStatus, 0) << title << " " << mail;
            EXPECT_EQ(r.out, ResultPage(title, "User not found, no Aliases can be displayed"))
                << title << mail;
        }
    }
    // No Mail: the first user alone; an empty address cell.
    ProcessResult r = Post({{"Command", "NewAlias"}});
    EXPECT_EQ(r.out, FormPage(kNew, {kAnnPerson.first, kAnnPerson.last, "", "", ""}, "", ""));
    EXPECT_EQ(State(), before);
}

TEST(AliasForms, DirectoryUnreachableEndsWithStatusOne) {
    ASSERT_TRUE(Seed());
    ASSERT_TRUE(Dir().WriteRawConfig("[Ldap]\nHostName=127.0.0.1\nPort=1\n"));
    std::vector<ProcessResult> runs;
    for (Form form : {kNew, kView, kEdit, kDelete}) runs.push_back(Open(form, kAnn, "ann.alias@example.com"));
    ASSERT_TRUE(Dir().WriteConfig());
    for (Form form : {kNew, kView, kEdit, kDelete}) {
        EXPECT_EQ(runs[form].exitStatus, 1) << kForms[form].title;
        EXPECT_EQ(runs[form].out, ResultPage(kForms[form].title, "Error connecting to LDAP port on server"));
    }
}

}  // namespace
