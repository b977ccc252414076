// Forms and controls as a model: the same state as on Windows, no look of its own.
#include "platform/Ui.h"

#include "platform/MessageQueue.h"
#include "platform/Window.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::kBmClick;
using posix::WindowKind;
using posix::WindowRecord;
using posix::WindowRegistry;

WindowHandle CreateForm(const FormLayout& layout) {
    auto record = std::make_unique<WindowRecord>();
    record->kind = WindowKind::Form;
    record->proc = layout.proc != nullptr ? layout.proc : DefaultWindowProc;
    record->text = std::string(layout.caption);
    record->bounds = Bounds{0, 0, layout.clientWidth, layout.clientHeight};
    return WindowRegistry::Instance().Add(std::move(record));
}

WindowHandle CreateControl(WindowHandle form, ControlKind kind, int id, std::string_view text,
                           Bounds bounds) {
    if (!WindowExists(form)) return 0;
    auto record = std::make_unique<WindowRecord>();
    record->kind = WindowKind::Control;
    record->control = kind;
    record->proc = DefaultWindowProc;
    record->parent = form;
    record->id = id;
    record->text = std::string(text);
    record->bounds = bounds;
    record->visible = true;
    return WindowRegistry::Instance().Add(std::move(record));
}

void ShowForm(WindowHandle form, bool visible) {
    WindowRegistry::Instance().With(form, [&](WindowRecord& r) { r.visible = visible; });
}

bool IsFormVisible(WindowHandle form) {
    bool visible = false;
    WindowRegistry::Instance().With(form, [&](WindowRecord& r) { visible = r.visible; });
    return visible;
}

void SetCaretToEnd(WindowHandle textBox) {
    WindowRegistry::Instance().With(textBox, [](WindowRecord& r) { r.caret = r.text.size(); });
}

void PressButton(WindowHandle button) {
    SendMsg(button, kBmClick, 0, 0);
}

void ReportListSetColumns(WindowHandle list, const std::vector<std::string>& captions) {
    WindowRegistry::Instance().With(list, [&](WindowRecord& r) { r.columns = captions; });
}

std::vector<std::string> ReportListColumns(WindowHandle list) {
    std::vector<std::string> columns;
    WindowRegistry::Instance().With(list, [&](WindowRecord& r) { columns = r.columns; });
    return columns;
}

int ReportListRowCount(WindowHandle list) {
    int count = 0;
    WindowRegistry::Instance().With(
        list, [&](WindowRecord& r) { count = static_cast<int>(r.rows.size()); });
    return count;
}

void ReportListAddRow(WindowHandle list, std::string_view text) {
    WindowRegistry::Instance().With(
        list, [&](WindowRecord& r) { r.rows.push_back({std::string(text)}); });
}

void ReportListSetCell(WindowHandle list, int row, int column, std::string_view text) {
    WindowRegistry::Instance().With(list, [&](WindowRecord& r) {
        if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= r.rows.size()) return;
        // A list view keeps no text for a column it does not have.
        if (column > 0 && static_cast<std::size_t>(column) >= r.columns.size()) return;
        auto& cells = r.rows[static_cast<std::size_t>(row)];
        if (cells.size() <= static_cast<std::size_t>(column))
            cells.resize(static_cast<std::size_t>(column) + 1);
        cells[static_cast<std::size_t>(column)] = std::string(text);
    });
}

std::string ReportListCell(WindowHandle list, int row, int column) {
    std::string text;
    WindowRegistry::Instance().With(list, [&](WindowRecord& r) {
        if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= r.rows.size()) return;
        const auto& cells = r.rows[static_cast<std::size_t>(row)];
        if (static_cast<std::size_t>(column) < cells.size())
            text = cells[static_cast<std::size_t>(column)];
    });
    return text;
}

}  // namespace pelorin::platform
