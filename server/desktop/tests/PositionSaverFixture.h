// A form, a position saver bound to it and a program folder of its own for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "platform/WindowPlacement.h"
#include "server/desktop/PositionSaver.h"
#include "settings/ProgramSettings.h"
#include "testing/BoundsText.h"
#include "testing/TempFolder.h"

namespace pelorin::testing {

class PositionSaverTest : public ::testing::Test {
  protected:
    static constexpr platform::Bounds kPlace{101, 77, 333, 251};
    static constexpr platform::Bounds kElsewhere{10, 20, 150, 120};

    void SetUp() override {
        SetProgramFolderPath(folder_.path());
        form_ = platform::CreateForm({"Saved", 200, 100, "", 8, nullptr});
        ASSERT_NE(form_, 0);
        platform::SetNormalBounds(form_, kPlace);
        saver_.SetFormName("Saved");
        saver_.SetForm(form_);
    }
    void TearDown() override {
        platform::DestroyWin(form_);
        SetProgramFolderPath("");
    }

    std::string PosFile() const { return folder_.path() + "Saved.pos"; }
    bool HasPosFile() const {
        platform::DirectorySearch search(PosFile());
        platform::FileEntry entry;
        return search.Next(entry);
    }
    std::string ReadPosFile() const {
        std::string contents;
        EXPECT_EQ(platform::ReadWholeFile(PosFile(), contents), 0);
        return contents;
    }
    void WritePosFile(const std::string& contents) const {
        ASSERT_EQ(platform::WriteWholeFile(PosFile(), contents), 0);
    }

    // Puts the window somewhere else, visible and normal, so a load has to move it back.
    void MoveAway() const {
        platform::ShowForm(form_, true);
        platform::SetWindowState(form_, platform::WindowState::Normal);
        platform::SetNormalBounds(form_, kElsewhere);
    }

    std::string NormalBounds() const { return BoundsText(platform::GetNormalBounds(form_)); }
    platform::WindowState State() const { return platform::GetWindowState(form_); }
    bool Visible() const { return platform::IsFormVisible(form_); }

    TempFolder folder_;
    platform::WindowHandle form_ = 0;
    PositionSaver saver_;
};

}  // namespace pelorin::testing
