// Helpers shared by the files of the directory client: the client's error
// log lines and the TLS set-up. Not for callers outside platform/ldapclient*.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_INTERNAL_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_INTERNAL_H

#include <string>

#include "platform/ldapclient/ldapclient.h"

// Logs one error line (kLogError) under the client's application name.
void LogClientError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// LogLdapError with the reason the client found itself (libldap's words for
// a failed TLS connection) appended when `reason` is not empty.
void LogLdapFailure(LDAP* ld, int code, const std::string& reason, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Certificate checking on for the TLS connections of the process, and its
// TLS context made from the OpenLDAP client configuration; once per process.
void PrepareTlsContext();
// Between Begin and End, libldap's reasons for a failed TLS connection are
// gathered into *reasons (at most kTlsReasonSize characters).
void BeginTlsReasons(std::string* reasons);
void EndTlsReasons(std::string* reasons);

// A watch on a TLS connect of `handle`, started before ldap_connect: once the
// connection is taken, a socket the server leaves unanswered for `seconds` is
// shut down. End returns whether that happened. Null (no watch) when it
// could not start.
struct HandshakeWatch;
HandshakeWatch* StartHandshakeWatch(LDAP* handle, int seconds);
bool EndHandshakeWatch(HandshakeWatch* watch);

#endif
