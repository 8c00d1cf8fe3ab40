// Builds the filter of the user list: object class, the typed name and mail
// conditions (escaped, "*" kept as wildcard) and the distribution-list switch.
#include "pages/users/list_filter.h"

#include <cstring>

#include "base/limits.h"

void AppendFilterValue(std::string* filter, const char* value) {
    for (const char* p = value; *p != '\0'; ++p) {
        // A run of "*" is one wildcard: "**" would make the filter invalid.
        if (*p == '*' && p > value && p[-1] == '*') continue;
        switch (*p) {
            case '(':
                filter->append("\\28");
                break;
            case ')':
                filter->append("\\29");
                break;
            case '\\':
                filter->append("\\5c");
                break;
            default:
                filter->push_back(*p);
        }
    }
}

namespace {

bool IsCondition(const char* value) {
    return value != nullptr && value[0] != '\0' && strcmp(value, "*") != 0;
}

void AppendCondition(std::string* filter, const char* attribute, const char* value) {
    filter->append("(").append(attribute).append("=");
    AppendFilterValue(filter, value);
    filter->append(")");
}

}  // namespace

bool BuildListFilter(const char* firstName, const char* lastName, const char* mail, const char* special,
                     std::string* filter) {
    filter->assign("(&(objectClass=xoperson)");
    if (IsCondition(firstName)) AppendCondition(filter, "firstname", firstName);
    if (IsCondition(lastName)) AppendCondition(filter, "sn", lastName);
    AppendCondition(filter, "mail", mail == nullptr || mail[0] == '\0' ? "*" : mail);
    if (special == nullptr) filter->append("(!(objectclass=xolistowner))(!(objectclass=xolistrequest))");
    filter->append(")");
    return filter->size() < kListFilterSize;
}
