// The HTTP and HTML emitters: exact output of each printer, and the text
// conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "cgi/emitters.h"
#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"

namespace {

TEST(FrameEmitters, ContentTypeAndTables) {
    EXPECT_EQ(CaptureStdout([] { PrintContentType(); }), "Content-type: text/html\n\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("CENTER", 1, 2, 3, "100%"); }),
              "<TABLE ALIGN=CENTER BORDER=1 CELLSPACING=2 CELLPADDING=3 WIDTH=100%>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("LEFT", 0, -1, 4, nullptr); }),
              "<TABLE ALIGN=LEFT BORDER=0 CELLSPACING=-1 CELLPADDING=4>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 0, 0, 0, "500"); }),
              "<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0 WIDTH=500>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 2, 5, 6, nullptr); }),
              "<TABLE BORDER=2 CELLSPACING=5 CELLPADDING=6>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableEnd(); }), "</TABLE>\n");
}

TEST(HeaderEmitters, ExactLines) {
    EXPECT_EQ(CaptureStdout([] { PrintMimeHeader("text/plain"); }), "Content-type: text/plain\n\n");
    EXPECT_EQ(CaptureStdout([] { PrintNphHeader("200 OK"); }), "HTTP/1.0 200 OK\nServer: CGI using ldapcgi\n");
    EXPECT_EQ(CaptureStdout([] { PrintLocation("/x?a=1"); }), "Location: /x?a=1\n\n");
    EXPECT_EQ(CaptureStdout([] { PrintStatus("404 Not Found"); }), "Status: 404 Not Found\n");
    EXPECT_EQ(CaptureStdout([] { PrintPragma("no-cache"); }), "Pragma: no-cache\n");
}

TEST(HeaderEmitters, SetCookieParts) {
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", nullptr, nullptr, nullptr, 0); }),
              "Set-Cookie: id=42;\n");
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", "Fri, 01 Jan 2027", "/", "ex.org", 1); }),
              "Set-Cookie: id=42; EXPIRES=Fri, 01 Jan 2027; PATH=/; DOMAIN=ex.org; SECURE\n");
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", nullptr, "/p", nullptr, 7); }),
              "Set-Cookie: id=42; PATH=/p; SECURE\n");
}

TEST(DocumentEmitters, HtmlBeginWithAndWithoutRefresh) {
    EXPECT_EQ(CaptureStdout([] { PrintHtmlBegin("T", nullptr, "FFFFFF"); }),
              "<html> <head>\n<title>T</title>\n</head>\n\n<body BGColor=#FFFFFF>\n");
    EXPECT_EQ(CaptureStdout([] { PrintHtmlBegin("T", "5; URL=/x", "000000"); }),
              "<html> <head>\n<title>T</title>\n<META HTTP-EQUIV=Refresh CONTENT=\"5; URL=/x\"></head>\n\n"
              "<body BGColor=#000000>\n");
}

TEST(DocumentEmitters, HeadingsAndHiddenField) {
    EXPECT_EQ(CaptureStdout([] {
                  PrintH1("a");
                  PrintH2("b");
                  PrintH3("c");
                  PrintH4("d");
                  PrintH5("e");
                  PrintH6("<i>f</i>");
              }),
              "<h1>a</h1>\n<h2>b</h2>\n<h3>c</h3>\n<h4>d</h4>\n<h5>e</h5>\n<h6><i>f</i></h6>\n");
    EXPECT_EQ(CaptureStdout([] { PrintHiddenField("Mail", "a@b"); }),
              "<input type=hidden name=\"Mail\" value=\"a@b\">\n");
}

