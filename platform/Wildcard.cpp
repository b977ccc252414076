#include "platform/Wildcard.h"

#include <string>
#include <vector>

namespace pelorin::platform {
namespace {

// The file system's extra wildcards that FindFirstFile makes of the caller's pattern.
constexpr char kDosStar = '<';  // "*" before a ".": any run that stops at the last "."
constexpr char kDosQm = '>';    // "?": one character, or none before a "." or the end
constexpr char kDosDot = '"';   // "." before a wildcard or at the end: "." or the end

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Translate(std::string_view pattern) {
    if (pattern == "*.*") return "*";
    std::string out(pattern);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '?') {
            out[i] = kDosQm;
        } else if (pattern[i] == '*' && next == '.') {
            out[i] = kDosStar;
        } else if (pattern[i] == '.' && (next == '?' || next == '*' || next == '\0')) {
            out[i] = kDosDot;
        }
    }
    return out;
}

class Matcher {
  public:
    Matcher(std::string_view name, std::string_view pattern)
        : name_(name),
          pattern_(pattern),
          lastDot_(name.rfind('.')),
          memo_((name.size() + 1) * (pattern.size() + 1), kUnknown) {}

    bool Match(std::size_t n, std::size_t p) {
        char& known = memo_[n * (pattern_.size() + 1) + p];
        if (known == kUnknown) known = Compute(n, p) ? kYes : kNo;
        return known == kYes;
    }

  private:
    static constexpr char kUnknown = 0, kYes = 1, kNo = 2;

    bool Compute(std::size_t n, std::size_t p) {
        if (p == pattern_.size()) return n == name_.size();
        const bool atEnd = n == name_.size();
        switch (pattern_[p]) {
            case '*':
                return Match(n, p + 1) || (!atEnd && Match(n + 1, p));
            case kDosStar:
                // May not swallow the name's last ".".
                return Match(n, p + 1) || (!atEnd && n != lastDot_ && Match(n + 1, p));
            case kDosQm:
                if (atEnd || name_[n] == '.') return Match(n, p + 1);
                return Match(n + 1, p + 1);
            case kDosDot:
                if (atEnd) return Match(n, p + 1);
                return name_[n] == '.' && Match(n + 1, p + 1);
            default:
                return !atEnd && Fold(name_[n]) == Fold(pattern_[p]) && Match(n + 1, p + 1);
        }
    }

    std::string_view name_;
    std::string_view pattern_;
    std::size_t lastDot_;
    std::vector<char> memo_;
};

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    const std::string translated = Translate(pattern);
    return Matcher(name, translated).Match(0, 0);
}

bool HasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

}  // namespace pelorin::platform
