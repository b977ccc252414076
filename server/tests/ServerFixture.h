// A server window of the test's own, listening on a port the system picked, over the
// data folder of StoreFixture; and the exact bytes of the store's answers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/MainForm.h"
#include "server/store/tests/StoreFixture.h"

namespace pelorin::testing {

class ServerFixture : public StoreFixture {
  protected:
    void SetUp() override;
    void TearDown() override;

    // One request on a connection of its own; the answer as it came until the close.
    std::string Request(std::string_view bytes);
    // Presses the window's button.
    void Press();

    std::unique_ptr<MainForm> form_;
    std::uint16_t port_ = 0;
    static inline int unloadRoutineRuns_ = 0;

  private:
    static void CountUnload() { ++unloadRoutineRuns_; }
};

// The store's answer: HTTP/1.0, the status and reason, its fixed headers, the body.
std::string Answer(std::string_view statusAndReason, std::string_view body = {});

}  // namespace pelorin::testing
