// A program folder of the test's own with an empty data folder, the diagnostics as the
// start routine leaves them with the log file on, and small looks at the files.
// Everything global is put back afterwards: under Wine all tests share one process.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/TempFolder.h"

namespace pelorin::testing {

class StoreFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The data folder, without a trailing separator.
    std::string Data() const { return folder_.path() + "data"; }
    // A path below the data folder; `name` uses "\" between folders.
    std::string InData(const std::string& name) const { return Data() + "\\" + name; }

    void Put(const std::string& name, const std::string& contents) const;
    void MakeDir(const std::string& name) const;
    bool Has(const std::string& name) const;
    std::string Contents(const std::string& name) const;  // "" when missing
    // The names in a data subfolder ("" for the data folder), sorted, "." and ".." left
    // out. In the data folder the store's hidden temporary folder stands for the
    // temporaries in it (".pelorin-tmp\\name"), so a test sees none when there are none.
    std::vector<std::string> Names(const std::string& folder = "") const;

    // The log lines written since the last call.
    std::vector<std::string> TakeLog();

  private:
    TempFolder folder_;
};

}  // namespace pelorin::testing
