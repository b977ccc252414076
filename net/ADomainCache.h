// The socket module's cache of resolved host names. Names are kept in lower case; an
// entry expires two hours after it was added (a hit does not renew it, adding the name
// again does). Expired entries go only when the cache is asked or added to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

class ADomainCache {
  public:
    struct Entry {
        std::string name;             // lower case
        std::uint32_t address = 0;    // IPv4, network byte order
        std::uint32_t timeStamp = 0;  // millisecond clock when added or re-added
    };

    // Age in milliseconds beyond which an entry is gone.
    static constexpr std::uint32_t kLifetimeMs = 7'200'000;

    // The cached address of the name in any letter case, or platform::kNoAddress.
    std::uint32_t GetDomainIP(std::string_view hostName);
    // Caches the name, or renews the time stamp of a cached one (its address stays).
    void AddDomain(std::string_view hostName, std::uint32_t address);

    // The entries in slot order (slot 1 first).
    const std::vector<Entry>& Entries() const { return entries_; }

  private:
    void PurgeExpired();
    void RemoveEntry(std::size_t index);
    Entry* Find(const std::string& lowerName);

    std::vector<Entry> entries_;
};

}  // namespace pelorin
