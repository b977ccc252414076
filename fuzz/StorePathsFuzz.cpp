// A request target mapped to its store name and run as every store command against a
// data folder of its own. The name never leaves the data folder; a name refused for one
// command is refused alike by every command that takes no patterns, with the same
// answer, and nothing is touched then; whatever a command creates stays inside the data
// folder, the data folder itself stays, and NEW followed by DEL leaves it as it was.
//
// The commands run on an empty data folder, so their outcome depends on the store name
// alone: each name runs them once per fuzzing process, which keeps the file system's
// cost to the inputs that name something new.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "diagnostics/Hooks.h"
#include "fuzz/FuzzInput.h"
#include "server/store/StoreCommand.h"
#include "server/store/StorePaths.h"

namespace pelorin::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kNamesRemembered = 1 << 20;

// A program folder of the run's own: the data folder and, beside it, one file that no
// command may reach.
class Folders {
  public:
    Folders() {
        std::error_code ignored;
        // In memory where there is such a file system: the commands run the file system's
        // operations several times per input.
        char pattern[] = "/dev/shm/pelorin-fuzz-XXXXXX";
        char fallback[] = "/tmp/pelorin-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) made = mkdtemp(fallback);
        Require(made != nullptr, "a temporary folder");
        root_ = made;
        fs::create_directory(root_ / "data");
        fs::create_directory(root_ / "outside");
    }
    ~Folders() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Folders(const Folders&) = delete;
    Folders& operator=(const Folders&) = delete;

    std::string Data() const { return (root_ / "data").string(); }
    bool DataIsEmpty() const {
        return fs::is_directory(root_ / "data") && fs::is_empty(root_ / "data");
    }
    // The program folder holds the data folder and the untouched neighbour only.
    bool OnlyDataChanged() const {
        std::error_code error;
        std::size_t entries = 0;
        for (const auto& entry : fs::directory_iterator(root_, error)) {
            const std::string name = entry.path().filename().string();
            if (name != "data" && name != "outside") return false;
            ++entries;
        }
        return !error && entries == 2 && fs::is_directory(root_ / "data") &&
               fs::is_empty(root_ / "outside");
    }
    void EmptyData() const {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(root_ / "data", ignored)) {
            fs::remove_all(entry.path(), ignored);
        }
    }

  private:
    fs::path root_;
};

struct Answer : StoreAnswerWriter {
    int status = 0;
    std::string body;
    void SendStatus(int s, std::string_view) override { status = s; }
    void SendBody(std::string piece) override { body += piece; }
};

Answer Run(const Folders& folders, std::string_view command, std::string_view target) {
    Answer answer;
    RunStoreCommand({command, target, "content"}, folders.Data(), answer);
    Require(answer.status != 0, "every command answers");
    return answer;
}

// A name part longer than a file system holds (255 bytes on both): the store takes the
// name, and the file system refuses it with the same error number.
bool LongerThanAFileSystemHolds(std::string_view name) {
    std::size_t part = 0;
    for (const char c : name) {
        part = c == '\\' ? 0 : part + 1;
        if (part > 255) return true;
    }
    return false;
}

void CheckName(std::string_view target, const std::string& name) {
    Require(name.starts_with('\\'), "a store name starts with a separator");
    Require(name.find('.') == std::string::npos, "no dot, so no part climbs up");
    Require(name.find('/') == std::string::npos, "one kind of separator");
    Require(StorePathOf("D", target) == "D" + name, "the path is the data folder and the name");
    const int strict = RefusedNameError(name, false);
    const int loose = RefusedNameError(name, true);
    Require(strict == 0 || strict == errors::kBadFileNameOrNumber, "refused as a bad name");
    Require(loose == 0 || loose == strict, "refused as a bad name with patterns too");
    const bool patterns = name.find_first_of("*?") != std::string::npos;
    Require(patterns ? (strict != 0) : (strict == loose), "patterns only for reading commands");
}

}  // namespace
}  // namespace pelorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelorin;
    using namespace pelorin::fuzz;
    static const Folders folders;
    static std::unordered_set<std::string> namesRun;
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    const std::string name = StoreNameOf(target);
    CheckName(target, name);

    if (namesRun.size() >= kNamesRemembered) namesRun.clear();
    if (!namesRun.insert(name).second) return 0;

    const std::string refusal = "Fehler 52: " + std::string(RuntimeErrorText(52));
    const int strict = RefusedNameError(name, false);
    const int loose = RefusedNameError(name, true);
    int created = 0;
    for (const std::string_view command : {"NEW", "DIR", "SET", "GET", "DEL"}) {
        const Answer answer = Run(folders, command, target);
        const bool refused = (command == "DIR" ? loose : strict) != 0;
        if (refused) {
            Require(answer.status == 400 && answer.body == refusal, "a refused name: 400, 52");
            Require(folders.DataIsEmpty(), "a refused name touches nothing");
            continue;
        }
        Require(answer.body != refusal || LongerThanAFileSystemHolds(name),
                "a name taken is not refused");
        if (command == "NEW" && answer.status == 201) created = 1;
        if (command == "GET" && answer.status == 200 && created != 0) {
            Require(answer.body == "content", "GET reads what SET wrote");
        }
        if (command == "DEL" && created != 0) {
            Require(answer.status == 200, "what NEW created, DEL removes");
            Require(folders.DataIsEmpty(), "NEW and DEL leave the data folder as it was");
        }
    }
    // Whatever left the data folder, or removed it, is still to be seen now.
    Require(folders.OnlyDataChanged(), "nothing outside the data folder changes");
    folders.EmptyData();
    return 0;
}
