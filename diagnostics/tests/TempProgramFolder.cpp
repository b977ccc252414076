#include "TempProgramFolder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

namespace pelorin::testing {

TempProgramFolder::TempProgramFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string testName = test != nullptr ? test->name() : "none";
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("pelorin-diag-" + testName + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempProgramFolder::~TempProgramFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempProgramFolder::PathWithSeparator() const {
    return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
}

bool TempProgramFolder::Has(const std::string& name) const {
    return std::filesystem::exists(path_ / name);
}

std::string TempProgramFolder::Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void TempProgramFolder::Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
}

std::vector<std::string> TempProgramFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace pelorin::testing
