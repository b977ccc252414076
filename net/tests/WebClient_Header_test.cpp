// The header list: order, lookup, references and its limits.
#include "net/WebClient_Header.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "testing/RecordingHooks.h"

namespace pelorin {
namespace {

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(WebClient_Header, NewListIsEmpty) {
    WebClient_Header list;
    EXPECT_EQ(list.Anzahl, 0);
    EXPECT_EQ(list.GetHeaderValue("Content-Type"), "");
    EXPECT_EQ(list.GetHeader(1), nullptr);
    EXPECT_EQ(ErrorOf([&] { list.GetLastHeader(); }), errors::kSubscriptOutOfRange);
}

TEST(WebClient_Header, LookupIsExactAndTheFirstMatchWins) {
    WebClient_Header list;
    list.NewHeader(CreateHeader("Content-Type", "text/plain"));
    list.NewHeader(CreateHeader("content-type", "x"));
    list.NewHeader(CreateHeader("Content-Type", "second"));
    EXPECT_EQ(list.Anzahl, 3);
    EXPECT_EQ(list.GetHeaderValue("Content-Type"), "text/plain");
    EXPECT_EQ(list.GetHeaderValue("content-type"), "x");
    EXPECT_EQ(list.GetHeaderValue("CONTENT-TYPE"), "");
    EXPECT_EQ(list.GetLastHeader()->TheValue, "second");
}

TEST(WebClient_Header, HoldsTheCallersObjects) {
    WebClient_Header list;
    auto header = CreateHeader("Set-Cookie", "a=b; path=/");
    list.NewHeader(header);
    header->TheValue = "changed";
    EXPECT_EQ(list.GetHeaderValue("Set-Cookie"), "changed");
    EXPECT_EQ(list.GetHeader(1), header);
}

TEST(WebClient_Header, DeleteStartsAgainAtSlotOne) {
    WebClient_Header list;
    list.NewHeader(CreateHeader("A", "1"));
    list.NewHeader(CreateHeader("B", "2"));
    list.DeleteHeaders();
    EXPECT_EQ(list.Anzahl, 0);
    EXPECT_EQ(list.GetHeader(2), nullptr);
    list.NewHeader(CreateHeader("C", "3"));
    EXPECT_EQ(list.GetHeader(1)->TheName, "C");
    EXPECT_EQ(list.GetHeaderValue("A"), "");
}

TEST(WebClient_Header, SetHeaderAndTheCountAreIndependent) {
    WebClient_Header list;
    list.SetHeader(5, CreateHeader("X", "5"));
    EXPECT_EQ(list.Anzahl, 0);
    EXPECT_EQ(list.GetHeaderValue("X"), "");  // beyond the count
    list.Anzahl = 5;
    EXPECT_EQ(list.GetHeaderValue("X"), "5");
    EXPECT_EQ(list.GetHeader(3), nullptr);
    list.SetHeader(32000, CreateHeader("Last", "slot"));
    EXPECT_EQ(list.GetHeader(32000)->TheName, "Last");
}

TEST(WebClient_Header, IndexesOutsideTheTableAreError9) {
    WebClient_Header list;
    for (std::int32_t bad : {0, -1, 32001}) {
        EXPECT_EQ(ErrorOf([&] { list.GetHeader(bad); }), errors::kSubscriptOutOfRange) << bad;
        EXPECT_EQ(ErrorOf([&] { list.SetHeader(bad, CreateHeader("a", "b")); }),
                  errors::kSubscriptOutOfRange)
            << bad;
    }
}

TEST(WebClient_Header, AFullListRefusesTheNextHeaderAndKeepsItsCount) {
    WebClient_Header list;
    const auto shared = CreateHeader("H", "v");
    for (int i = 0; i < WebClient_Header::kMaxHeaders; ++i) list.NewHeader(shared);
    EXPECT_EQ(list.Anzahl, 32000);
    EXPECT_EQ(ErrorOf([&] { list.NewHeader(shared); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(list.Anzahl, 32000);
    EXPECT_EQ(list.GetLastHeader(), shared);
}

TEST(WebClient_Header, ReportsItsObjects) {
    testing::ResetHooks();
    {
        WebClient_Header list;
        list.NewHeader(CreateHeader("A", "1"));
        EXPECT_EQ(testing::Hooks().liveObjects["WebClient_Header"], 1);
        EXPECT_EQ(testing::Hooks().liveObjects["OneHeader"], 1);
    }
    EXPECT_EQ(testing::Hooks().liveObjects["WebClient_Header"], 0);
    EXPECT_EQ(testing::Hooks().liveObjects["OneHeader"], 0);
}

}  // namespace
}  // namespace pelorin
