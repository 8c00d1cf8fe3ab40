// Limits of the directory client stand-in: the sizes of its record fields.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LIMITS_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LIMITS_H

#include <cstddef>

constexpr std::size_t kAttrNameSize = 64;    // attrval::name, terminator included
constexpr std::size_t kAttrValueSize = 512;  // attrval::value, terminator included
constexpr std::size_t kSearchDnSize = 2048;  // SearchReq::dn, terminator included

#endif
