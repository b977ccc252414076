// With every descriptor of the process in use, no search can look: the store answers the
// error, as GET and SET do, and never says that an existing folder or file is not there.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/store/StoreCommand.h"
#include "server/store/tests/RecordedAnswer.h"
#include "server/store/tests/StoreFixture.h"

namespace pelorin {
namespace {

using testing::RecordedAnswer;

// Every descriptor up to a soft limit lowered just above those open now is taken; all are
// given back, with the limit, when it ends.
class DescriptorsUsedUp {
  public:
    DescriptorsUsedUp() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (probe < 0) return;
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(probe) + 8;
        close(probe);
        if (lowered.rlim_cur > saved_.rlim_cur || setrlimit(RLIMIT_NOFILE, &lowered) != 0) return;
        lowered_ = true;
        for (rlim_t i = 0; i < lowered.rlim_cur; ++i) {  // bounded by the lowered limit
            const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) break;
            taken_.push_back(fd);
        }
    }
    ~DescriptorsUsedUp() {
        for (const int fd : taken_) close(fd);
        if (lowered_) setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
    DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;

    bool AllTaken() const {
        if (!lowered_) return false;
        const int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (spare < 0) return true;
        close(spare);
        return false;
    }

  private:
    rlimit saved_{};
    bool lowered_ = false;
    std::vector<int> taken_;
};

using DescriptorsUsedUpStore = testing::StoreFixture;

TEST_F(DescriptorsUsedUpStore, AnswersTheErrorNotNotFound) {
    if (PELORIN_SANITIZED) GTEST_SKIP() << "the sanitizers' checks need descriptors themselves";
    MakeDir("sub");
    Put("sub\\f", "x");
    Put("File", "y");
    const std::string error = "400 Bad Request|Fehler 67: Too many files";
    const struct {
        const char* label;
        std::string command;
        std::string target;
        std::string usedUp;  // the answer with every descriptor in use
        std::string after;   // and once they are back
    } rows[] = {
        {"list a folder", "DIR", "/sub/", error, "200 OK|f\r\n"},
        {"a file in another letter case", "DIR", "/sub/F", error, "200 Found|"},
        {"a pattern", "DIR", "/s*", error, "404 Not Found|"},
        {"a file in a folder by pattern", "DIR", "/sub/?", error, "200 Found|"},
        {"read", "GET", "/sub/f", error, "200 OK|x"},
    };
    for (const auto& row : rows) {
        RecordedAnswer usedUp;
        {
            DescriptorsUsedUp full;
            if (!full.AllTaken()) GTEST_SKIP() << "the descriptors could not all be taken here";
            RunStoreCommand({row.command, row.target, {}}, Data(), usedUp);
        }
        EXPECT_EQ(usedUp.all, row.usedUp) << row.label;
        RecordedAnswer after;
        RunStoreCommand({row.command, row.target, {}}, Data(), after);
        EXPECT_EQ(after.all, row.after) << row.label;
    }
}

}  // namespace
}  // namespace pelorin
