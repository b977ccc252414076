// The debug window: the log box `Text1` and the two statistics lists, `ListView1` (live
// objects per class) and `ListView2` (procedure timing). The lists only display the
// statistics tables: row i shows entry i.
#pragma once

#include <cstddef>
#include <string_view>

#include "diagnostics/ClassCounts.h"
#include "diagnostics/ProzessTable.h"
#include "platform/Types.h"

namespace pelorin {

class DebugForm {
  public:
    DebugForm() = default;
    ~DebugForm();  // destroys a window that is still there
    DebugForm(const DebugForm&) = delete;
    DebugForm& operator=(const DebugForm&) = delete;

    // Creates the window, hidden, with its controls and list columns. A loaded form stays
    // as it is. False when the window could not be made.
    bool Load();
    bool IsLoaded() const { return form_ != 0; }
    void Show();

    // Closes the window as its close box does: it agrees only once Unloading is set.
    void Unload();
    // Destroys the window whatever the flags say.
    void Destroy();

    // Adds `TheText` as the newest line of the log box (see AppendLogBoxLine), puts the
    // caret at the end and writes the line to the developer's debug output.
    void AddText(std::string_view TheText);

    // Shows entry `number` of a table in the row of that number, adding the row when the
    // list does not have it yet.
    void ShowClassCount(std::size_t number, const ClassCount& entry);
    void ShowProzessRow(std::size_t number, const ProzessRow& row);

    platform::WindowHandle Window() const { return form_; }
    platform::WindowHandle Text1() const { return text1_; }
    platform::WindowHandle ListView1() const { return listView1_; }
    platform::WindowHandle ListView2() const { return listView2_; }

  private:
    static platform::LResult FormProc(platform::WindowHandle window, platform::MessageId message,
                                      platform::WParam wParam, platform::LParam lParam);
    void CreateControls();
    void Forget();  // the window is being destroyed

    platform::WindowHandle form_ = 0;
    platform::WindowHandle text1_ = 0;
    platform::WindowHandle listView1_ = 0;
    platform::WindowHandle listView2_ = 0;
};

}  // namespace pelorin