TEST(DocumentEmitters, CgiEnvironmentInOrderOnlySetVariables) {
    ClearCgiEnvironment();
    setenv("HTTP_USER_AGENT", "agent", 1);
    setenv("SERVER_SOFTWARE", "lighttpd", 1);
    setenv("QUERY_STRING", "", 1);
    setenv("CONTENT_LENGTH", "12", 1);
    setenv("SERVER_NAME", "host", 1);
    EXPECT_EQ(CaptureStdout([] { PrintCgiEnvironment(); }),
              "<p>SERVER_SOFTWARE = lighttpd<br>\n"
              "SERVER_NAME = host<br>\n"
              "QUERY_STRING = <br>\n"
              "CONTENT_LENGTH = 12<br></p>\n"
              "HTTP_USER_AGENT = agent<br></p>\n");
    ClearCgiEnvironment();
    EXPECT_EQ(CaptureStdout([] { PrintCgiEnvironment(); }), "");
}

TEST(DocumentEmitters, FormEntriesEscapeOnlyValueBrackets) {
    FormEntryList list = {nullptr};
    FormEntry* last = FormEntryListInsertAfter(list, nullptr, "<n>", "a<b>&c");
    FormEntryListInsertAfter(list, last, "empty", "");
    EXPECT_EQ(CaptureStdout([&] { PrintFormEntries(list); }),
              "<dl>\n  <dt> <b><n></b>\n  <dd> a&lt;b&gt;&c\n  <dt> <b>empty</b>\n  <dd> \n</dl>\n");
    FormEntryListClear(list);
    EXPECT_EQ(CaptureStdout([&] { PrintFormEntries(list); }), "<dl>\n</dl>\n");
}

TEST(FormEmitters, FormStartAndEnd) {
    EXPECT_EQ(CaptureStdout([] { PrintFormStart("/cgi", "POST", "multipart/form-data"); }),
              "<FORM  ACTION=\"/cgi\" METHOD=\"POST\" ENCTYPE=\"multipart/form-data\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintFormStart("/cgi", "GET", nullptr); }),
              "<FORM  ACTION=\"/cgi\" METHOD=\"GET\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintFormEnd(); }), "</FORM>\n");
}

TEST(FormEmitters, TextInputFourForms) {
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", "v", 10, 5); }),
              "<INPUT NAME=\"x\" VALUE=\"v\" TYPE=text MAXLENGTH=\"10\" SIZE=\"5\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", nullptr, 1, -3); }),
              "<INPUT NAME=\"x\" TYPE=text MAXLENGTH=\"1\" SIZE=\"21\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", "", 0, 0); }),
              "<INPUT NAME=\"x\" VALUE=\"\" TYPE=text SIZE=\"0\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", nullptr, 0, -1); }), "<INPUT NAME=\"x\" TYPE=text SIZE=\"21\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", nullptr, -4, 8); }), "<INPUT NAME=\"x\" TYPE=text SIZE=\"8\">\n");
}

TEST(FormEmitters, PasswordInput) {
    EXPECT_EQ(CaptureStdout([] { PrintPasswordInput("p", "s", 8, -1); }),
              "<INPUT NAME=\"p\" VALUE=\"s\" TYPE=password MAXLENGTH=\"8\" SIZE=\"21\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintPasswordInput("p", "s", 0, 12); }),
              "<INPUT NAME=\"p\" VALUE=\"s\" TYPE=password SIZE=\"12\">\n");
}

