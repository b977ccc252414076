#include "server/desktop/PositionSaver.h"

#include <algorithm>
#include <optional>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "platform/WindowPlacement.h"
#include "server/desktop/Mathe_Code.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using platform::Bounds;
using platform::ScreenSize;
using platform::WindowState;

constexpr std::string_view kFileExtension = ".pos";

// The state digit of a line. A digit no window state has (from a damaged line) restores
// the window, the state "0" stands for.
WindowState StateFromNumber(double number) {
    if (number == 1) return WindowState::Minimized;
    if (number == 2) return WindowState::Maximized;
    return WindowState::Normal;
}

std::string_view FirstLine(std::string_view contents) {
    return contents.substr(0, contents.find_first_of("\r\n"));
}

// The first line of the file. A missing file is created holding an empty line first, so
// that the next save finds it in place.
std::string ReadFirstLine(const std::string& path) {
    std::string contents;
    int error = platform::ReadWholeFile(path, contents);
    if (error == errors::kFileNotFound) {
        error = platform::WriteWholeFile(path, LineBreak());
        contents.clear();
    }
    if (error != 0) throw RuntimeError(error);
    return std::string(FirstLine(contents));
}

double Fraction(int part, int whole) {
    return static_cast<double>(part) / static_cast<double>(whole);
}

int ScaledPixels(int screenExtent, double fraction) {
    const std::optional<std::int32_t> pixels =
        RoundToInt32(static_cast<double>(screenExtent) * fraction);
    if (!pixels) throw RuntimeError(errors::kOverflow);
    return *pixels;
}

Rectangle FractionsOfScreen(const Bounds& bounds, const ScreenSize& screen) {
    return {Fraction(bounds.left, screen.width), Fraction(bounds.top, screen.height),
            Fraction(bounds.width, screen.width), Fraction(bounds.height, screen.height)};
}

Bounds ScaledToScreen(const Rectangle& fractions, const ScreenSize& screen) {
    return {ScaledPixels(screen.width, fractions.x), ScaledPixels(screen.height, fractions.y),
            ScaledPixels(screen.width, fractions.width),
            ScaledPixels(screen.height, fractions.height)};
}

}  // namespace

std::string PositionSaver::FilePath() const {
    return ProgramFolderPath() + formName_ + std::string(kFileExtension);
}

// A window destroyed since SetForm counts as none: saving it would overwrite a good line
// with zeros.
bool PositionSaver::HasForm() const {
    return form_ != 0 && platform::WindowExists(form_);
}

void PositionSaver::SavePosition() {
    if (!HasForm()) return;
    const ScreenSize screen = platform::GetScreenSize();
    if (screen.width <= 0 || screen.height <= 0) throw RuntimeError(errors::kDivisionByZero);

    std::string line = platform::IsFormVisible(form_) ? "1" : "0";
    line += static_cast<char>('0' + static_cast<int>(platform::GetWindowState(form_)));
    platform::SetWindowState(form_, WindowState::Normal);
    line += RectangleText(FractionsOfScreen(platform::GetNormalBounds(form_), screen));
    line += LineBreak();
    // All at once: a failed write leaves the previous line in place.
    if (const int error = platform::ReplaceFileAtomically(FilePath(), line)) {
        throw RuntimeError(error);
    }
}

void PositionSaver::LoadPosition() {
    if (!HasForm()) return;
    const std::string line = ReadFirstLine(FilePath());
    if (line.empty()) return;

    // Everything is read and scaled before the window changes, so a line that cannot be
    // applied leaves the window as it was.
    const std::string_view rest(line);
    const bool visible = Val(rest.substr(0, 1)) != 0;
    const WindowState state = StateFromNumber(Val(rest.substr(1, 1)));
    const Bounds bounds =
        ScaledToScreen(ParseRectangle(rest.substr(std::min<std::size_t>(2, rest.size()))),
                       platform::GetScreenSize());

    platform::ShowForm(form_, visible);
    platform::SetWindowState(form_, WindowState::Normal);
    platform::SetNormalBounds(form_, bounds);
    platform::SetWindowState(form_, state);
}

}  // namespace pelorin
