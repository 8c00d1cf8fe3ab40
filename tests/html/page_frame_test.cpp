// Whole-text checks of the page frame, the result box, the error page and the
// validation script, captured from standard output.
#include <gtest/gtest.h>

#include <string>

#include "html/page_frame.h"
#include "tests/html/stdout_capture.h"
#include "tests/support/run_cgi.h"

namespace {

const std::string kHeadTemplate = R"GOLD(Content-type: text/html

<html>
<head>
<LINK REL=STYLESHEET HREF="/vemo/style/xomainstylesheet.css"><title>TITLE</title>
</head>
<script>
function popup(url, name, width, height)
{
settings="toolbar=no,location=no,directories=no,"+"status=no,menubar=no,scrollbars=yes,"+"resizable=yes,width="+width+",height="+height;
MyNewWindow=window.open(url,name,settings);
}
</script>
<body>
<table width="100%" border="0" cellspacing="0" cellpadding="0">
<tr>
<td width="150"><img src="../module-pictures/images/left-fade.gif" width="150" height="50" border="0"></td>
<td width="100%" nowrap background="../module-pictures/images/line.gif" class="header">TITLE</td>
<td width="150"><img src="../module-pictures/images/right-fade.gif" width="150" height="50" border="0"></td>
</tr>
</table>
<br>
)GOLD";

const std::string kFooter = R"GOLD(<table width="100%" heighth="10" border="0" cellspacing="0" cellpadding="0">
<tr>
<td width="150" heighth="10"><img src="../module-pictures/images/bot-left-fade.gif" width="150" height="10" border="0"></td>
<td width="100%" heighth="10" background="../module-pictures/images/bot-line.gif"><img src="../module-pictures/images/bot-line.gif" width="150" height="10"></td>
<td width="150" heighth="10"><img src="../module-pictures/images/bot-right-fade.gif" width="150" height="10" border="0"></td>
</tr>
</table>
)GOLD";

const std::string kBoxStart = R"GOLD(<CENTER>
<BR>
<BR>
<BR>
<BR>
<BR>
<BR>
<BR>
<BR>
<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0 WIDTH=500>
<TR>
<TD BGColor=#FEDBCA>
<CENTER> <STRONG>Result
<BR>
<BR>
</TD>
</TR>
<TR>
<TD BGColor=#BBCCBB>
<CENTER>
)GOLD";

const std::string kBoxEnd = "</TD>\n</TR>\n</TABLE>\n";
const std::string kPageEnd = "</body> </html>\n";

std::string Head(const std::string& title) {
    std::string head = kHeadTemplate;
    for (std::size_t at; (at = head.find("TITLE")) != std::string::npos;) head.replace(at, 5, title);
    return head;
}

TEST(PageFrame, HeaderFooterAndEndMakeTheWholeFrame) {
    std::string out = CaptureStdout([] {
        PrintPageHeader("Find User");
        PrintPageFooter();
        PrintPageEnd();
    });
    EXPECT_EQ(out, Head("Find User") + kFooter + kPageEnd);
}

TEST(PageFrame, TitleIsPrintedAsGiven) {
    std::string out = CaptureStdout([] { PrintPageHeader("<i>100% & more</i>"); });
    EXPECT_EQ(out, Head("<i>100% & more</i>"));
}

TEST(PageFrame, SectionBannerIsFooterTitleTableFooter) {
    std::string out = CaptureStdout([] { PrintSectionBanner("Aliases"); });
    EXPECT_EQ(out, kFooter +
                       "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n"
                       "<tr>\n<td width=\"100%\" nowrap class=\"header\">Aliases</td>\n</tr>\n</table>\n" +
                       kFooter + "<BR>");
}

TEST(ResultBox, MessageIsPrintedUnchangedWithoutFormatting) {
    std::string out = CaptureStdout([] { PrintResultPage("User <b>a@b.c</b> 100%s done"); });
    EXPECT_EQ(out, kBoxStart + "User <b>a@b.c</b> 100%s done" + kBoxEnd);
}

TEST(ResultBox, MessageEndingInNewlinePutsTheCellEndOnItsOwnLine) {
    std::string out = CaptureStdout([] { PrintResultPage("Done\n"); });
    EXPECT_EQ(out, kBoxStart + "Done\n" + kBoxEnd);
}

TEST(ErrorPage, InvalidRequestPageIsOneCompleteDocument) {
    int length = -1;
    std::string out = CaptureStdout([&] { length = PrintErrorPage("Internal error", "Invalid CGI values!"); });
    EXPECT_EQ(out, Head("Internal error") + kBoxStart + "Invalid CGI values!" + kBoxEnd + kPageEnd);
    EXPECT_EQ(length, 19);
}

TEST(ErrorPage, FormatIsExpandedAndItsLengthReturned) {
    int length = -1;
    std::string out =
        CaptureStdout([&] { length = PrintErrorPage("Find User", "User (%s) not found", "x@y.org"); });
    EXPECT_EQ(out, Head("Find User") + kBoxStart + "User (x@y.org) not found" + kBoxEnd + kPageEnd);
    EXPECT_EQ(length, 24);
}

TEST(ErrorPage, ExecutableAnswersAnUnknownCommandWithTheWholeErrorPage) {
    ProcessResult result = RunCgiGet("Command=NoSuchCommand");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, Head("Internal error") + kBoxStart + "Invalid CGI values!" + kBoxEnd + kPageEnd);
}

TEST(ValidationScript, NamesTheFieldInBothPlaces) {
    std::string out = CaptureStdout([] { PrintEmailValidationScript("MailAlias"); });
    EXPECT_EQ(out, R"GOLD(
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

}  // namespace
