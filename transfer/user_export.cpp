// ExportUsers: the matching users as a file to download, CSV or LDIF, each
// entry written out as the search delivers it (one entry in memory at a
// time; the LDIF remembers only the domain entries it has written). The
// search is the user list's, narrowed to the login's domains; an entry not
// named by a mail= DN is no user of ours and is left out. Reads only.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/mail_holders.h"
#include "directory/primary_address.h"
#include "html/page_frame.h"
#include "pages/domains/sub_domains.h"
#include "pages/users/list_filter.h"
#include "transfer/transfer_pages.h"
#include "transfer/user_csv.h"
#include "transfer/user_ldif.h"

namespace {

// The last line of a file that the directory's size limit cut, and of one
// that another failure of the search (a timeout, a lost connection) cut.
constexpr char kExportCut[] = "export incomplete: the directory's size limit cut this file";
constexpr char kExportBroken[] = "export incomplete: the directory's search failed before its end";

constexpr char kTitle[] = "Export Users";
const char* const kCsvAttributes[] = {"mail",          "firstname",    "sn",           "telephoneNumber",
                                      "streetaddress", "othermailbox", "x-permission", nullptr};
const char* const kLdifAttributes[] = {"*", nullptr};

std::string Text(const berval& value) { return std::string(value.bv_val, value.bv_len); }

// The column an attribute of the CSV fills; -1 for none.
int ColumnOf(const berval& name) {
    static const struct {
        const char* name;
        int column;
    } kColumns[] = {{"mail", kColAliases},
                    {"othermailbox", kColConnectors},
                    {"x-permission", kColPermissions},
                    {"firstname", kColFirstName},
                    {"sn", kColLastName},
                    {"telephoneNumber", kColTelephone},
                    {"streetaddress", kColAddress}};
    for (const auto& known : kColumns)
        if (BervalIs(name, known.name)) return known.column;
    return -1;
}

// The CSV row of one user entry `dn` whose primary address is `mail`:
// single values the first of each, lists blank-separated, the primary
// address in any spelling not among the aliases. "" when the directory did
// not say which mail values are that spelling (the export then stops: a
// guess could list or leave out an alias wrongly).
std::string CsvRow(ldapClient& client, StreamedEntry& entry, const std::string& dn, const std::string& mail) {
    std::string cells[kUserColumnCount];
    cells[kColMail] = mail;
    bool seen[kUserColumnCount] = {};
    std::vector<std::string> mails;
    berval name;
    berval* values;
    while (entry.NextAttribute(&name, &values)) {
        const int column = ColumnOf(name);
        for (int i = 0; column >= 0 && values != nullptr && values[i].bv_val != nullptr; ++i) {
            const berval& value = values[i];
            if (column == kColAliases) {
                mails.push_back(Text(value));
            } else if (column > kColAliases) {
                AppendListValue(&cells[column], value.bv_val, value.bv_len);
            } else if (!seen[column]) {
                cells[column].assign(value.bv_val, value.bv_len);
            }
            seen[column] = true;
        }
    }
    // The naming value in another spelling (another tool may store one) is no alias.
    std::vector<std::string> aliases;
    if (!AliasValues(client, dn, mail, mails, &aliases)) {
        LogPrintf(kLogError,
                  "ExportUsers: the directory did not say which mail values of %.300s are its naming value",
                  dn.c_str());
        return "";
    }
    for (const std::string& alias : aliases) AppendListValue(&cells[kColAliases], alias.data(), alias.size());
    std::string row;
    for (int column = 0; column < kUserColumnCount; ++column) {
        if (column > 0) row.push_back(',');
        AppendCsvCell(&row, cells[column]);
    }
    return row.append("\r\n");
}

// The domain entries above `dn` that the file lacks yet, top-down.
void AppendDomainEntries(const std::string& dn, std::set<std::string>* written, std::string* out) {
    std::vector<std::string> missing;
    for (std::string parent = ParentDn(dn); !parent.empty(); parent = ParentDn(parent)) {
        std::vector<std::string> labels;
        if (written->count(parent) != 0 || !DcLabels(parent.c_str(), &labels)) break;
        missing.push_back(parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::vector<std::string> labels;
        DcLabels(it->c_str(), &labels);
        AppendLdifLine(out, "dn", it->data(), it->size());
        AppendLdifLine(out, "objectClass", "domain", 6);
        AppendLdifLine(out, "dc", labels[0].data(), labels[0].size());
        out->push_back('\n');
        written->insert(*it);
    }
}

// Appends the LDIF record of one entry, as stored, after its missing
// domain entries.
void AppendLdifRecord(StreamedEntry& entry, std::set<std::string>* written, std::string* out) {
    const std::string dn = Text(entry.Dn());
    AppendDomainEntries(dn, written, out);
    AppendLdifLine(out, "dn", dn.data(), dn.size());
    berval name;
    berval* values;
    std::string attribute;
    while (entry.NextAttribute(&name, &values)) {
        attribute.assign(name.bv_val, name.bv_len);
        for (int i = 0; values != nullptr && values[i].bv_val != nullptr; ++i)
            AppendLdifLine(out, attribute.c_str(), values[i].bv_val, values[i].bv_len);
    }
    out->push_back('\n');
}

}  // namespace

int ExportUsers(const char* firstName, const char* lastName, const char* mail, const char* special,
                const char* format, const char* domain) {
    const bool csv = format != nullptr && strcasecmp(format, "csv") == 0;
    if (!csv && (format == nullptr || strcasecmp(format, "ldif") != 0)) {
        PrintErrorPage(kTitle, "Unknown export format");
        return 0;
    }
    std::string filter = "(objectClass=xoperson)";
    std::string base;
    int scope = LDAP_SCOPE_SUBTREE;
    if (domain != nullptr) {
        if (DomainTooLong(domain)) {
            PrintErrorPage(kTitle, "Error: domain name too long");
            return 0;
        }
        base = DomainBaseDn(domain);
        scope = LDAP_SCOPE_ONELEVEL;
    } else if (!BuildListFilter(firstName, lastName, mail, special, &filter)) {
        PrintErrorPage(kTitle, "Error: search values too long");
        return 0;
    }
    filter = ScopedFilter(RequestScope(), filter.c_str());
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintErrorPage(kTitle, "Error connecting to LDAP server");
        return 0;
    }
    printf("Content-type: %s\nContent-Disposition: attachment; filename=\"users.%s\"\n\n",
           csv ? "text/csv; charset=utf-8" : "text/plain; charset=utf-8", csv ? "csv" : "ldif");
    std::string head;
    if (csv) {
        for (int column = 0; column < kUserColumnCount; ++column)
            head.append(column > 0 ? "," : "").append(kUserColumnNames[column]);
        head.append("\r\n");
    } else {
        head = "version: 1\n\n";
    }
    // A write that fails (the browser has gone: the web server closed the
    // pipe) stops the search rather than reading the rest for no one.
    int writeError = 0;
    auto send = [&writeError](const std::string& bytes) {
        if (writeError == 0 && fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
            writeError = errno;
        return writeError == 0;
    };
    send(head);
    std::set<std::string> written;
    std::string text;  // one entry's lines, its room kept for the next
    long skipped = 0;
    bool rowFailed = false;
    // The whole file, not cut by RecordLimit (which bounds the pages).
    int result = ForEachEntryWithControls(
        client, base.c_str(), scope, filter.c_str(), csv ? kCsvAttributes : kLdifAttributes,
        "The search for the exported users", nullptr, 0, nullptr, [&](StreamedEntry& entry) {
            const std::string dn = Text(entry.Dn());
            std::string primary;
            if (!PrimaryAddressFromDn(dn.c_str(), &primary) ||
                !AddressInScope(RequestScope(), primary.c_str())) {
                ++skipped;
                return true;
            }
            text.clear();
            if (csv)
                text = CsvRow(client, entry, dn, primary);
            else
                AppendLdifRecord(entry, &written, &text);
            rowFailed = text.empty();
            return !rowFailed && send(text);
        });
    if (rowFailed) result = LDAP_OTHER;
    if (skipped > 0)
        LogPrintf(kLogError,
                  "ExportUsers: %ld entries not named by a mail address of the login's domains left out",
                  skipped);
    // Cut by the server's size limit or by a failed search: the file says so
    // in a last line that the import and ldapadd refuse, so that it is never
    // taken whole.
    if (result != LDAP_SUCCESS && writeError == 0) {
        const bool sizeLimit = result == LDAP_SIZELIMIT_EXCEEDED;
        if (sizeLimit) LogPrintf(kLogError, "ExportUsers: the directory's size limit cut the export");
        send(std::string(sizeLimit ? kExportCut : kExportBroken) + (csv ? "\r\n" : "\n"));
    }
    // The last block still waits in the output buffer: its write counts too.
    if (writeError == 0 && fflush(stdout) != 0) writeError = errno;
    if (writeError != 0)
        LogPrintf(kLogError, "ExportUsers: the file could not be sent (%s); the export stopped",
                  strerror(writeError));
    client.ldapClientUnbind();
    // A cut file cannot be taken back; the exit status and the log say so.
    return result == LDAP_SUCCESS && writeError == 0 ? 0 : 1;
}
