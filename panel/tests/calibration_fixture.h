// A bench for the Scaling button and its dialogs: the panel bench with a
// fresh prefix for the saved-sizes file, and gestures on the active window.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "panel/link/protocol.h"
#include "panel/tests/panel_fixture.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"

class CalibrationTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        m_root = std::filesystem::temp_directory_path() / ("kestra-calib-" + std::to_string(std::random_device()()));
        platform::SetPrefixRoot(m_root.string());
        platform::files::InstallDriveFiles();
        g_nMediaType = 1;
        g_bFactorsRead.store(0);
    }
    void TearDown() override {
        platform::files::test::ClearFaults();
        std::filesystem::remove_all(m_root);
        PanelTest::TearDown();
    }

    static HWND Item(int id) { return GetDlgItem(platform::ui::ActiveModal(), id); }
    void Click(int id) {
        Then([id] { EXPECT_TRUE(platform::ui::ClickControl(Item(id), false)) << "click " << id; });
    }
    void Type(int id, const std::string& text) {
        Then([id, text] { EXPECT_TRUE(platform::ui::TypeText(Item(id), text)) << "type " << id; });
    }
    void Select(int id, const std::string& text) {
        Then([id, text] { EXPECT_TRUE(platform::ui::SelectItem(Item(id), text)) << "select " << text; });
    }
    void Scroll(int id, UINT code, int pos = 0) {
        Then([id, code, pos] { EXPECT_TRUE(platform::ui::ScrollControl(Item(id), code, pos)); });
    }
    static std::string Text(int id) {
        char text[128] = {};
        GetWindowTextA(Item(id), text, sizeof text);
        return text;
    }

    void PutSavedSizes(const std::string& content) {
        std::ofstream(m_root / "drive_c/WINDOWS/Kestra.$$$", std::ios::binary) << content;
    }
    std::string SavedSizes() const {
        std::ifstream in(m_root / "drive_c/WINDOWS/Kestra.$$$", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The boxes and dialogs seen since the last call.
    std::vector<std::string> Seen() {
        std::vector<std::string> seen = std::move(m_user.seen);
        m_user.seen.clear();
        return seen;
    }

    std::filesystem::path m_root;
};
