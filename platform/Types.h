// Handle, message and callback types of the platform layer. They mirror the window-message
// concepts the components rely on (window handles, window procedures, timer callbacks,
// socket notifications); the numbers are those of Windows on both platforms.
#pragma once

#include <cstdint>

namespace pelorin::platform {

using WindowHandle = std::intptr_t;  // 0 = no window
using SocketHandle = std::intptr_t;  // positive and below 2^31 while valid
using MessageId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

constexpr SocketHandle kInvalidSocket = -1;
constexpr int kSocketError = -1;

// A window procedure. Same shape as the Win32 one, so on Windows it is installed directly.
using WindowProc = LResult (*)(WindowHandle window, MessageId message, WParam wParam,
                               LParam lParam);

// A timer callback: window 0, message kWmTimer, the timer id, the millisecond clock.
using TimerProc = void (*)(WindowHandle window, MessageId message, std::uintptr_t id,
                           std::uint32_t time);

// One queued message, as GetMessage hands it out.
struct Msg {
    WindowHandle window = 0;
    MessageId message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    std::uint32_t time = 0;  // millisecond clock when it was queued
};

// Message numbers (Windows values).
constexpr MessageId kWmNull = 0x0000;
constexpr MessageId kWmCreate = 0x0001;
constexpr MessageId kWmDestroy = 0x0002;
constexpr MessageId kWmMove = 0x0003;
constexpr MessageId kWmSize = 0x0005;
constexpr MessageId kWmSetText = 0x000C;
constexpr MessageId kWmGetText = 0x000D;
constexpr MessageId kWmGetTextLength = 0x000E;
constexpr MessageId kWmClose = 0x0010;
constexpr MessageId kWmQuit = 0x0012;
constexpr MessageId kWmShowWindow = 0x0018;
constexpr MessageId kWmNcDestroy = 0x0082;
constexpr MessageId kWmKeyDown = 0x0100;
constexpr MessageId kWmChar = 0x0102;
constexpr MessageId kWmCommand = 0x0111;
constexpr MessageId kWmTimer = 0x0113;
constexpr MessageId kWmMouseMove = 0x0200;
constexpr MessageId kWmLButtonDown = 0x0201;
constexpr MessageId kWmLButtonUp = 0x0202;
constexpr MessageId kWmLButtonDblClk = 0x0203;
constexpr MessageId kWmRButtonDown = 0x0204;
constexpr MessageId kWmRButtonUp = 0x0205;
constexpr MessageId kWmUser = 0x0400;

// Button notification code carried in the high word of a kWmCommand wParam.
constexpr std::uint32_t kBnClicked = 0;

// Socket notification events (low word of lParam) and request masks.
constexpr std::uint32_t kFdRead = 1;
constexpr std::uint32_t kFdWrite = 2;
constexpr std::uint32_t kFdAccept = 8;
constexpr std::uint32_t kFdConnect = 16;
constexpr std::uint32_t kFdClose = 32;

// Winsock error numbers, used by both backends.
constexpr int kWsaEIntr = 10004;
constexpr int kWsaEBadF = 10009;
constexpr int kWsaEAcces = 10013;
constexpr int kWsaEFault = 10014;
constexpr int kWsaEInval = 10022;
constexpr int kWsaEMFile = 10024;
constexpr int kWsaEWouldBlock = 10035;
constexpr int kWsaEInProgress = 10036;
constexpr int kWsaEAlready = 10037;
constexpr int kWsaENotSock = 10038;
constexpr int kWsaEAddrInUse = 10048;
constexpr int kWsaEAddrNotAvail = 10049;
constexpr int kWsaENetUnreach = 10051;
constexpr int kWsaEConnAborted = 10053;
constexpr int kWsaEConnReset = 10054;
constexpr int kWsaENoBufs = 10055;
constexpr int kWsaEIsConn = 10056;
constexpr int kWsaENotConn = 10057;
constexpr int kWsaEShutdown = 10058;
constexpr int kWsaETimedOut = 10060;
constexpr int kWsaEConnRefused = 10061;
constexpr int kWsaEHostUnreach = 10065;
constexpr int kWsaNotInitialised = 10093;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;

// The lParam of a socket notification: event in the low word, error in the high word.
constexpr LParam MakeSelectLParam(std::uint32_t event, int error) {
    return static_cast<LParam>((static_cast<std::uint32_t>(error) << 16) | (event & 0xFFFFu));
}
constexpr std::uint32_t LowWord(std::uintptr_t value) {
    return static_cast<std::uint32_t>(value & 0xFFFFu);
}
constexpr std::uint32_t HighWord(std::uintptr_t value) {
    return static_cast<std::uint32_t>((value >> 16) & 0xFFFFu);
}

}  // namespace pelorin::platform
