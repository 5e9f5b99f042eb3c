#include "vLinkRegistry.h"

#include <algorithm>
#include <forward_list>
#include <mutex>
#include <new>

namespace {

// A singly linked list, newest entry first, and the next id to issue.
struct LinkRegistry {
    std::mutex mutex;
    std::forward_list<vLinkEntryRef> entries;
    int32_t nextId = 1;

    template <typename Predicate> vLinkEntryRef findFirst(Predicate predicate) {
        std::lock_guard guard(mutex);
        auto found = std::find_if(entries.begin(), entries.end(), predicate);
        return found == entries.end() ? nullptr : *found;
    }
};

// Never destroyed, so that link threads still running while the process exits find it alive.
LinkRegistry &registry() {
    static auto *instance = new LinkRegistry;
    return *instance;
}

} // namespace

int32_t sCreate2(uint32_t key, uint32_t port, uint32_t clientSequence, linkType transport,
                 vLinkRecord *link) {
    try {
        auto entry = std::make_shared<vLinkEntry>();
        entry->key = key;
        entry->port = port;
        entry->clientSequence = clientSequence;
        entry->transport = transport;
        entry->link = link;
        LinkRegistry &links = registry();
        std::lock_guard guard(links.mutex);
        entry->id = links.nextId;
        links.entries.push_front(entry);
        ++links.nextId;
        return entry->id;
    } catch (const std::bad_alloc &) {
        return 0;
    }
}

vLinkEntryRef sLookupEntryByID(int32_t id) {
    return registry().findFirst([id](const vLinkEntryRef &entry) { return entry->id == id; });
}

vLinkEntryRef sLookupEntryByKey(uint32_t key) {
    return registry().findFirst([key](const vLinkEntryRef &entry) { return entry->key == key; });
}

vLinkEntryRef sExtractEntry(int32_t id) {
    LinkRegistry &links = registry();
    std::lock_guard guard(links.mutex);
    auto before = links.entries.before_begin();
    for (auto entry = links.entries.begin(); entry != links.entries.end(); before = entry++) {
        if ((*entry)->id == id) {
            vLinkEntryRef extracted = std::move(*entry);
            links.entries.erase_after(before);
            return extracted;
        }
    }
    return nullptr;
}

int16_t sChangeUseCount(const vLinkEntryRef &entry, int16_t delta) {
    if (entry == nullptr)
        return 0;
    std::lock_guard guard(registry().mutex);
    entry->useCount = static_cast<int16_t>(entry->useCount + delta);
    return entry->useCount;
}
