// A folder of its own for one test, below the program folder, removed with everything in
// it afterwards.
#pragma once

#include <string>

namespace pelorin::testing {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing "\".
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace pelorin::testing
