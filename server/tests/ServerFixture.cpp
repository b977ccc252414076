#include "ServerFixture.h"

#include "platform/Ui.h"
#include "platform/Window.h"
#include "testing/TestPeer.h"

namespace pelorin::testing {

void ServerFixture::SetUp() {
    StoreFixture::SetUp();
    unloadRoutineRuns_ = 0;
    form_ = std::make_unique<MainForm>(&ServerFixture::CountUnload);
    ASSERT_TRUE(form_->Load("0"));  // port 0: the system picks a free one
    form_->Show();
    Press();
    ASSERT_TRUE(form_->IsListening());
    port_ = static_cast<std::uint16_t>(form_->ListeningPort());
    ASSERT_NE(port_, 0);
    TakeLog();
}

void ServerFixture::TearDown() {
    form_.reset();
    StoreFixture::TearDown();
}

std::string ServerFixture::Request(std::string_view bytes) {
    return Exchange(port_, bytes);
}

void ServerFixture::Press() {
    platform::PressButton(form_->Button());
}

std::string Answer(std::string_view statusAndReason, std::string_view body) {
    return "HTTP/1.0 " + std::string(statusAndReason) +
           "\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\nConnection: Close\r\n\r\n" +
           std::string(body);
}

}  // namespace pelorin::testing
