// The server window: a port box, the button that starts and stops the server, and the
// table of request handlers, one per accepted connection. On Linux, where the window has
// no look of its own, a terminal can work it instead (the port, the button, closing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"
#include "server/http/WebServer.h"
#include "server/store/DBClient.h"

namespace pelorin {

class MainForm : private WebServerEvents, private DBClientEvents {
  public:
    // `unloadRoutine` ends the program; closing the window runs it unless the program is
    // unloading already.
    using UnloadRoutine = void (*)();
    explicit MainForm(UnloadRoutine unloadRoutine);
    ~MainForm() override;
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Makes the window with `portText` in the port box (Form_Load: the handler table is
    // emptied and the data folder made when missing). False when the window could not
    // be made.
    bool Load(std::string_view portText = "88");
    // Shows the window; on a terminal, also its state and the keys that work it.
    void Show();
    // Closes the window as the close box does (Form_Unload, then the window goes).
    void Unload();

    // The button: starts the server on the port box's port, or stops it.
    void Command1_Click();
    // Cancels every request handler and the listener; the table is emptied.
    void StopServer();

    platform::WindowHandle Window() const { return form_; }
    platform::WindowHandle PortBox() const { return text1_; }
    platform::WindowHandle Button() const { return command1_; }
    bool IsListening() const { return myServer != nullptr; }
    // The port the server listens on now (the system's pick for port 0); 0 when stopped.
    std::int32_t ListeningPort() const;
    // The handler table's upper bound: the number of handlers made since the start.
    std::size_t HandlerCount() const { return handlers_.size() - 1; }
    // How many handlers have reported themselves free and wait for a connection.
    std::size_t FreeHandlerCount() const { return freeSlots_.size(); }

  private:
    void NewClient(WebServer& sender, const std::shared_ptr<WebServerClient>& client) override;
    void HandlerFree(DBClient& sender) override;
    std::size_t TakeLowestFreeSlot();
    void StartServer();
    void Form_Load();
    void Form_Unload();
    void Forget();
    void TakeConsoleLines();
    void DoConsoleCommand(std::string_view command);
    void ShowConsoleState();

    static platform::LResult FormProc(platform::WindowHandle window, platform::MessageId message,
                                      platform::WParam wParam, platform::LParam lParam);

    UnloadRoutine unloadRoutine_;
    platform::WindowHandle form_ = 0;
    platform::WindowHandle label1_ = 0;
    platform::WindowHandle text1_ = 0;
    platform::WindowHandle command1_ = 0;
    bool console_ = false;  // a terminal works the window
    std::shared_ptr<WebServer> myServer;
    // Entry 0 stays empty; entries 1 and up always hold a handler.
    std::vector<std::shared_ptr<DBClient>> handlers_{nullptr};
    // The entries whose handlers reported themselves free, lowest first: a new connection
    // need not ask every busy handler (there may be thousands of idle connections).
    std::set<std::size_t> freeSlots_;
};

}  // namespace pelorin
