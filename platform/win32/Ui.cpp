// Forms are top-level windows of one registered class; controls are the system's own
// (static, edit, button) and the common controls' list view.
#include "platform/Ui.h"

#include <windows.h>

#include <commctrl.h>  // needs windows.h first

#include <algorithm>

#include "platform/Window.h"
#include "platform/win32/FormFont.h"
#include "platform/win32/Native.h"

namespace pelorin::platform {

using win32::ToHwnd;
namespace {

constexpr char kFormClass[] = "PelorinForm";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kDefaultColumnWidth = 80;

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

// Registered once per process; the class procedure only serves until CreateForm
// installs the form's own.
bool RegisterFormClass() {
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kFormClass;
        return RegisterClassExA(&wc) != 0;
    }();
    return registered;
}

bool InitListViews() {
    static const bool ready = [] {
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof icc;
        icc.dwICC = ICC_LISTVIEW_CLASSES;
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    return ready;
}

// Font height in pixels at 96 dots per inch; negative asks for the character height.
HFONT MakeFont(std::string_view name, int pointSize) {
    if (name.empty()) return nullptr;
    const std::string face(name);
    return CreateFontA(-MulDiv(pointSize, 96, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// The form's own font, or the GUI font for a form without one: never the bold System
// font controls start with.
WPARAM FontFor(HWND form) {
    HANDLE font = GetPropA(form, win32::kFormFontProperty);
    if (font == nullptr) font = GetStockObject(DEFAULT_GUI_FONT);
    return reinterpret_cast<WPARAM>(font);
}

struct ControlClass {
    const char* className;
    DWORD style;
};

ControlClass ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return {"STATIC", SS_LEFT};
        case ControlKind::TextBox:
            return {"EDIT", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL};
        case ControlKind::MultiLineTextBox:
            return {"EDIT", WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL};
        case ControlKind::Button:
            return {"BUTTON", WS_TABSTOP | BS_PUSHBUTTON};
        case ControlKind::ReportList:
            return {WC_LISTVIEWA, WS_BORDER | WS_TABSTOP | LVS_REPORT};
    }
    return {"STATIC", 0};
}

std::string ColumnCaption(HWND list, int column) {
    char buffer[260] = {};
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT;
    col.pszText = buffer;
    col.cchTextMax = sizeof buffer;
    if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column),
                      reinterpret_cast<LPARAM>(&col))) {
        return {};
    }
    return col.pszText;  // the control may answer with a pointer of its own
}

int ColumnCount(HWND list) {
    const auto header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr) return 0;
    return static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

}  // namespace

WindowHandle CreateForm(const FormLayout& layout) {
    if (!RegisterFormClass()) return 0;
    RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
    const std::string caption(layout.caption);
    HWND form = CreateWindowExA(0, kFormClass, caption.c_str(), kFormStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                nullptr, nullptr, Instance(), nullptr);
    if (form == nullptr) return 0;
    if (HFONT font = MakeFont(layout.fontName, layout.fontPointSize)) {
        SetPropA(form, win32::kFormFontProperty, font);  // deleted by DestroyWin
    }
    // DefaultWindowProc rather than the class's DefWindowProcA: closing then goes through
    // DestroyWin, which deletes the font.
    const auto handle = reinterpret_cast<WindowHandle>(form);
    ReplaceWindowProc(handle, layout.proc != nullptr ? layout.proc : DefaultWindowProc);
    return handle;
}

WindowHandle CreateControl(WindowHandle form, ControlKind kind, int id, std::string_view text,
                           Bounds bounds) {
    if (kind == ControlKind::ReportList && !InitListViews()) return 0;
    const ControlClass cls = ClassOf(kind);
    const std::string caption(text);
    HWND control =
        CreateWindowExA(0, cls.className, caption.c_str(), WS_CHILD | WS_VISIBLE | cls.style,
                        bounds.left, bounds.top, bounds.width, bounds.height, ToHwnd(form),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (control == nullptr) return 0;
    SendMessageA(control, WM_SETFONT, FontFor(ToHwnd(form)), FALSE);
    return reinterpret_cast<WindowHandle>(control);
}

void ShowForm(WindowHandle form, bool visible) {
    ShowWindow(ToHwnd(form), visible ? SW_SHOWNORMAL : SW_HIDE);
}

bool IsFormVisible(WindowHandle form) {
    return IsWindowVisible(ToHwnd(form)) != FALSE;
}

// EM_SETSEL(-1, -1) only drops the selection; the end is the text length.
void SetCaretToEnd(WindowHandle textBox) {
    HWND box = ToHwnd(textBox);
    const auto length = static_cast<WPARAM>(std::max(GetWindowTextLengthA(box), 0));
    SendMessageA(box, EM_SETSEL, length, static_cast<LPARAM>(length));
    SendMessageA(box, EM_SCROLLCARET, 0, 0);
}

void PressButton(WindowHandle button) {
    SendMessageA(ToHwnd(button), BM_CLICK, 0, 0);
}

// Columns are deleted from the last, so that every index stays valid while deleting.
void ReportListSetColumns(WindowHandle list, const std::vector<std::string>& captions) {
    HWND view = ToHwnd(list);
    for (int column = ColumnCount(view) - 1; column >= 0; --column) {
        SendMessageA(view, LVM_DELETECOLUMN, static_cast<WPARAM>(column), 0);
    }
    int index = 0;
    for (const std::string& caption : captions) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.cx = kDefaultColumnWidth;
        col.pszText = const_cast<char*>(caption.c_str());
        col.iSubItem = index;
        SendMessageA(view, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&col));
        ++index;
    }
}

std::vector<std::string> ReportListColumns(WindowHandle list) {
    HWND view = ToHwnd(list);
    std::vector<std::string> captions;
    const int count = ColumnCount(view);
    for (int column = 0; column < count; ++column) captions.push_back(ColumnCaption(view, column));
    return captions;
}

int ReportListRowCount(WindowHandle list) {
    return static_cast<int>(SendMessageA(ToHwnd(list), LVM_GETITEMCOUNT, 0, 0));
}

void ReportListAddRow(WindowHandle list, std::string_view text) {
    const std::string copy(text);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = ReportListRowCount(list);  // at the end
    item.pszText = const_cast<char*>(copy.c_str());
    SendMessageA(ToHwnd(list), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void ReportListSetCell(WindowHandle list, int row, int column, std::string_view text) {
    const std::string copy(text);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(copy.c_str());
    SendMessageA(ToHwnd(list), LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

// The answer is the length copied; a full buffer may mean the text was cut, so the
// buffer grows (up to a bound) until the text fits.
std::string ReportListCell(WindowHandle list, int row, int column) {
    if (row < 0 || column < 0) return {};
    constexpr std::size_t kLimit = 1u << 20;
    std::string buffer;
    for (std::size_t size = 256; size <= kLimit; size *= 4) {
        buffer.assign(size, '\0');
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        const auto length = static_cast<std::size_t>(
            std::max<LRESULT>(SendMessageA(ToHwnd(list), LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                           reinterpret_cast<LPARAM>(&item)),
                              0));
        if (length + 1 < size) {
            buffer.resize(length);
            return buffer;
        }
    }
    buffer.resize(kLimit - 1);
    return buffer;
}

}  // namespace pelorin::platform
