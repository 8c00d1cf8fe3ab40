// The e-mail validation script as a whole text: the page tests take it from
// the frame itself, so this is where its text is checked.
#include <gtest/gtest.h>

#include "html/page_frame.h"
#include "tests/html/stdout_capture.h"

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
