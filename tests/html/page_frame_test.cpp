// Whole-text checks of the page frame, the result box, the error page and the
// validation script.
#include <gtest/gtest.h>

#include "html/page_frame.h"
#include "tests/html/stdout_capture.h"
#include "tests/support/page_texts.h"

using namespace pagetexts;

TEST(PageFrame, FrameResultBoxAndErrorPageComeOutWhole) {
    EXPECT_EQ(CaptureStdout([] {
                  PrintPageHeader("Find User");
                  PrintPageFooter();
                  PrintPageEnd();
              }),
              Header("Find User") + Footer() + PageEnd());
    // The result box's message is printed as given, not as a format.
    EXPECT_EQ(CaptureStdout([] { PrintResultPage("User <b>a@b.c</b> 100%s done\n"); }),
              ResultBox("User <b>a@b.c</b> 100%s done\n"));
    int length = -1;
    EXPECT_EQ(CaptureStdout([&] { length = PrintErrorPage("Find User", "User (%s) not found", "x@y.org"); }),
              ResultPage("Find User", "User (x@y.org) not found"));
    EXPECT_EQ(length, 24);
}

TEST(PageFrame, ValidationScriptNamesTheFieldInBothPlaces) {
    EXPECT_EQ(CaptureStdout([] { PrintEmailValidationScript("MailAlias"); }), R"GOLD(
<script>
<!--
function emailvalidation(entered, alertbox)
{
// Accepts a value whose first "@" has something before it,
// whose last "." stands at least two places after that "@",
// and which ends in two or three characters after that ".".
with (entered)
{
apos=value.indexOf("@");
dotpos=value.lastIndexOf(".");
lastpos=value.length-1;
if (apos<1 || dotpos-apos<2 || lastpos-dotpos>3 || lastpos-dotpos<2) 
{if (alertbox) {alert(alertbox);} return false;}
else {return true;}
}
}
function formvalidation(thisform)
{
with (thisform)
{
if (emailvalidation(MailAlias,"Illegal E-mail Format")==false) {MailAlias.focus(); return false;};
}
}
//-->
</script>
)GOLD");
}
