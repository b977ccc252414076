// The host cache: letter case, the two-hour lifetime at its exact edge, renewal rules
// and the slot order after a removal.
#include "net/ADomainCache.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/Sockets.h"

namespace pelorin {
namespace {

std::uint32_t gNow = 0;
std::uint32_t FakeClock() {
    return gNow;
}

class ADomainCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gNow = 1000;
        platform::SetTickSourceForTests(FakeClock);
    }
    void TearDown() override { platform::SetTickSourceForTests(nullptr); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : cache.Entries()) names.push_back(e.name);
        return names;
    }

    ADomainCache cache;
};

TEST_F(ADomainCacheTest, NamesAreKeptInLowerCaseAndFoundInAnyCase) {
    cache.AddDomain("Example.ORG", 0x01020304u);
    EXPECT_EQ(Names(), std::vector<std::string>{"example.org"});
    EXPECT_EQ(cache.GetDomainIP("EXAMPLE.org"), 0x01020304u);
    EXPECT_EQ(cache.GetDomainIP("example.net"), platform::kNoAddress);
}

TEST_F(ADomainCacheTest, AnEntryLivesExactlyTwoHours) {
    cache.AddDomain("a", 1);
    gNow += ADomainCache::kLifetimeMs;
    EXPECT_EQ(cache.GetDomainIP("a"), 1u);
    gNow += 1;
    EXPECT_EQ(cache.GetDomainIP("a"), platform::kNoAddress);
    EXPECT_TRUE(cache.Entries().empty());
}

TEST_F(ADomainCacheTest, AdditionAlsoPurgesExpiredEntries) {
    cache.AddDomain("old", 1);
    gNow += ADomainCache::kLifetimeMs + 1;
    cache.AddDomain("new", 2);
    EXPECT_EQ(Names(), std::vector<std::string>{"new"});
}

TEST_F(ADomainCacheTest, AHitDoesNotRenewButAddingAgainDoesAndKeepsTheAddress) {
    cache.AddDomain("a", 1);
    cache.AddDomain("b", 2);
    gNow += 7'000'000;
    EXPECT_EQ(cache.GetDomainIP("a"), 1u);  // a hit, no renewal
    cache.AddDomain("B", 99);               // renewal of b, address unchanged
    gNow += 300'000;
    EXPECT_EQ(cache.GetDomainIP("a"), platform::kNoAddress);
    EXPECT_EQ(cache.GetDomainIP("b"), 2u);
}

TEST_F(ADomainCacheTest, RemovalMovesTheLastEntryIntoTheFreedSlot) {
    cache.AddDomain("a", 1);
    gNow += 10;
    cache.AddDomain("b", 2);
    cache.AddDomain("c", 3);
    gNow += ADomainCache::kLifetimeMs - 5;  // a is past its time, b and c are not
    EXPECT_EQ(cache.GetDomainIP("zzz"), platform::kNoAddress);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "b"}));
}

TEST_F(ADomainCacheTest, ConsecutiveExpiredSlotsAreAllRemoved) {
    // The entry moved into a freed slot is examined again, so runs of expired entries and
    // an expired last entry all go.
    cache.AddDomain("a", 1);
    cache.AddDomain("b", 2);
    gNow += 100;
    cache.AddDomain("c", 3);
    gNow += 50;
    cache.AddDomain("d", 4);
    gNow = 1000 + ADomainCache::kLifetimeMs + 120;  // a, b and c expired; d is not
    EXPECT_EQ(cache.GetDomainIP("d"), 4u);
    EXPECT_EQ(Names(), std::vector<std::string>{"d"});
}

TEST_F(ADomainCacheTest, EntriesAddedJustBeforeTheClockWrapsKeepTheirLifetime) {
    gNow = 0xFFFFFF00u;
    cache.AddDomain("a", 1);
    gNow = 0x00000100u;  // 512 ms later, past the wrap
    EXPECT_EQ(cache.GetDomainIP("a"), 1u);
}

}  // namespace
}  // namespace pelorin
