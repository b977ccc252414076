// The module's state as the start routine leaves it (DebugReady set, every switch off),
// in a program folder of the test's own, with a clock the test sets. Everything global
// is put back afterwards, since under Wine all tests share one process.
#pragma once

#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "TempProgramFolder.h"

namespace pelorin::testing {

class DiagnosticsTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The millisecond counter the hooks read.
    static void SetNow(std::uint32_t now) { now_ = now; }

    std::optional<TempProgramFolder> folder_;

  private:
    static std::uint32_t Now() { return now_; }
    static inline std::uint32_t now_ = 0;
};

}  // namespace pelorin::testing
