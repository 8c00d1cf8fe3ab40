// OpenLDAP's client library, loaded when the first directory call is made:
// the program is not linked with libldap, so a page that never talks to the
// directory does not pay for loading it and the TLS and SASL libraries it
// pulls in (their constructors run at every start). ldap_library.cpp defines
// every ldap_* and ber_* call that the program uses, each forwarding to
// libldap; a call new to the program needs its forwarder there (the link
// fails until it has one).
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LDAP_LIBRARY_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LDAP_LIBRARY_H

#include "platform/ldapclient/ldapclient.h"

// Loads libldap (once); false, with one error line, when it cannot be loaded.
bool LoadLdapLibrary();

// liblber's read-ahead layer (ber_sockbuf_io_readahead), or null when the
// library is not loaded.
Sockbuf_IO* LdapReadaheadIo();

#endif
