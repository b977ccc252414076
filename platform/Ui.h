// Forms (the program's top-level windows) and their controls. On Windows these are real
// windows and common controls; on Linux they are a model without a look of their own that
// keeps the same state, so the logic above them behaves and is tested alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace pelorin::platform {

enum class ControlKind {
    Label,
    TextBox,           // single line
    MultiLineTextBox,  // read-only log box with a vertical scroll bar
    Button,
    ReportList,  // list view in report (details) mode
};

// Positions and sizes in pixels at 96 dots per inch.
struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct FormLayout {
    std::string_view caption;
    int clientWidth = 0;
    int clientHeight = 0;
    std::string_view fontName;  // empty: the system's font
    int fontPointSize = 8;
    WindowProc proc = nullptr;  // gets kWmClose, kWmCommand, ...; nullptr: default
};

// A top-level window of the calling thread, created hidden. 0 on failure.
WindowHandle CreateForm(const FormLayout& layout);
// A control on a form; `id` comes back in kWmCommand notifications. 0 on failure.
WindowHandle CreateControl(WindowHandle form, ControlKind kind, int id, std::string_view text,
                           Bounds bounds);
void ShowForm(WindowHandle form, bool visible);
bool IsFormVisible(WindowHandle form);

// Puts the caret (and the view) at the end of a text box.
void SetCaretToEnd(WindowHandle textBox);

// Presses a button as a click would: its form gets kWmCommand with the id and kBnClicked.
void PressButton(WindowHandle button);

// Report lists. Rows are numbered from 0; column 0 is the row's own text.
void ReportListSetColumns(WindowHandle list, const std::vector<std::string>& captions);
std::vector<std::string> ReportListColumns(WindowHandle list);
int ReportListRowCount(WindowHandle list);
void ReportListAddRow(WindowHandle list, std::string_view text);
void ReportListSetCell(WindowHandle list, int row, int column, std::string_view text);
std::string ReportListCell(WindowHandle list, int row, int column);

}  // namespace pelorin::platform
