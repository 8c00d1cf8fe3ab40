// Expected texts of the page frame, written out from its templates.
#include "tests/support/page_texts.h"

namespace pagetexts {

std::string Header(const std::string& title) {
    return "Content-type: text/html\n"
           "\n"
           "<html>\n"
           "<head>\n"
           "<LINK REL=STYLESHEET HREF=\"/vemo/style/xomainstylesheet.css\"><title>" +
           title +
           "</title>\n"
           "</head>\n"
           "<script>\n"
           "function popup(url, name, width, height)\n"
           "{\n"
           "settings=\"toolbar=no,location=no,directories=no,\"+\"status=no,menubar=no,scrollbars=yes,\"+"
           "\"resizable=yes,width=\"+width+\",height=\"+height;\n"
           "MyNewWindow=window.open(url,name,settings);\n"
           "}\n"
           "</script>\n"
           "<body>\n"
           "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n"
           "<tr>\n"
           "<td width=\"150\"><img src=\"../module-pictures/images/left-fade.gif\" width=\"150\" height=\"50\" border=\"0\"></td>\n"
           "<td width=\"100%\" nowrap background=\"../module-pictures/images/line.gif\" class=\"header\">" +
           title +
           "</td>\n"
           "<td width=\"150\"><img src=\"../module-pictures/images/right-fade.gif\" width=\"150\" height=\"50\" border=\"0\"></td>\n"
           "</tr>\n"
           "</table>\n"
           "<br>\n";
}

std::string Footer() {
    return "<table width=\"100%\" heighth=\"10\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n"
           "<tr>\n"
           "<td width=\"150\" heighth=\"10\"><img src=\"../module-pictures/images/bot-left-fade.gif\" width=\"150\" height=\"10\" border=\"0\"></td>\n"
           "<td width=\"100%\" heighth=\"10\" background=\"../module-pictures/images/bot-line.gif\"><img src=\"../module-pictures/images/bot-line.gif\" width=\"150\" height=\"10\"></td>\n"
           "<td width=\"150\" heighth=\"10\"><img src=\"../module-pictures/images/bot-right-fade.gif\" width=\"150\" height=\"10\" border=\"0\"></td>\n"
           "</tr>\n"
           "</table>\n";
}

std::string ResultBox(const std::string& message) {
    return "<CENTER>\n"
           "<BR>\n<BR>\n<BR>\n<BR>\n<BR>\n<BR>\n<BR>\n<BR>\n"
           "<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0 WIDTH=500>\n"
           "<TR>\n"
           "<TD BGColor=#FEDBCA>\n"
           "<CENTER> <STRONG>Result\n"
           "<BR>\n<BR>\n"
           "</TD>\n"
           "</TR>\n"
           "<TR>\n"
           "<TD BGColor=#BBCCBB>\n"
           "<CENTER>\n" +
           message +
           "</TD>\n"
           "</TR>\n"
           "</TABLE>\n";
}

std::string PageEnd() { return "</body> </html>\n"; }

std::string ResultPage(const std::string& title, const std::string& message) {
    return Header(title) + ResultBox(message) + PageEnd();
}

std::string Help(const std::string& tabs, const std::string& topic) {
    return tabs + "<input type=\"button\" name=\"Help\" value=\"Help\" onClick=\"popup('/vemo/help/ldap/" +
           "sysadmin/" + topic + ".htm', 'LDAP', 400,400);\">\n";
}

std::string BarStart(const std::string& row) {
    return "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<table border=\"0\">\n\t\t\t<tr" +
           (row.empty() ? "" : " " + row) + ">\n";
}

std::string GoBackCell(bool ownForm) {
    const std::string button =
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n";
    return "\t\t\t\t<td>\n" + (ownForm ? "\t\t\t\t<form>\n" + button + "\t\t\t\t</form>\n" : button) +
           "\t\t\t\t</td>\n";
}

std::string ResetCell() {
    return "\t\t\t\t<td>\n\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n\t\t\t\t</td>\n";
}

std::string BarEnd(const std::string& helpCell, bool helpForm, const std::string& topic) {
    return "\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td " + helpCell + ">\n" +
           (helpForm ? "\t\t<form>\n" + Help("\t\t\t", topic) + "\t\t</form>\n" : Help("\t\t\t", topic)) +
           "\t\t</td>\n\t</tr>\n</table>\n";
}

}  // namespace pagetexts
