#include "server/MainForm.h"

#include <optional>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "diagnostics/Hooks.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/MessageNumbers.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/StaleTemporaries.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "settings/ProgramSettings.h"

namespace pelorin {

using namespace platform;

namespace {

enum ControlId { kLabel1 = 1, kText1, kCommand1 };

constexpr std::string_view kStartCaption = "start server";
constexpr std::string_view kStopCaption = "stopp server";

// Any entry of that name counts, a hidden one too: only a free name is made a folder.
bool AnyEntryNamed(const std::string& path) {
    DirectorySearch search(path);
    FileEntry entry;
    return search.Next(entry);
}

// The port box's number. A text that is no number gives 0, as the box always did; one
// beyond 32 bits cannot be a port at all.
std::int32_t PortFromText(const std::string& text) {
    const std::optional<std::int32_t> port = RoundToInt32(Val(text));
    if (!port) throw RuntimeError(errors::kOverflow);
    return *port;
}

}  // namespace

MainForm::MainForm(UnloadRoutine unloadRoutine) : unloadRoutine_(unloadRoutine) {}

MainForm::~MainForm() {
    StopServer();
    if (form_ != 0) {
        SetWindowData(form_, 0);
        DestroyWin(form_);
    }
}

bool MainForm::Load(std::string_view portText) {
    if (form_ != 0) return true;
    const FormLayout layout{.caption = "Pelorin",
                            .clientWidth = 149,
                            .clientHeight = 62,
                            .fontName = "Verdana",
                            .fontPointSize = 8,
                            .proc = &MainForm::FormProc};
    form_ = CreateForm(layout);
    if (form_ == 0) return false;
    SetWindowData(form_, reinterpret_cast<std::intptr_t>(this));
    label1_ = CreateControl(form_, ControlKind::Label, kLabel1, "Port:", {8, 8, 41, 17});
    text1_ = CreateControl(form_, ControlKind::TextBox, kText1, portText, {72, 8, 73, 19});
    command1_ =
        CreateControl(form_, ControlKind::Button, kCommand1, kStartCaption, {8, 32, 137, 25});
    Form_Load();
    return true;
}

void MainForm::Form_Load() {
    handlers_.assign(1, nullptr);
    freeSlots_.clear();
    const std::string dataFolder = DataFolder();
    if (!AnyEntryNamed(dataFolder)) MakeFolder(dataFolder);
    // A server that died while it stored a file left the new content's temporary file:
    // in the hidden folder, or beside the file where an older version ran.
    platform::OpenTemporaryFolder(dataFolder);
    platform::RemoveStaleTemporaries(dataFolder);
}

void MainForm::Show() {
    if (form_ == 0) return;
    ShowForm(form_, true);
    if (console_) return ShowConsoleState();
    console_ = StartConsoleCommands(form_, messages::kConsoleLine);
    if (!console_) return;
    WriteConsoleLine(
        "Pelorin: type a port number and Enter to change the port, Enter alone "
        "to press the button, q and Enter to close.");
    ShowConsoleState();
}

void MainForm::Unload() {
    if (form_ != 0) SendMsg(form_, kWmClose, 0, 0);
}

void MainForm::Command1_Click() {
    if (GetWindowTextBytes(command1_) == kStartCaption) {
        StartServer();
    } else {
        StopServer();
        SetWindowTextBytes(command1_, kStartCaption);
    }
    ShowConsoleState();
}

// A port that cannot be listened on (in use, out of range, not permitted) leaves the
// window stopped, with the reason in the log and in the debug output (standard error on
// Linux).
void MainForm::StartServer() {
    const std::string portText = GetWindowTextBytes(text1_);
    std::shared_ptr<WebServer> server = WebServer::Create();
    server->SetEvents(this);
    try {
        server->Listen(PortFromText(portText));
    } catch (const RuntimeError& error) {
        server->SetEvents(nullptr);
        WriteLog([&] {
            return "Listen_Error(" + std::to_string(error.number()) + ", \"" + error.what() + "\")";
        });
        WriteDebugOutput("Pelorin: cannot listen to port " + portText + ": " + error.what());
        return;
    }
    myServer = std::move(server);
    SetWindowTextBytes(command1_, kStopCaption);
}

void MainForm::StopServer() {
    for (std::size_t i = 1; i < handlers_.size(); ++i) {
        handlers_[i]->SetEvents(nullptr);
        handlers_[i]->Cancel();
        handlers_[i].reset();
    }
    handlers_.assign(1, nullptr);
    freeSlots_.clear();
    if (myServer) {
        myServer->Cancel();
        myServer->SetEvents(nullptr);
        myServer.reset();
    }
}

std::int32_t MainForm::ListeningPort() const {
    return myServer ? myServer->GetPortInUse() : 0;
}

// The lowest handler whose connection has ended serves the new one; the table grows only
// when every handler is busy.
void MainForm::NewClient(WebServer&, const std::shared_ptr<WebServerClient>& client) {
    std::size_t slot = TakeLowestFreeSlot();
    if (slot == 0) {
        handlers_.push_back(nullptr);
        slot = handlers_.size() - 1;
    } else {
        handlers_[slot]->SetEvents(nullptr);
    }
    handlers_[slot] = DBClient::Create();
    handlers_[slot]->Slot = slot;
    handlers_[slot]->SetEvents(this);
    handlers_[slot]->SetClient(client);
}

void MainForm::HandlerFree(DBClient& sender) {
    if (sender.Slot < handlers_.size() && handlers_[sender.Slot].get() == &sender) {
        freeSlots_.insert(sender.Slot);
    }
}

// The lowest reported entry that is free indeed (which also lets go of a connection whose
// peer left), or 0. A handler stays free until it is replaced, so the reports cannot go
// stale; the check costs little and keeps a wrong report from taking a busy handler.
std::size_t MainForm::TakeLowestFreeSlot() {
    while (!freeSlots_.empty()) {
        const std::size_t slot = *freeSlots_.begin();
        freeSlots_.erase(freeSlots_.begin());
        if (slot < handlers_.size() && handlers_[slot]->IsClientNothing()) return slot;
    }
    return 0;
}

void MainForm::Form_Unload() {
    StopServer();
    if (!IsUnloading() && unloadRoutine_ != nullptr) unloadRoutine_();
}

void MainForm::Forget() {
    form_ = label1_ = text1_ = command1_ = 0;
}

void MainForm::TakeConsoleLines() {
    std::string line;
    while (form_ != 0 && TakeConsoleLine(line)) DoConsoleCommand(TrimSpaces(line));
}

// The keys do what the window does: a number is typed into the port box, Enter alone
// presses the button, "q" closes the window.
void MainForm::DoConsoleCommand(std::string_view command) {
    if (command.empty()) {
        PressButton(command1_);
    } else if (AllDigits(command)) {
        SetWindowTextBytes(text1_, command);
        ShowConsoleState();
    } else if (EqualsIgnoreCase(command, "q")) {
        Unload();
    } else {
        WriteConsoleLine("Pelorin: a port number, Enter alone or q.");
    }
}

void MainForm::ShowConsoleState() {
    if (!console_ || form_ == 0) return;
    WriteConsoleLine("Pelorin  Port: " + GetWindowTextBytes(text1_) + "  [" +
                     GetWindowTextBytes(command1_) + "]");
}

LResult MainForm::FormProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    auto* form = reinterpret_cast<MainForm*>(GetWindowData(window));
    if (form == nullptr) return DefaultWindowProc(window, message, wParam, lParam);
    switch (message) {
        case kWmCommand:
            if (LowWord(wParam) == kCommand1 && HighWord(wParam) == kBnClicked) {
                form->Command1_Click();
            }
            return 0;
        case messages::kConsoleLine:
            form->TakeConsoleLines();
            return 0;
        case kWmClose:
            // Unloading may have closed the window already, from inside Form_Unload.
            form->Form_Unload();
            if (WindowExists(window)) DestroyWin(window);
            return 0;
        case kWmDestroy:
            form->Forget();
            break;
        default:
            break;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace pelorin
