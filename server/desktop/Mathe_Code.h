// Point and rectangle records and their text forms ("X|Y" and "X|Y_Width|Height"), with
// numbers in the shortest decimal form (".25", "-1.5").
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

struct Point {
    double x = 0;
    double y = 0;
};

struct Rectangle {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

std::string PointText(const Point& point);
std::string RectangleText(const Rectangle& rectangle);

// The parts are read as numbers the lenient way: anything unreadable is 0. A text without
// "|" is the point 0|0; a text without "_" is the rectangle of zeros.
Point ParsePoint(std::string_view text);
Rectangle ParseRectangle(std::string_view text);

}  // namespace pelorin
