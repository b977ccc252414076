// Forms and controls: the state the logic above them reads and writes.
#include "platform/Ui.h"

#include <gtest/gtest.h>

#include "platform/MessageQueue.h"
#include "platform/Window.h"

namespace pelorin::platform {
namespace {

WParam gCommand = 0;
LResult FormProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == kWmCommand) {
        gCommand = wParam;
        return 0;
    }
    if (message == kWmClose) return 0;  // this form refuses to close
    return DefaultWindowProc(window, message, wParam, lParam);
}

TEST(Ui, FormControlsAndClicks) {
    const WindowHandle form = CreateForm({"Test Form", 149, 62, "Verdana", 8, FormProc});
    ASSERT_NE(form, 0);
    EXPECT_FALSE(IsFormVisible(form));
    const WindowHandle box = CreateControl(form, ControlKind::TextBox, 2, "88", {72, 8, 73, 19});
    const WindowHandle button =
        CreateControl(form, ControlKind::Button, 3, "start server", {8, 32, 137, 25});
    ASSERT_NE(box, 0);
    ASSERT_NE(button, 0);
    EXPECT_EQ(GetWindowTextBytes(form), "Test Form");
    EXPECT_EQ(GetWindowTextBytes(box), "88");
    SetWindowTextBytes(box, "8088");
    EXPECT_EQ(GetWindowTextBytes(box), "8088");

    gCommand = 0;
    PressButton(button);
    EXPECT_EQ(LowWord(gCommand), 3u);
    EXPECT_EQ(HighWord(gCommand), kBnClicked);

    ShowForm(form, true);
    EXPECT_TRUE(IsFormVisible(form));
    SendMsg(form, kWmClose, 0, 0);
    EXPECT_TRUE(WindowExists(form));
    ASSERT_TRUE(DestroyWin(form));
    EXPECT_FALSE(WindowExists(box));
}

TEST(Ui, ReportListsAndTextBoxes) {
    const WindowHandle form = CreateForm({"Lists", 514, 378, "", 8, nullptr});
    const WindowHandle list =
        CreateControl(form, ControlKind::ReportList, 1, "", {0, 184, 257, 193});
    const WindowHandle log =
        CreateControl(form, ControlKind::MultiLineTextBox, 2, "", {0, 0, 513, 185});
    ReportListSetColumns(list, {"Klasse", "Anzahl"});
    ReportListSetColumns(list, {"Prozess", "L\xE4ngste"});  // replaces, not adds
    EXPECT_EQ(ReportListColumns(list), (std::vector<std::string>{"Prozess", "L\xE4ngste"}));
    EXPECT_EQ(ReportListRowCount(list), 0);
    ReportListAddRow(list, "WebClient");
    ReportListAddRow(list, "ATimer");
    ReportListSetCell(list, 1, 1, "15.5");
    EXPECT_EQ(ReportListRowCount(list), 2);
    EXPECT_EQ(ReportListCell(list, 0, 0), "WebClient");
    EXPECT_EQ(ReportListCell(list, 1, 0), "ATimer");
    EXPECT_EQ(ReportListCell(list, 1, 1), "15.5");
    EXPECT_EQ(ReportListCell(list, 0, 1), "");

    const std::string text = "line 1\r\nline 2\r\n";
    SetWindowTextBytes(log, text);
    SetCaretToEnd(log);
    EXPECT_EQ(GetWindowTextBytes(log), text);
    DestroyWin(form);
}

}  // namespace
}  // namespace pelorin::platform
