#include "net/ADomainCache.h"

#include "base/Text.h"
#include "platform/Clock.h"
#include "platform/Sockets.h"

namespace pelorin {

std::uint32_t ADomainCache::GetDomainIP(std::string_view hostName) {
    const std::string name = LowerCase(hostName);
    PurgeExpired();
    const Entry* entry = Find(name);
    return entry != nullptr ? entry->address : platform::kNoAddress;
}

void ADomainCache::AddDomain(std::string_view hostName, std::uint32_t address) {
    std::string name = LowerCase(hostName);
    PurgeExpired();
    if (Entry* entry = Find(name)) {
        entry->timeStamp = platform::TickCount();
        return;
    }
    entries_.push_back(Entry{std::move(name), address, platform::TickCount()});
}

// The clock is read as a wrapping counter, so an entry added just before the wrap keeps
// its two hours after it.
void ADomainCache::PurgeExpired() {
    const std::uint32_t now = platform::TickCount();
    std::size_t i = 0;
    while (i < entries_.size()) {
        if (now - entries_[i].timeStamp > kLifetimeMs) {
            RemoveEntry(i);  // slot i now holds the former last entry: look at it again
        } else {
            ++i;
        }
    }
}

// The last entry moves into the freed slot; the order of entries is not kept.
void ADomainCache::RemoveEntry(std::size_t index) {
    if (index + 1 != entries_.size()) entries_[index] = std::move(entries_.back());
    entries_.pop_back();
}

ADomainCache::Entry* ADomainCache::Find(const std::string& lowerName) {
    for (auto& entry : entries_) {
        if (entry.name == lowerName) return &entry;
    }
    return nullptr;
}

}  // namespace pelorin
