// A fresh, empty program folder for one test, removed again afterwards, with the few
// file looks the diagnostics tests need.
#pragma once

#include <string>
#include <vector>

#include "testing/TempFolder.h"

namespace pelorin::testing {

class TempProgramFolder {
  public:
    // The folder with its trailing separator, as the start routine sets it.
    std::string PathWithSeparator() const { return folder_.path(); }

    bool Has(const std::string& name) const;
    // The file's bytes; "" when it is missing.
    std::string Read(const std::string& name) const;
    void Write(const std::string& name, const std::string& contents) const;
    std::vector<std::string> Names() const;  // sorted

  private:
    TempFolder folder_;
};

}  // namespace pelorin::testing
