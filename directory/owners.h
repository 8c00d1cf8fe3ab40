// Owners of the directory client's allocations: a search result chain, an
// attribute list built for add or modify, and a string the client or the
// domain-name converters allocated. Each frees what it holds when it goes out
// of scope, so no path of a page can leak or free twice.
#ifndef LDAPCGI_DIRECTORY_OWNERS_H
#define LDAPCGI_DIRECTORY_OWNERS_H

#include <cstdlib>
#include <memory>

#include "directory/attribute_list.h"
#include "platform/ldapclient/ldapclient.h"

// Holds a SearchReq chain of `client` (null allowed) and frees it with the
// client's srch_free. The client must outlive the owner.
class SearchResult {
public:
    SearchResult(ldapClient& client, SearchReq* chain) : client_(&client), chain_(chain) {}
    ~SearchResult() { reset(); }
    SearchResult(SearchResult&& other) noexcept : client_(other.client_), chain_(other.release()) {}
    SearchResult(const SearchResult&) = delete;
    SearchResult& operator=(const SearchResult&) = delete;
    SearchResult& operator=(SearchResult&&) = delete;

    SearchReq* get() const { return chain_; }
    explicit operator bool() const { return chain_ != nullptr; }
    SearchReq* release() {
        SearchReq* chain = chain_;
        chain_ = nullptr;
        return chain;
    }
    void reset(SearchReq* chain = nullptr) {
        if (chain_ != nullptr) client_->srch_free(chain_);
        chain_ = chain;
    }

private:
    ldapClient* client_;
    SearchReq* chain_;
};

// An attribute list built with AddAttrValue / AddAttrEnd on `head`; freed
// with FreeAttrList. Never for the attributes of a search result.
struct AttrList {
    attrval* head = nullptr;
    AttrList() = default;
    ~AttrList() { FreeAttrList(&head); }
    AttrList(const AttrList&) = delete;
    AttrList& operator=(const AttrList&) = delete;
};

// A string of GetSuffix, ldapGetProfileString, DomainToDn or DnToDomain: all
// are allocated with malloc and released with free, as the client's free does.
struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
using OwnedText = std::unique_ptr<char, FreeText>;

#endif
