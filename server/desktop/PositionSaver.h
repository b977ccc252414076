// Remembers where a window was, how big, whether it was visible and whether it was
// minimised or maximised, in one line of the file program folder + form name + ".pos",
// and puts the window back there later. Place and size are kept as fractions of the
// screen, so the window comes back in the same relative place on a screen of another size.
#pragma once

#include <string>
#include <string_view>

#include "diagnostics/ObjectTrace.h"
#include "platform/Types.h"

namespace pelorin {

class PositionSaver {
  public:
    void SetFormName(std::string_view TheName) { formName_ = TheName; }
    const std::string& GetFormName() const { return formName_; }
    // The window to save and restore; 0 for none.
    void SetForm(platform::WindowHandle TheForm) { form_ = TheForm; }

    // Writes the window's line, replacing the file. The window is left in the normal
    // state. Does nothing without a window. File errors are thrown as RuntimeError.
    void SavePosition();

    // Applies the file's line to the window. A missing file is created holding an empty
    // line; an empty line leaves the window where it is. Does nothing without a window.
    // Place and size are applied unchecked, even off the screen or with size 0. Throws
    // RuntimeError for file errors and for numbers too large for a window, in both cases
    // before the window is touched.
    void LoadPosition();

    // The file this saver reads and writes.
    std::string FilePath() const;

  private:
    bool HasForm() const;

    ObjectTrace trace_{"PositionSaver"};
    std::string formName_;
    platform::WindowHandle form_ = 0;
};

}  // namespace pelorin
