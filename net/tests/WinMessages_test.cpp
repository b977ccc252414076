// Window message hooks as an owner uses them: the window keeps answering as before, the
// owner hears every message after the answer, and unhooking gives the window back.
#include "net/WinMessages.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "net/WinMessages_Modul.h"
#include "testing/RecordingHooks.h"
#include "platform/MessageQueue.h"
#include "platform/Ui.h"
#include "platform/Window.h"

namespace pelorin {
namespace {

using namespace platform;
using Lines = std::vector<std::string>;

constexpr MessageId kAsk = kWmUser + 1;
// Values wider than 32 bits and negative ones must pass unchanged both ways.
constexpr WParam kWideW = static_cast<WParam>(0x1234567890ULL);
constexpr LParam kNegativeL = -77;

// What the window's own procedure and the owner saw, in order.
Lines gSeen;

std::string Text(const char* who, MessageId message, WParam wParam, LParam lParam) {
    return std::string(who) + " " + std::to_string(message) + " " + std::to_string(wParam) + " " +
           std::to_string(lParam);
}

// The window's own procedure: it answers kAsk with a value computed from the message.
LResult OwnProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == kAsk) {
        gSeen.push_back(Text("proc", message, wParam, lParam));
        return static_cast<LResult>(wParam % 1000) * 3 + lParam;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

// The number of the RuntimeError that Hook throws; 0 when it hooks.
int HookError(WinMessages& hook) {
    try {
        hook.Hook();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

class Owner : public WinMessagesEvents {
  public:
    void WinMessage(WinMessages& sender, WindowHandle hwnd, MessageId uMsg, WParam wParam,
                    LParam lParam) override {
        if (uMsg != kAsk && uMsg != kWmDestroy && uMsg != kWmNcDestroy) return;
        EXPECT_EQ(hwnd, sender.hwnd);
        gSeen.push_back(Text(name, uMsg, wParam, lParam));
        if (uMsg == kAsk && failNext) {
            failNext = false;
            throw std::runtime_error("handler failed");
        }
        if (uMsg == kAsk && unhookAndDrop) {
            sender.Unhook();
            sender.SetEvents(nullptr);
            held.reset();  // the last reference of the owner goes while the event runs
        }
    }

    const char* name = "event";
    bool failNext = false;
    bool unhookAndDrop = false;
    std::shared_ptr<WinMessages> held;
};

class WinMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetHooks();
        gSeen.clear();
        window_ = CreateForm({"Watched", 100, 50, "", 8, OwnProc});
        ASSERT_NE(window_, 0);
    }
    void TearDown() override {
        if (WindowExists(window_)) DestroyWin(window_);
        EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    }

    std::shared_ptr<WinMessages> HookedBy(Owner& owner) {
        auto hook = WinMessages::Create();
        hook->SetEvents(&owner);
        hook->hwnd = window_;
        hook->Hook();
        return hook;
    }

    LResult Ask(WParam wParam, LParam lParam) { return SendMsg(window_, kAsk, wParam, lParam); }

    WindowHandle window_ = 0;
};

TEST_F(WinMessagesTest, WindowAnswersFirstAndUnchangedThenTheOwnerHears) {
    const LResult unhooked = Ask(kWideW, kNegativeL);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, kWideW, kNegativeL)}));
    gSeen.clear();

    Owner owner;
    auto hook = HookedBy(owner);
    EXPECT_TRUE(hook->IsHooked());
    EXPECT_EQ(Ask(kWideW, kNegativeL), unhooked);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, kWideW, kNegativeL),
                            Text("event", kAsk, kWideW, kNegativeL)}));

    // Posted messages take the same way through the queue.
    gSeen.clear();
    ASSERT_TRUE(PostMsg(window_, kAsk, 5, 6));
    Msg msg;
    ASSERT_TRUE(PeekMsg(msg));
    EXPECT_EQ(DispatchMsg(msg), 21);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, 5, 6), Text("event", kAsk, 5, 6)}));

    // Text still goes through the window's own handling.
    ASSERT_TRUE(SetWindowTextBytes(window_, "renamed"));
    EXPECT_EQ(GetWindowTextBytes(window_), "renamed");
    hook->Unhook();
}

