#include "diagnostics/LogBox.h"

namespace pelorin {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool FitsEmptyBox(std::string_view entry) {
    return entry.size() + kCrLf.size() <= kLogBoxLimit;
}

}  // namespace

std::string LogBoxLine(std::string_view entry) {
    if (FitsEmptyBox(entry)) return std::string(entry);
    return std::string(entry.substr(0, kLogBoxCutLength)) + "...";
}

std::string AppendLogBoxLine(std::string_view box, std::string_view entry) {
    // Dropping lines cannot make room for an entry too long for the empty box: it clears
    // the box and is shown cut.
    if (!FitsEmptyBox(entry)) box = {};
    const std::string line = LogBoxLine(entry);
    while (box.size() + line.size() + kCrLf.size() > kLogBoxLimit) {
        const std::size_t lineEnd = box.find(kCrLf);
        box = lineEnd == std::string_view::npos ? std::string_view{}
                                                : box.substr(lineEnd + kCrLf.size());
    }
    std::string text(box);
    text += line;
    text += kCrLf;
    return text;
}

}  // namespace pelorin
