// Exact output of the emitters whose forms vary with their arguments.
#include <gtest/gtest.h>

#include "cgi/emitters.h"
#include "tests/html/stdout_capture.h"

TEST(Emitters, TableStartSetCookieAndTextInputForms) {
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("CENTER", 1, 2, 3, "100%"); }),
              "<TABLE ALIGN=CENTER BORDER=1 CELLSPACING=2 CELLPADDING=3 WIDTH=100%>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("LEFT", 0, -1, 4, nullptr); }),
              "<TABLE ALIGN=LEFT BORDER=0 CELLSPACING=-1 CELLPADDING=4>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 0, 0, 0, "500"); }),
              "<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0 WIDTH=500>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 2, 5, 6, nullptr); }),
              "<TABLE BORDER=2 CELLSPACING=5 CELLPADDING=6>\n");
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", nullptr, nullptr, nullptr, 0); }), "Set-Cookie: id=42;\n");
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", "Fri, 01 Jan 2027", "/", "ex.org", 1); }),
              "Set-Cookie: id=42; EXPIRES=Fri, 01 Jan 2027; PATH=/; DOMAIN=ex.org; SECURE\n");
    EXPECT_EQ(CaptureStdout([] { PrintSetCookie("id", "42", nullptr, "/p", nullptr, 7); }),
              "Set-Cookie: id=42; PATH=/p; SECURE\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", "v", 10, 5); }),
              "<INPUT NAME=\"x\" VALUE=\"v\" TYPE=text MAXLENGTH=\"10\" SIZE=\"5\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", nullptr, 1, -3); }),
              "<INPUT NAME=\"x\" TYPE=text MAXLENGTH=\"1\" SIZE=\"21\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", "", 0, 0); }), "<INPUT NAME=\"x\" VALUE=\"\" TYPE=text SIZE=\"0\">\n");
    EXPECT_EQ(CaptureStdout([] { PrintTextInput("x", nullptr, -4, 8); }), "<INPUT NAME=\"x\" TYPE=text SIZE=\"8\">\n");
}
