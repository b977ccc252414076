// A fresh, empty program folder under the system's temporary folder for one test,
// removed again afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelorin::testing {

class TempProgramFolder {
  public:
    TempProgramFolder();
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    // The folder with its trailing separator, as the start routine sets it.
    std::string PathWithSeparator() const;

    bool Has(const std::string& name) const;
    // The file's bytes; "" when it is missing.
    std::string Read(const std::string& name) const;
    void Write(const std::string& name, const std::string& contents) const;
    std::vector<std::string> Names() const;  // sorted

  private:
    std::filesystem::path path_;
};

}  // namespace pelorin::testing
