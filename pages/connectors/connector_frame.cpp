// Shared pieces of the connector pages.
#include "pages/connectors/connector_frame.h"

#include <cstdio>
#include <cstring>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/connectors/connector_values.h"
#include "pages/users/user_identity.h"
#include "platform/ldapclient/ldapclient.h"

const char kConnectorTooLong[] = "Error: connector value longer than 511 characters";
const char kPermissionTooLong[] = "Error: permission value longer than 511 characters";

bool ConnectorFits(const char* value) { return strlen(value) <= kMaxConnectorValueLength; }

std::string RequestFault(std::initializer_list<ExpectedField> fields, const char* otherMailbox) {
    for (const ExpectedField& field : fields)
        if (field.value == nullptr)
            return std::string("Incomplete request: the field \"") + field.name + "\" is missing";
    if (otherMailbox != nullptr && !ConnectorFits(otherMailbox)) return kConnectorTooLong;
    return std::string();
}

bool ConnectorFits(const std::string& channel, const char* second) {
    return channel.size() + 1 + strlen(second) <= kMaxConnectorValueLength;
}

void PrintFormStart(const char* indent) {
    printf("%s<form  METHOD=\"POST\" ACTION=\"%s\">\n", indent, SCRIPT_PATH);
}

void PrintUserRow(const SearchReq* result, const char* mail) {
    printf("<tr>");
    for (const char* name : {"firstname", "sn", "telephoneNumber"})
        printf("<td>%s</td>", HtmlEscape(GetAttrValue(result, name)).c_str());
    printf("<td>%s</td></tr>\n", HtmlEscape(mail).c_str());
}

void PrintFieldRow(const char* label, const std::string& cell) {
    printf("<tr><td align=right bgcolor=2166ab style=\"color:#FFFFFF\">%s</td><td>%s</td></tr>\n", label,
           cell.c_str());
}

std::string ReadOnlyField(const char* name, const char* value) {
    return std::string("<input readonly type=\"text\" name=\"") + name + "\" value=\"" + HtmlEscape(value) +
           "\">";
}

std::string SubmitButton(const char* name, const char* value) {
    return std::string("<input type=\"submit\" name=\"") + name + "\" value=\"" + HtmlEscape(value) + "\">";
}

void PrintHiddenField(const char* indent, const char* name, const char* value) {
    printf("%s<input type=\"hidden\" name=\"%s\" value=\"%s\">\n", indent, name, HtmlEscape(value).c_str());
}

void PrintGoBackRefusal(const char* title, const char* message) {
    PrintPageHeader(title);
    PrintResultPage(message);
    printf("<form>");
    PrintGoBackButton("", false);
    printf("</form>\n");
    PrintPageEnd();
}

SearchResult FindUserToChange(ldapClient& client, const char* mail, bool* connected) {
    *connected = OpenDirectory(client) != nullptr;
    bool failed = false;
    SearchResult result(client, *connected ? FindUserByMail(client, mail, &failed) : nullptr);
    *connected = *connected && !failed;
    if (result && !IsUserIdentity(result.get(), mail)) result.reset();
    return result;
}

bool OpenShownConnector(ldapClient& client, const char* mail, const char* otherMailbox,
                        const char* permission, const ShownConnectorRefusals& refusals, ShownConnector* shown,
                        int* status) {
    *status = 0;
    std::string fault = RequestFault(
        {{"Mail", mail}, {"Othermailbox", otherMailbox}, {"Permission", permission}}, otherMailbox);
    if (!fault.empty()) {
        PrintResultPageAndEnd(fault.c_str());
        return false;
    }
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd(refusals.notConnected);
        *status = refusals.notConnectedStatus;
        return false;
    }
    bool failed = false;
    shown->user.reset(FindUserByMail(client, mail, &failed));
    if (!shown->user) {
        PrintResultPageAndEnd(failed ? refusals.notConnected : refusals.notFound);
        if (failed) *status = refusals.notConnectedStatus;
        return false;
    }
    if (!SplitConnector(otherMailbox, &shown->channel, &shown->identifier)) {
        PrintResultPageAndEnd("Invalid Channel value");
        return false;
    }
    return true;
}

void PrintConnectorCommandCell(const char* mail, const char* otherMailbox, const char* permission,
                               const char* command, const char* label) {
    PrintCommandCell(
        {{"Mail", mail}, {"Othermailbox", otherMailbox}, {"Permission", permission}, {"Command", command}},
        command, label);
}
