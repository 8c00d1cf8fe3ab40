// The origin screen of changing requests. A link or an image on another
// site makes the browser send a GET; a form on another site sends a POST
// that modern browsers mark with Sec-Fetch-Site and Origin, and older ones
// only with a Referer (our own pages send none: "no-referrer"). Tools and
// scripts send none of these headers, and their POSTs are taken.
#include "cgi/request_origin.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr long kNoPort = -1;
constexpr long kMaxPort = 65535;

struct HostPort {
    std::string host;  // a bracketed IPv6 address keeps its brackets
    long port = kNoPort;
};

// "host", "host:port", "[v6]" or "[v6]:port"; false for anything else.
bool ParseHostPort(const char* text, HostPort* out) {
    const char* end = text + strlen(text);
    const char* hostEnd;
    if (*text == '[') {
        const char* close = strchr(text, ']');
        if (close == nullptr) return false;
        hostEnd = close + 1;
    } else {
        hostEnd = text + strcspn(text, ":");
    }
    if (hostEnd == text) return false;
    for (const char* p = text; p < hostEnd; ++p)
        if (static_cast<unsigned char>(*p) <= ' ' || *p == '/' || *p == '@') return false;
    out->host.assign(text, hostEnd);
    if (hostEnd == end) return true;
    if (*hostEnd != ':' || hostEnd + 1 == end) return false;
    long port = 0;
    for (const char* p = hostEnd + 1; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        port = port * 10 + (*p - '0');
        if (port > kMaxPort) return false;
    }
    out->port = port;
    return true;
}

long DefaultPort(const std::string& scheme) {
    if (strcasecmp(scheme.c_str(), "http") == 0) return 80;
    if (strcasecmp(scheme.c_str(), "https") == 0) return 443;
    return kNoPort;
}

// The scheme the request came by, as the web server tells: "https" when
// HTTPS is "on" or "1", else REQUEST_SCHEME, else plain "http".
std::string RequestScheme() {
    const char* https = getenv("HTTPS");
    if (https != nullptr && (strcasecmp(https, "on") == 0 || strcmp(https, "1") == 0)) return "https";
    const char* scheme = getenv("REQUEST_SCHEME");
    return scheme != nullptr && *scheme != '\0' ? scheme : "http";
}

// Whether the Origin header ("scheme://host[:port]", no path) names the
// scheme, host and port that the request was sent to. A missing port is the
// scheme's own on both sides; "null" and anything unreadable name no host.
bool SameOrigin(const char* origin, const char* hostHeader) {
    if (hostHeader == nullptr) return false;
    const char* separator = strstr(origin, "://");
    if (separator == nullptr || separator == origin) return false;
    const std::string scheme(origin, separator);
    if (strcasecmp(scheme.c_str(), RequestScheme().c_str()) != 0) return false;
    HostPort from, to;
    if (!ParseHostPort(separator + 3, &from) || !ParseHostPort(hostHeader, &to)) return false;
    const long defaultPort = DefaultPort(scheme);
    if (from.port == kNoPort) from.port = defaultPort;
    if (to.port == kNoPort) to.port = defaultPort;
    return strcasecmp(from.host.c_str(), to.host.c_str()) == 0 && from.port == to.port;
}

}  // namespace

const char* ForgedRequestReason() {
    const char* method = getenv("REQUEST_METHOD");
    if (method != nullptr && strcmp(method, "POST") != 0) return "not sent by POST";
    const char* site = getenv("HTTP_SEC_FETCH_SITE");
    if (site != nullptr && strcasecmp(site, "same-origin") != 0 && strcasecmp(site, "none") != 0)
        return "sent from another site (Sec-Fetch-Site)";
    // A page served with "Referrer-Policy: no-referrer" posts with the opaque
    // Origin "null", even to itself: then only a Sec-Fetch-Site of our own
    // (checked above) vouches for it.
    const char* origin = getenv("HTTP_ORIGIN");
    if (origin != nullptr && strcmp(origin, "null") == 0 && site != nullptr) return nullptr;
    if (origin != nullptr && !SameOrigin(origin, getenv("HTTP_HOST")))
        return "sent from another origin (Origin)";
    // Without an Origin, a Referer's scheme, host and port stand for it (an
    // empty one says nothing).
    const char* referer = origin == nullptr ? getenv("HTTP_REFERER") : nullptr;
    if (referer != nullptr && *referer != '\0') {
        const char* path = strstr(referer, "://");
        path = path == nullptr ? nullptr : strchr(path + 3, '/');
        const std::string from = path == nullptr ? referer : std::string(referer, path);
        if (!SameOrigin(from.c_str(), getenv("HTTP_HOST"))) return "sent from another origin (Referer)";
    }
    return nullptr;
}
