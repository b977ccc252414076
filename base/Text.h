// Text and number conversions shared by all components. Texts are byte strings; letter
// case and spaces are those of ASCII.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

// The leading number of a text, read the classic BASIC way: blanks, tabs and line feeds
// are skipped anywhere, then an optional sign, digits, a "." and an exponent ("E" or "D");
// "&H" and "&O" start hexadecimal and octal numbers. No number at all reads as 0.
double Val(std::string_view text);

// Rounds half to even and checks the range; nothing when the value does not fit.
std::optional<std::int16_t> RoundToInt16(double value);
std::optional<std::int32_t> RoundToInt32(double value);

// Rounds to `decimals` places, half to even.
double RoundHalfEven(double value, int decimals);

// The shortest decimal form (up to 15 significant digits): "." as the point, no
// thousands separators, no trailing zeros, no zero before the point (".5", "-.25").
std::string NumberText(double value);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Removes leading and trailing spaces (only spaces, as BASIC's Trim).
std::string_view TrimSpaces(std::string_view text);
// True for a non-empty text of the digits 0 to 9 only.
bool AllDigits(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
// Occurrences of `needle`, scanning left to right without overlap.
std::size_t CountOccurrences(std::string_view text, std::string_view needle);

}  // namespace pelorin