TEST(FormEmitters, ChoicesAndButtons) {
    EXPECT_EQ(CaptureStdout([] { PrintHiddenInput("Command", "FindUser"); }),
              "<INPUT TYPE=HIDDEN NAME=\"Command\" VALUE=\"FindUser\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintRadioButton("r", "1", 1); }), "<INPUT TYPE=RADIO NAME=\"r\" VALUE=\"1\" CHECKED>\n");
    EXPECT_EQ(CaptureStdout([] { PrintRadioButton("r", "2", 0); }), "<INPUT TYPE=RADIO NAME=\"r\" VALUE=\"2\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintCheckbox("c", "ignored", 1); }),
              "<INPUT TYPE=CHECKBOX NAME=\"c\" VALUE=\"YES\" CHECKED>\n");
    EXPECT_EQ(CaptureStdout([] { PrintCheckbox("c", "ignored", 0); }), "<INPUT TYPE=CHECKBOX NAME=\"c\" VALUE=\"YES\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintSelectStart("s", 3, 1); }), "<SELECT NAME=\"s\" SIZE=\"3\" MULTIPLE>\n");
    EXPECT_EQ(CaptureStdout([] { PrintSelectStart("s", 1, 0); }), "<SELECT NAME=\"s\" SIZE=\"1\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintOption("v", "Label", 1); }), "<OPTION VALUE=v SELECTED> Label\n");
    EXPECT_EQ(CaptureStdout([] { PrintOption(nullptr, "Label", 1); }), "<OPTION SELECTED> Label\n");
    EXPECT_EQ(CaptureStdout([] { PrintOption("v", "Label", 0); }), "<OPTION VALUE=v> Label\n");
    EXPECT_EQ(CaptureStdout([] { PrintOption(nullptr, "Label", 0); }), "<OPTION> Label\n");
    EXPECT_EQ(CaptureStdout([] { PrintSelectEnd(); }), "</SELECT>\n");
    EXPECT_EQ(CaptureStdout([] { PrintSubmitButton("Submit", "Go"); }),
              "<INPUT TYPE=submit NAME=\"Submit\" VALUE=\"Go\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintResetButton("Clear"); }), "<INPUT TYPE=reset VALUE=\"Clear\">\n");
}

std::string Take(char* text) {
    std::string s = text ? text : "<null>";
    free(text);
    return s;
}

TEST(TextConversions, Escapes) {
    EXPECT_EQ(Take(EscapeAngleBrackets("<<a>&\"b\">")), "&lt;&lt;a&gt;&\"b\"&gt;");
    EXPECT_EQ(Take(EscapeAngleBrackets("")), "");
    EXPECT_EQ(Take(EscapeForShell("a b;c$D9")), "a\\ b\\;c\\$D9");
    EXPECT_EQ(Take(EscapeForShell("\xC4x")), "\\\xC4x");
}

TEST(TextConversions, Substring) {
    EXPECT_EQ(Take(Substring(nullptr, 0, 1)), "<null>");
    EXPECT_EQ(Take(Substring("abcdef", 1, 3)), "bcd");
    EXPECT_EQ(Take(Substring("abcdef", 0, 0)), "");
    EXPECT_EQ(Take(Substring("abcdef", 6, 2)), "");          // at the end: nothing left
    EXPECT_EQ(Take(Substring("abcdef", 7, 1)), "<null>");    // beyond the text
    EXPECT_EQ(Take(Substring("abcdef", -1, 2)), "ef");       // -1 + 6 - 1 = 4
    EXPECT_EQ(Take(Substring("abcdef", -5, 1)), "a");        // -5 + 6 - 1 = 0
    EXPECT_EQ(Take(Substring("abcdef", -6, 1)), "<null>");   // below 0 after counting
    EXPECT_EQ(Take(Substring("abcdef", 4, 100)), "ef");      // stops at the end of the text
    EXPECT_EQ(Take(Substring("abcdef", 2, -3)), "");
}

TEST(TextConversions, IntToTextAndAcceptsImages) {
    EXPECT_STREQ(IntToText(0), "0");
    EXPECT_STREQ(IntToText(-42), "-42");
    EXPECT_STREQ(IntToText(INT_MIN), "-2147483648");
    const char* first = IntToText(123456);
    IntToText(7);
    EXPECT_STREQ(first, "7");   // one static buffer, overwritten
    unsetenv("HTTP_ACCEPT");
    EXPECT_FALSE(AcceptsImages());
    setenv("HTTP_ACCEPT", "text/html,image/webp", 1);
    EXPECT_TRUE(AcceptsImages());
    setenv("HTTP_ACCEPT", "text/html", 1);
    EXPECT_FALSE(AcceptsImages());
    unsetenv("HTTP_ACCEPT");
}

}  // namespace
