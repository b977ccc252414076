#include "server/desktop/Mathe_Code.h"

#include "base/Text.h"

namespace pelorin {
namespace {

constexpr char kPointSeparator = '|';
constexpr char kSizeSeparator = '_';

}  // namespace

std::string PointText(const Point& point) {
    return NumberText(point.x) + kPointSeparator + NumberText(point.y);
}

std::string RectangleText(const Rectangle& rectangle) {
    return PointText({rectangle.x, rectangle.y}) + kSizeSeparator +
           PointText({rectangle.width, rectangle.height});
}

Point ParsePoint(std::string_view text) {
    const std::size_t split = text.find(kPointSeparator);
    if (split == std::string_view::npos) return {};
    return {Val(text.substr(0, split)), Val(text.substr(split + 1))};
}

Rectangle ParseRectangle(std::string_view text) {
    const std::size_t split = text.find(kSizeSeparator);
    if (split == std::string_view::npos) return {};
    const Point place = ParsePoint(text.substr(0, split));
    const Point size = ParsePoint(text.substr(split + 1));
    return {place.x, place.y, size.x, size.y};
}

}  // namespace pelorin
