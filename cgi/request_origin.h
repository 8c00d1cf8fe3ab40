// Where a request comes from, as far as the CGI environment tells: whether a
// request may change anything. Reads the environment only.
#ifndef LDAPCGI_CGI_REQUEST_ORIGIN_H
#define LDAPCGI_CGI_REQUEST_ORIGIN_H

// Null when a changing command may run: sent by POST (or typed by hand, with
// no REQUEST_METHOD), and, when the browser says where it came from, from
// our own pages: HTTP_SEC_FETCH_SITE absent, "same-origin" or "none", and
// HTTP_ORIGIN absent or naming the host and port of HTTP_HOST and the scheme
// of HTTPS ("on" or "1") or REQUEST_SCHEME, "http" when neither says (the
// opaque "null" only beside such a Sec-Fetch-Site). Otherwise a fixed text saying
// why not, for the log (never the request's own text).
const char* ForgedRequestReason();

#endif
