#include "diagnostics/DebugForm.h"

#include <string>
#include <vector>

#include "base/Text.h"
#include "diagnostics/Hooks.h"
#include "diagnostics/LogBox.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "settings/ProgramSettings.h"

namespace pelorin {

using namespace platform;

namespace {

enum ControlId { kText1 = 1, kListView1, kListView2 };

// The texts are ANSI (Windows-1252): "\xE4" is "ä".
const std::vector<std::string> kClassColumns = {"Klasse", "Anzahl"};
const std::vector<std::string> kProzessColumns = {"Prozess", "Durchschnitt", "L\xE4ngste", "Anzahl",
                                                  "Gesammt"};

// Report lists number their rows from 0, the tables their entries from 1.
int RowOf(std::size_t number) {
    return static_cast<int>(number) - 1;
}

// The row for entry `number`, added with `name` as its text when the list lacks it.
int EnsureRow(WindowHandle list, std::size_t number, std::string_view name) {
    const int row = RowOf(number);
    if (row >= ReportListRowCount(list)) ReportListAddRow(list, name);
    return row;
}

std::string Number(std::int64_t value) {
    return NumberText(static_cast<double>(value));
}

}  // namespace

DebugForm::~DebugForm() {
    Destroy();
}

bool DebugForm::Load() {
    if (IsLoaded()) return true;
    const FormLayout layout{.caption = "DebugForm",
                            .clientWidth = 514,
                            .clientHeight = 378,
                            .fontName = {},
                            .fontPointSize = 8,
                            .proc = &DebugForm::FormProc};
    form_ = CreateForm(layout);
    if (form_ == 0) return false;
    SetWindowData(form_, reinterpret_cast<std::intptr_t>(this));
    CreateControls();
    return true;
}

void DebugForm::CreateControls() {
    text1_ = CreateControl(form_, ControlKind::MultiLineTextBox, kText1, "", {0, 0, 513, 185});
    listView1_ = CreateControl(form_, ControlKind::ReportList, kListView1, "", {0, 184, 257, 193});
    listView2_ =
        CreateControl(form_, ControlKind::ReportList, kListView2, "", {256, 184, 257, 193});
    ReportListSetColumns(listView1_, kClassColumns);
    ReportListSetColumns(listView2_, kProzessColumns);
}

void DebugForm::Show() {
    if (IsLoaded()) ShowForm(form_, true);
}

void DebugForm::Unload() {
    if (IsLoaded()) SendMsg(form_, kWmClose, 0, 0);
}

void DebugForm::Destroy() {
    if (IsLoaded() && !DestroyWin(form_)) Forget();  // a window of another thread
}

void DebugForm::AddText(std::string_view TheText) {
    if (text1_ == 0) return;
    SetWindowTextBytes(text1_, AppendLogBoxLine(GetWindowTextBytes(text1_), TheText));
    SetCaretToEnd(text1_);
    WriteDebugOutput(LogBoxLine(TheText));
}

void DebugForm::ShowClassCount(std::size_t number, const ClassCount& entry) {
    if (listView1_ == 0) return;
    const int row = EnsureRow(listView1_, number, entry.name);
    ReportListSetCell(listView1_, row, 1, Number(entry.count));
}

void DebugForm::ShowProzessRow(std::size_t number, const ProzessRow& entry) {
    if (listView2_ == 0) return;
    const int row = EnsureRow(listView2_, number, entry.name);
    ReportListSetCell(listView2_, row, 1, NumberText(entry.average));
    ReportListSetCell(listView2_, row, 2, Number(entry.longest));
    ReportListSetCell(listView2_, row, 3, Number(entry.count));
    ReportListSetCell(listView2_, row, 4, Number(entry.total));
}

void DebugForm::Forget() {
    form_ = text1_ = listView1_ = listView2_ = 0;
}

LResult DebugForm::FormProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    // The user cannot close the window; it goes with the others when the program unloads.
    if (message == kWmClose && !IsUnloading()) return 0;
    if (message == kWmDestroy) {
        if (auto* form = reinterpret_cast<DebugForm*>(GetWindowData(window))) form->Forget();
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace pelorin
