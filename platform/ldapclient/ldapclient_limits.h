// Limits of the directory client stand-in: the sizes of its record fields,
// its default time limit and the bounds of its error lines.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LIMITS_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LIMITS_H

#include <cstddef>

constexpr std::size_t kAttrNameSize = 64;       // attrval::name, terminator included
constexpr std::size_t kAttrValueSize = 512;     // attrval::value, terminator included
constexpr std::size_t kSearchDnSize = 2048;     // SearchReq::dn, terminator included
constexpr std::size_t kProgramPathSize = 4096;  // the program's own path, terminator included

// Seconds the client waits for the server in one connect or call, unless
// SetTimeout says otherwise.
constexpr int kDefaultTimeoutSeconds = 30;
// An error line of the client, terminator included; each quoted piece of it
// (target, server message, matched DN) is bounded on its own.
constexpr std::size_t kErrorLineSize = 2048;
constexpr int kErrorPieceLength = 400;
// The reasons libldap gives for a failed TLS connection, as gathered.
constexpr std::size_t kTlsReasonSize = 400;

#endif
