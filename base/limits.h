// The system's limits in one place: buffer sizes and maximum lengths that
// bound every input. Each platform stand-in keeps its own in its folder's *_limits.h.
#ifndef LDAPCGI_BASE_LIMITS_H
#define LDAPCGI_BASE_LIMITS_H

#include <cstddef>

// Path every form and link posts back to.
constexpr char SCRIPT_PATH[] = "/vemo/cgi-bin/ldapcgi.cgi";
// Application name handed to the log service and the start-up library.
constexpr char APPLICATION_NAME[] = "LDAP CGI";

constexpr std::size_t kTextBufferSize = 1024;         // the common text buffer
constexpr std::size_t kPageOutputBufferSize = 65536;  // standard output's buffer
constexpr std::size_t kMaxPostDataLength = 8192;      // MAX_POST_DATA_LENGTH
constexpr std::size_t kMultipartLineSize = 8192;      // pieces of a multipart line
constexpr std::size_t kMultipartValueStep = 8192;     // growth of a multipart value
constexpr std::size_t kMaxMultipartDataLength = 32 * 1024 * 1024;  // a multipart body, in bytes
constexpr std::size_t kMaxMultipartBoundaryLength = 70;             // RFC 2046
constexpr std::size_t kMaxMultipartParts = 64;                      // parts of one multipart body
constexpr std::size_t kLogLineSize = 1024;            // LogPrintf buffer, terminator included
constexpr std::size_t kMaxMailAddressLength = 255;    // ValidateMailAddress input
constexpr std::size_t kMaxDomainNameLength = 255;     // DomainToDn input
constexpr std::size_t kMaxDomainDnLength = 1023;      // a domain named by its dc= DN in a link
constexpr std::size_t kMaxFormAddressLength = 511;    // Mail / Address form fields
constexpr std::size_t kMaxAliasKeyLength = 127;       // longest alias the alias table's key holds whole
constexpr std::size_t kMaxLongAliasesNamed = 10000;   // aliases filling the key a build remembers the owners of
constexpr std::size_t kListFilterSize = 1200;         // ListUsers filter buffer
constexpr std::size_t kPathBufferSize = 4096;         // a path, terminator included; a relation's name
constexpr std::size_t kSumReadChunkSize = 65536;      // read at a time when a table file is summed
constexpr std::size_t kGenerationNameSize = 32;       // a generation's decimal name, terminator included
constexpr std::size_t kGenerationSumSize = 256;       // the whole GEN.sum text, bounded
constexpr int kAliasSettingSize = 32;                 // buffer of the alias lookup setting
constexpr std::size_t kAliasReaderErrorSize = 512;    // a table reader's last failure
constexpr std::size_t kGenerationSumErrorSize = 512;  // why a checksum failed
constexpr std::size_t kPruneErrorSize = 640;          // why a prune failed (a sum error and more)
constexpr unsigned long kMaxPruneKeep = 999999;       // the most generations `prune` is asked to keep
constexpr std::size_t kInteractiveInputStart = 1024;  // interactive input, doubles when full
constexpr std::size_t kIntTextSize = 12;              // IntToText: "-2147483648" and terminator
constexpr std::size_t kPrimaryAddressSize = 1024;     // primary address taken from a user DN
constexpr std::size_t kAliasSequenceSize = 32;        // "%lu!" text of the alias sequence
constexpr int kDefaultLdapTimeoutSeconds = 30;        // [Ldap] Timeout: longest wait for the server
constexpr int kMaxLdapTimeoutSeconds = 3600;          // larger settings fall back to the default
constexpr int kMaxListPageSize = 10000;               // [Ldap] PageSize: most rows of one list page
constexpr int kSortBusyTries = 5;                     // a sorted page asked of a server busy sorting
constexpr int kSortBusyWaitMs = 200;                  // between those tries, in milliseconds
constexpr char ALIAS_TABLE_LOCK_FILE[] = "build.lock";  // lock file of alias table builds
constexpr std::size_t kAuditCommandSize = 64;         // the command an audit line names
constexpr std::size_t kAuditTextShown = 256;          // bytes shown of one text in an audit line
constexpr std::size_t kAuditChangesSize = 3072;       // an audit line's operation and values
constexpr std::size_t kAuditLineSize = 6144;          // a whole audit line (within kLogMaxTextSize)
constexpr std::size_t kMaxAdministrators = 10000;     // logins of [Administrators]; more refuses them all
constexpr std::size_t kMaxAdminDomains = 100;         // domains of one login; more refuses the login
constexpr std::size_t kMaxImportFileBytes = 64 * 1024 * 1024;  // a user import file, in bytes
constexpr std::size_t kMaxImportRows = 200000;        // user rows of one import file
constexpr std::size_t kMaxImportCellLength = 8192;    // one cell of an import file, in bytes
constexpr std::size_t kMaxImportValues = 256;         // aliases, connectors or permissions of one row
constexpr std::size_t kImportBatchRows = 200;         // rows whose holders one directory search asks for
constexpr std::size_t kMaxImportRowsShown = 1000;     // updated rows an import page lists one by one

#endif
