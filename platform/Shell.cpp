#include "platform/Shell.h"

#include <atomic>

namespace pelorin::platform {

// The system's shell; each platform's backend file defines it.
ShellBackend& SystemShell();

namespace {

std::atomic<ShellBackend*> gReplacement{nullptr};

ShellBackend& Current() {
    ShellBackend* replacement = gReplacement.load();
    return replacement != nullptr ? *replacement : SystemShell();
}

const char* ActionName(NotifyAction action) {
    switch (action) {
        case NotifyAction::Add:
            return "add";
        case NotifyAction::Modify:
            return "modify";
        case NotifyAction::Delete:
            return "delete";
    }
    return "?";
}

}  // namespace

ShellBackend* UseShellBackend(ShellBackend* backend) {
    return gReplacement.exchange(backend);
}

bool NotifyIcon(NotifyAction action, const NotifyIconData& data) {
    return Current().NotifyIcon(action, data);
}

int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items) {
    return Current().TrackPopupMenu(owner, items);
}

bool SetForegroundWin(WindowHandle window) {
    return Current().SetForegroundWin(window);
}

bool BringWinToTop(WindowHandle window) {
    return Current().BringWinToTop(window);
}

bool OpenAddress(std::string_view address) {
    return Current().OpenAddress(address);
}

IconHandle ProgramIcon() {
    return Current().ProgramIcon();
}

bool RecordingShell::NotifyIcon(NotifyAction action, const NotifyIconData& data) {
    journal.push_back(std::string("icon ") + ActionName(action) + " " + std::to_string(data.id));
    iconCalls.push_back({action, data});
    return true;
}

int RecordingShell::TrackPopupMenu(WindowHandle, const std::vector<MenuItem>& items) {
    journal.push_back("menu " + std::to_string(items.size()));
    menus.push_back(items);
    return menuAnswer;
}

bool RecordingShell::SetForegroundWin(WindowHandle window) {
    journal.push_back("foreground " + std::to_string(window));
    return true;
}

bool RecordingShell::BringWinToTop(WindowHandle window) {
    journal.push_back("top " + std::to_string(window));
    return true;
}

bool RecordingShell::OpenAddress(std::string_view address) {
    journal.push_back("open " + std::string(address));
    addresses.emplace_back(address);
    return true;
}

IconHandle RecordingShell::ProgramIcon() {
    return kIcon;
}

}  // namespace pelorin::platform
