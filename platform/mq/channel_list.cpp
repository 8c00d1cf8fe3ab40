// The three members of cList<MQchannelDBStr *> that the message-queue API
// leaves to the program: constructor, destructor and Next. They are exported
// as dynamic symbols (see CMakeLists.txt), so the API finds them by name.
// Touches the list's own nodes only, never the records.
#include <cstdlib>

#include "platform/mq/mqapi.h"

template <>
cList<MQchannelDBStr*>::cList() : head(nullptr), cursor(nullptr), reserved(0) {}

template <>
cList<MQchannelDBStr*>::~cList() {
    while (head != nullptr) {
        Node* next = head->next;
        free(head);
        head = next;
    }
    cursor = nullptr;
}

template <>
MQchannelDBStr* cList<MQchannelDBStr*>::Next() {
    Node* candidate = cursor != nullptr ? cursor->next : head;
    if (candidate == nullptr) return nullptr;
    cursor = candidate;
    return candidate->element;
}
