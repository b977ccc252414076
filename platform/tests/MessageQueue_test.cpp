// The message queue and window procedures, as the components rely on them.
#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Window.h"
#include "testing/TestLoop.h"

namespace pelorin::platform {
namespace {

using testing::DrainQueue;
using testing::PumpUntil;

constexpr MessageId kTestMessage = kWmUser + 7;

// Records what reaches a window: (message, wParam) pairs.
struct Recorder {
    std::vector<std::pair<MessageId, WParam>> seen;
};

LResult RecordingProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    auto* recorder = reinterpret_cast<Recorder*>(GetWindowData(window));
    if (recorder != nullptr && message >= kWmUser) {
        recorder->seen.emplace_back(message, wParam);
        return static_cast<LResult>(wParam * 2);
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

class RecordingWindow {
  public:
    RecordingWindow() : window_(CreateHiddenWindow("test")) {
        SetWindowData(window_, reinterpret_cast<std::intptr_t>(&recorder_));
        previous_ = ReplaceWindowProc(window_, RecordingProc);
    }
    ~RecordingWindow() {
        if (WindowExists(window_)) DestroyWin(window_);
    }
    WindowHandle handle() const { return window_; }
    Recorder& recorder() { return recorder_; }
    WindowProc previous() const { return previous_; }

  private:
    Recorder recorder_;
    WindowHandle window_;
    WindowProc previous_ = nullptr;
};

TEST(MessageQueue, PostedMessagesArriveInOrderAndSendIsImmediate) {
    RecordingWindow w;
    ASSERT_NE(w.handle(), 0);
    ASSERT_TRUE(PostMsg(w.handle(), kTestMessage, 1, 0));
    ASSERT_TRUE(PostMsg(w.handle(), kTestMessage, 2, 0));
    // A sent message is handled at once, ahead of what is queued, and its answer returns.
    EXPECT_EQ(SendMsg(w.handle(), kTestMessage, 3, 0), 6);
    ASSERT_EQ(w.recorder().seen.size(), 1u);
    DrainQueue();
    ASSERT_EQ(w.recorder().seen.size(), 3u);
    EXPECT_EQ(w.recorder().seen[1].second, 1u);
    EXPECT_EQ(w.recorder().seen[2].second, 2u);
}

TEST(MessageQueue, PeekWithoutRemoveLeavesTheMessage) {
    RecordingWindow w;
    PostMsg(w.handle(), kTestMessage, 9, 0);
    Msg msg;
    ASSERT_TRUE(PeekMsg(msg, false));
    EXPECT_EQ(msg.wParam, 9u);
    ASSERT_TRUE(PeekMsg(msg, true));
    EXPECT_EQ(msg.window, w.handle());
    EXPECT_FALSE(PeekMsg(msg, true));
}

TEST(MessageQueue, QuitComesAfterWhatWasPostedBeforeIt) {
    RecordingWindow w;
    PostQuit(3);
    PostMsg(w.handle(), kTestMessage, 1, 0);
    EXPECT_EQ(RunMessageLoop(), 3);
    EXPECT_EQ(w.recorder().seen.size(), 1u);
}

TEST(MessageQueue, MessagesForADestroyedWindowAreDropped) {
    auto w = std::make_unique<RecordingWindow>();
    const WindowHandle handle = w->handle();
    PostMsg(handle, kTestMessage, 1, 0);
    Recorder& recorder = w->recorder();
    ASSERT_TRUE(DestroyWin(handle));
    EXPECT_FALSE(WindowExists(handle));
    DrainQueue();
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_FALSE(PostMsg(handle, kTestMessage, 1, 0));
    EXPECT_EQ(SendMsg(handle, kTestMessage, 1, 0), 0);
}

TEST(MessageQueue, PostFromAnotherThreadWakesAWaitingThread) {
    RecordingWindow w;
    const WindowHandle handle = w.handle();
    std::atomic<bool> posted{false};
    std::thread poster([handle, &posted] {
        // Most likely this thread is asleep in GetMsg by now; either way the message must
        // reach it, and GetMsg must not return before there is one.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        posted = true;
        PostMsg(handle, kTestMessage, 5, 0);
    });
    Msg msg;
    ASSERT_TRUE(GetMsg(msg));
    EXPECT_TRUE(posted.load());
    EXPECT_EQ(msg.wParam, 5u);
    poster.join();
}

TEST(MessageQueue, SendFromAnotherThreadRunsOnTheOwnerAndWaitsForTheAnswer) {
    RecordingWindow w;
    const WindowHandle handle = w.handle();
    std::atomic<LResult> answer{-1};
    std::thread sender([&] { answer = SendMsg(handle, kTestMessage, 21, 0); });
    // The call is handled only when the owner looks at its queue.
    ASSERT_TRUE(PumpUntil([&] { return answer.load() != -1; }));
    sender.join();
    EXPECT_EQ(answer.load(), 42);
    ASSERT_EQ(w.recorder().seen.size(), 1u);
}

// Each layer counts and passes the message on; the innermost answers.
int gOuterCalls = 0;
WindowProc gPreviousOfOuter = nullptr;
LResult OuterProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == kTestMessage) ++gOuterCalls;
    return CallPreviousProc(gPreviousOfOuter, window, message, wParam, lParam);
}

TEST(WindowProcedure, ReplacingReturnsThePreviousAndChainsUnchanged) {
    RecordingWindow w;
    EXPECT_NE(w.previous(), nullptr);
    gOuterCalls = 0;
    gPreviousOfOuter = ReplaceWindowProc(w.handle(), OuterProc);
    EXPECT_EQ(gPreviousOfOuter, RecordingProc);
    EXPECT_EQ(SendMsg(w.handle(), kTestMessage, 4, 0), 8);
    EXPECT_EQ(gOuterCalls, 1);
    EXPECT_EQ(ReplaceWindowProc(w.handle(), gPreviousOfOuter), OuterProc);
    EXPECT_EQ(SendMsg(w.handle(), kTestMessage, 5, 0), 10);
    EXPECT_EQ(gOuterCalls, 1);
}

TEST(WindowProcedure, TextGoesThroughTheProcedure) {
    RecordingWindow w;
    EXPECT_EQ(GetWindowTextBytes(w.handle()), "test");
    gOuterCalls = 0;
    gPreviousOfOuter = ReplaceWindowProc(w.handle(), OuterProc);
    ASSERT_TRUE(SetWindowTextBytes(w.handle(), "caption \xE4"));
    EXPECT_EQ(GetWindowTextBytes(w.handle()), "caption \xE4");
    ReplaceWindowProc(w.handle(), gPreviousOfOuter);
}

bool gDestroySeen = false;
LResult DestroyWatcher(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == kWmDestroy) gDestroySeen = true;
    return DefaultWindowProc(window, message, wParam, lParam);
}

TEST(WindowProcedure, DestroyTellsTheProcedureAndTheDefaultProcedureClosesOnRequest) {
    const WindowHandle w = CreateHiddenWindow("closing");
    ReplaceWindowProc(w, DestroyWatcher);
    gDestroySeen = false;
    SendMsg(w, kWmClose, 0, 0);
    EXPECT_TRUE(gDestroySeen);
    EXPECT_FALSE(WindowExists(w));
}

}  // namespace
}  // namespace pelorin::platform
