// Shared by the form decoders' fuzz targets: name and value pairs made from
// an input split at byte 1, separators dropped from them, and the pairs a
// decoder returned. Fuzz builds only.
#ifndef LDAPCGI_FUZZ_FUZZ_PAIRS_H
#define LDAPCGI_FUZZ_FUZZ_PAIRS_H

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cgi/form_entries.h"
#include "fuzz/fuzz_support.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The text split at byte 1 into name, value, name, ...; a last name without
// a value gets "".
inline Pairs PairsOf(const std::string& text) {
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, '\1');) pieces.push_back(piece);
    Pairs pairs;
    for (std::size_t i = 0; i < pieces.size(); i += 2)
        pairs.emplace_back(pieces[i], i + 1 < pieces.size() ? pieces[i + 1] : "");
    return pairs;
}

inline std::string Without(const std::string& text, const char* dropped) {
    std::string kept;
    for (char c : text)
        if (strchr(dropped, c) == nullptr) kept.push_back(c);
    return kept;
}

// The list's entries in order; none may lack its name or value.
inline Pairs EntriesOf(const FormEntryList& list) {
    Pairs pairs;
    for (const FormEntry* e = list.head; e != nullptr; e = e->next) {
        FUZZ_CHECK(e->name != nullptr && e->value != nullptr);
        pairs.emplace_back(e->name, e->value);
    }
    return pairs;
}

#endif
