// A store answer as one text, "status reason|" then the body: what a table row compares.
#pragma once

#include <string>
#include <string_view>

#include "server/store/StoreCommand.h"

namespace pelorin::testing {

struct RecordedAnswer : StoreAnswerWriter {
    std::string all;
    void SendStatus(int status, std::string_view reason) override {
        all += std::to_string(status) + " " + std::string(reason) + "|";
    }
    void SendBody(std::string piece) override { all += piece; }
};

}  // namespace pelorin::testing
