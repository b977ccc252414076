#include "base/Text.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pelorin {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The characters that make up the number, blanks dropped, up to the first that cannot.
std::string NumberCharacters(std::string_view text, std::size_t start) {
    std::string out;
    bool point = false, exponent = false;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (IsBlank(c)) continue;
        if (IsDigit(c)) {
            out += c;
        } else if ((c == '-' || c == '+') && (out.empty() || out.back() == 'E')) {
            out += c;
        } else if (c == '.' && !point && !exponent) {
            point = true;
            out += c;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && !exponent && !out.empty()) {
            exponent = true;
            out += 'E';
        } else {
            break;
        }
    }
    return out;
}

double RadixNumber(std::string_view text, std::size_t start, int radix) {
    double value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (IsBlank(c)) continue;
        int digit = -1;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= radix) break;
        value = value * radix + digit;
    }
    return value;
}

double RoundEven(double value) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

}  // namespace

double Val(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i + 1 < text.size() && text[i] == '&') {
        const char kind = text[i + 1];
        if (kind == 'H' || kind == 'h') return RadixNumber(text, i + 2, 16);
        if (kind == 'O' || kind == 'o') return RadixNumber(text, i + 2, 8);
    }
    std::string number = NumberCharacters(text, i);
    // A dangling exponent or sign reads as if it were not there ("12E" is 12).
    while (!number.empty() &&
           (number.back() == 'E' || number.back() == '-' || number.back() == '+')) {
        number.pop_back();
    }
    if (number.empty() || number == ".") return 0;
    return std::strtod(number.c_str(), nullptr);
}

std::optional<std::int16_t> RoundToInt16(double value) {
    const double r = RoundEven(value);
    if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<std::int32_t> RoundToInt32(double value) {
    const double r = RoundEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

double RoundHalfEven(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return RoundEven(value * scale) / scale;
}

std::string NumberText(double value) {
    if (value == 0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text(buffer);
    // Trailing zeros of the fraction go, and the point with them when nothing is left.
    const std::size_t e = text.find('E');
    std::string mantissa = text.substr(0, e);
    const std::string exponent = e == std::string::npos ? "" : text.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
    }
    if (mantissa.starts_with("0."))
        mantissa.erase(0, 1);
    else if (mantissa.starts_with("-0."))
        mantissa.erase(1, 1);
    return mantissa + exponent;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.starts_with(prefix);
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
    if (needle.empty()) return 0;
    std::size_t count = 0;
    for (std::size_t pos = text.find(needle); pos != std::string_view::npos;
         pos = text.find(needle, pos + needle.size())) {
        ++count;
    }
    return count;
}

}  // namespace pelorin