TEST_F(WinMessagesTest, UnhookRestoresTheWindowAndEndsTheEvents) {
    Owner owner;
    auto hook = HookedBy(owner);
    hook->Hook();  // a second Hook must not put the hook over itself
    EXPECT_EQ(WinMessages_Modul::HookCount(), 1u);
    hook->Unhook();
    EXPECT_FALSE(hook->IsHooked());
    EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);

    gSeen.clear();
    EXPECT_EQ(Ask(7, 1), 22);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, 7, 1)}));
    // The window has its own procedure back: replacing it now hands out OwnProc.
    const WindowProc current = ReplaceWindowProc(window_, OwnProc);
    EXPECT_EQ(current, &OwnProc);

    hook->Unhook();  // not hooked: nothing happens
    EXPECT_EQ(Ask(7, 1), 22);

    // Hooked again after an Unhook, the object watches again.
    hook->Hook();
    gSeen.clear();
    Ask(1, 1);
    EXPECT_EQ(gSeen.size(), 2u);
    hook->Unhook();
}

TEST_F(WinMessagesTest, SecondWatcherOfAWindowIsRefusedAndCannotUndoTheFirst) {
    Owner first;
    auto watching = HookedBy(first);
    Owner second;
    second.name = "second";
    auto refused = WinMessages::Create();
    refused->SetEvents(&second);
    refused->hwnd = window_;
    EXPECT_EQ(HookError(*refused), errors::kKeyAlreadyAssociated);
    EXPECT_FALSE(refused->IsHooked());
    refused->Unhook();  // must leave the first watcher's hook in place

    gSeen.clear();
    EXPECT_EQ(Ask(2, 0), 6);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, 2, 0), Text("event", kAsk, 2, 0)}));
    watching->Unhook();
}

TEST_F(WinMessagesTest, MissingWindowIsRefusedWithNothingLeftBehind) {
    Owner owner;
    for (WindowHandle missing : {WindowHandle{0}, window_ + 4000}) {
        auto hook = WinMessages::Create();
        hook->SetEvents(&owner);
        hook->hwnd = missing;
        EXPECT_EQ(HookError(*hook), errors::kInvalidProcedureCall);
        EXPECT_FALSE(hook->IsHooked());
        EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    }
}

TEST_F(WinMessagesTest, FailingHandlerNeitherChangesTheAnswerNorStopsLaterEvents) {
    Owner owner;
    owner.failNext = true;
    auto hook = HookedBy(owner);
    EXPECT_EQ(Ask(3, 1), 10);
    EXPECT_EQ(Ask(4, 1), 13);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, 3, 1), Text("event", kAsk, 3, 1),
                            Text("proc", kAsk, 4, 1), Text("event", kAsk, 4, 1)}));
    hook->Unhook();
}

TEST_F(WinMessagesTest, RegistryKeepsADroppedHookAliveUntilUnhook) {
    Owner owner;
    std::weak_ptr<WinMessages> weak;
    {
        auto hook = HookedBy(owner);
        weak = hook;
    }
    EXPECT_EQ(testing::Hooks().liveObjects["WinMessages"], 1);
    gSeen.clear();
    Ask(1, 0);
    EXPECT_EQ(gSeen.size(), 2u);
    weak.lock()->Unhook();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(testing::Hooks().liveObjects["WinMessages"], 0);
}

TEST_F(WinMessagesTest, HandlerMayUnhookAndDropTheLastReference) {
    Owner owner;
    owner.unhookAndDrop = true;
    owner.held = HookedBy(owner);
    std::weak_ptr<WinMessages> weak = owner.held;
    EXPECT_EQ(Ask(5, 0), 15);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(Ask(6, 0), 18);
    EXPECT_EQ(gSeen, (Lines{Text("proc", kAsk, 5, 0), Text("event", kAsk, 5, 0),
                            Text("proc", kAsk, 6, 0)}));
}

TEST_F(WinMessagesTest, DestroyedWindowIsForgottenAndItsHookReleased) {
    Owner owner;
    std::weak_ptr<WinMessages> weak;
    {
        auto hook = HookedBy(owner);
        weak = hook;
    }
    ASSERT_TRUE(DestroyWin(window_));
    // The owner hears the window going, then the registry lets go: the handle may come
    // back for another window, which must be free to hook.
    EXPECT_EQ(gSeen, (Lines{Text("event", kWmDestroy, 0, 0), Text("event", kWmNcDestroy, 0, 0)}));
    EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    EXPECT_TRUE(weak.expired());
}

TEST_F(WinMessagesTest, UnhookRestoresTheWindowThatWasHookedEvenAfterHwndChanged) {
    const WindowHandle other = CreateForm({"Other", 100, 50, "", 8, OwnProc});
    ASSERT_NE(other, 0);
    Owner owner;
    auto hook = HookedBy(owner);
    hook->hwnd = other;
    hook->Unhook();
    EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    EXPECT_EQ(ReplaceWindowProc(window_, OwnProc), &OwnProc);
    EXPECT_EQ(ReplaceWindowProc(other, OwnProc), &OwnProc);
    DestroyWin(other);
}

}  // namespace
}  // namespace pelorin
