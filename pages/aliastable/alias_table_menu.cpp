// The "Build Alias Table" menu: explains the build, warns when the stored
// alias sequence carries the in-progress mark, and offers the build button.
// Reads the directory only; reads no form fields.
#include <cstdio>

#include "aliastable/alias_table_build_sequence.h"
#include "base/limits.h"
#include "directory/directory_session.h"
#include "html/page_frame.h"
#include "pages/aliastable/alias_table_pages.h"
#include "platform/ldapclient/ldapclient.h"

int AliasTableMenu() {
    PrintPageHeader("Build Alias Table");
    ldapClient client;
    if (!OpenDirectory(client)) {
        PrintResultPageAndEnd("Error connecting to LDAP server, Alias Table can not be built");
        return 0;
    }
    printf(
        "<p>This operation extracts all Mail Aliases from the LDAP Directory and builds a separate database.</p>");
    printf(
        "<p>This database is required by the Preprocessor to recognise recipients in incoming messages by their alias name.</p>");

    // The mark only informs: the button stays usable.
    AliasSequence sequence = ReadAliasSequence(client);
    if (sequence.stored && sequence.marked) {
        printf(
            "<p>Warning! Another Mail Alias Table build may already be in progress. "
            "Do not press the \"Build Alias Table\" until the previous build is complete.</p>");
    }

    printf("<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    printf("<input type=\"hidden\" name=\"Command\" value=\"BuildAliasTable\">\n");
    printf("<center><input type=\"submit\" name=\"AliasTable\" value=\"Build Alias Table\"></center>\n");
    printf("</form>");
    PrintPageEnd();
    return 0;
}
