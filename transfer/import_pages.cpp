// ImportUsersMenu, the form that uploads a user file, and ImportUsers, which
// checks the uploaded file whole and, asked to and with no row refused,
// writes it; both answer with a page of counts, the refused rows, the rows
// an update changes, and what was written. The upload is read from the
// request's own upload folder, which goes when the request ends.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/limits.h"
#include "cgi/request_uploads.h"
#include "directory/directory_session.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "transfer/import_run.h"
#include "transfer/import_text.h"
#include "transfer/transfer_pages.h"

namespace {

constexpr char kTitle[] = "Import Users";
constexpr char kLabelCell[] = "<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">";

void PrintFieldRow(const char* label, const std::string& field) {
    printf("\t\t\t<tr>\n\t\t\t\t%s%s</td>\n\t\t\t\t<td>%s</td>\n\t\t\t</tr>\n", kLabelCell, label,
           field.c_str());
}

// A table of rows: line, mail and the note's text, escaped.
void PrintNotes(const char* heading, const std::vector<RowNote>& notes) {
    if (notes.empty()) return;
    printf("\t\t\t<center>\n\t\t\t<table border=\"1\">\n\t\t\t<tr>%sLine</td>%sMail</td>%s%s</td></tr>\n",
           kLabelCell, kLabelCell, kLabelCell, heading);
    for (const RowNote& note : notes)
        printf("\t\t\t<tr><td>%ld</td><td>%s</td><td>%s</td></tr>\n", note.line,
               HtmlEscape(note.mail.c_str()).c_str(), HtmlEscape(note.text.c_str()).c_str());
    printf("\t\t\t</table>\n\t\t\t</center>\n");
}

void PrintReport(const ImportReport& report, const std::string& outcome) {
    PrintPageHeader(kTitle);
    PrintLayoutStart();
    printf("\t\t\t<center>\n\t\t\t<table border=\"1\">\n");
    for (int kind = 0; kind < kRowKinds; ++kind)
        PrintFieldRow(kRowKindNames[kind], std::to_string(report.counts[kind]));
    printf("\t\t\t</table>\n\t\t\t</center>\n");
    PrintNotes("Refused because", report.refused);
    PrintNotes("Changes", report.updated);
    if (report.counts[kRowUpdate] > report.updated.size())
        printf("\t\t\t<center>%zu more updated rows not shown</center>\n",
               report.counts[kRowUpdate] - report.updated.size());
    PrintLayoutEnd();
    PrintResultPage(HtmlEscape(outcome.c_str()).c_str());
    PrintPageEnd();
}

}  // namespace

int ImportUsersMenu() {
    PrintPageHeader(kTitle);
    printf("<form  METHOD=\"POST\" ACTION=\"%s\" ENCTYPE=\"multipart/form-data\">\n", SCRIPT_PATH);
    printf("<input type=\"hidden\" name=\"Command\" value=\"ImportUsers\">\n");
    PrintLayoutStart();
    printf("\t\t\t<center>\n\t\t\t<table border=\"1\">\n");
    PrintFieldRow("User file (CSV):", "<input type=\"file\" name=\"File\">");
    PrintFieldRow("Write the users:", "<input type=\"checkbox\" name=\"Apply\" value=\"yes\">");
    printf("\t\t\t</table>\n\t\t\t</center>\n");
    printf("\t\t\t<p>%s</p>\n", kImportRules);
    PrintLayoutEnd();
    PrintPageFooter();
    PrintButtonBarStart("valign=top");
    PrintCommandCell({}, "Submit", "Check", nullptr);
    PrintResetCell();
    PrintButtonBarEnd("align=right", HelpIn::kPageForm, "importusers");
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}

int ImportUsers(const char* file, const char* apply) {
    const char* folder = RequestUploadFolder();
    // The upload's own name: a plain file name of the request's folder.
    if (file == nullptr || file[0] == '\0' || file[0] == '.' || strchr(file, '/') != nullptr ||
        folder == nullptr) {
        PrintErrorPage(kTitle, "No file was sent");
        return 0;
    }
    ImportFile rows;
    const std::string path = std::string(folder) + "/" + file;
    const std::string refusal = ReadImportFile(path.c_str(), &rows);
    if (!refusal.empty()) {
        PrintErrorPage(kTitle, "%s", HtmlEscape(refusal.c_str()).c_str());
        return 0;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintErrorPage(kTitle, "Error connecting to LDAP server");
        return 0;
    }
    const bool write = apply != nullptr && std::string(apply) == "yes";
    ImportReport report;
    ImportReport written;
    RunImport(client, rows, write, &report, &written);
    client.ldapClientUnbind();
    PrintReport(report, ImportOutcome(report, write, written));
    return 0;
}
