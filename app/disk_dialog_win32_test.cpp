#include "app/disk_dialog_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/program.h"
#include "disk/physical_disk.h"
#include "disk/sample_disk_table.h"
#include "res/resource_ids.h"

namespace kiroda {
namespace {

using namespace test_support;

using kiroda::test_support::disk;
using kiroda::test_support::machine;

std::vector<std::string> list_items(HWND d) {
    std::vector<std::string> items;
    const auto n = SendDlgItemMessageA(d, kDiskNumberBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[32] = "";
        SendDlgItemMessageA(d, kDiskNumberBox, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

bool next_enabled(HWND d) {
    return IsWindowEnabled(GetDlgItem(d, kDiskNextButton)) != FALSE;
}

// Types a number into the box and lets one poll run.
void type_and_poll(HWND d, const char* number) {
    SetDlgItemTextA(d, kDiskNumberBox, number);
    post(d, WM_TIMER, kDiskPollTimer);
}

// The colour the dialog gives the verdict line.
COLORREF verdict_text_colour(HWND d) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageA(d, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(GetDlgItem(d, kDiskVerdictField)));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

// The pixels of a field as the screen shows them.
std::vector<COLORREF> capture(HWND d, int id) {
    RECT area{};
    GetWindowRect(GetDlgItem(d, id), &area);
    MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&area), 2);
    const int w = area.right - area.left, h = area.bottom - area.top;
    HDC screen = GetDC(d);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<COLORREF> pixels(static_cast<std::size_t>(w * h));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(d, screen);
    return pixels;
}

class DiskDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        set_disk_poll_ms_for_tests(3600000);  // only posted polls count
        g_shutdown_at_end = 0;
    }
    void TearDown() override {
        set_disk_poll_ms_for_tests(0);
        g_shutdown_at_end = 0;
    }
    int run(disk_role role) {
        return run_disk_dialog(GetModuleHandleA(nullptr), nullptr, role, table, &chosen);
    }
    disk_table table = machine();
    int chosen = -5;
    watchdog dog{60s, "disk dialog test"};
};

TEST_F(DiskDialog, TheSourceDialogShowsTheFirstDiskAndFollowsTheBox) {
    std::vector<std::string> items;
    std::string first_size, first_part, first_mark, title;
    std::string second_mark, second_text;
    bool first_enabled = false, second_enabled = false;
    COLORREF first_colour = 0, second_colour = 0;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        title = window_text(d);
        items = list_items(d);
        EXPECT_EQ(item_text(d, kDiskNumberBox), "0");
        first_size = item_text(d, kDiskSizeField);
        first_part = item_text(d, kDiskPartitionField1);
        first_mark = item_text(d, kDiskMarkField);
        first_enabled = next_enabled(d);
        first_colour = verdict_text_colour(d);
        type_and_poll(d, "1");
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "△"));
        second_mark = item_text(d, kDiskMarkField);
        second_text = item_text(d, kDiskVerdictField);
        second_enabled = next_enabled(d);
        second_colour = verdict_text_colour(d);
        SendDlgItemMessageA(d, kDiskShutdownCheck, BM_SETCHECK, BST_CHECKED, 0);
        click(d, kDiskNextButton);
    });
    EXPECT_EQ(run(disk_role::source), 1);
    script.join();
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(g_shutdown_at_end, 1);
    EXPECT_EQ(title, program_caption());
    EXPECT_EQ(items, (std::vector<std::string>{"0", "1", "3"}));
    EXPECT_EQ(first_size, "500,107");
    EXPECT_EQ(first_part, "1,048");
    EXPECT_EQ(first_mark, "○");
    EXPECT_TRUE(first_enabled);
    EXPECT_EQ(first_colour, RGB(0, 0, 0));
    EXPECT_EQ(second_mark, "△");
    EXPECT_EQ(second_text, source_disk_verdict(table[1]).message);
    EXPECT_TRUE(second_enabled);
    EXPECT_EQ(second_colour, RGB(0, 0, 204));
}

TEST_F(DiskDialog, NextRightAfterTypingShowsTheTypedDiskAndStaysOpen) {
    bool stayed = false;
    std::string mark_after_first_press;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        // Disk 0 is shown and usable; 3 is typed and "次へ >" pressed before any poll.
        SetDlgItemTextA(d, kDiskNumberBox, "3");
        click(d, kDiskNextButton);
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "×"));
        mark_after_first_press = item_text(d, kDiskMarkField);
        stayed = IsWindow(d) && !next_enabled(d);
        EXPECT_EQ(item_text(d, kDiskPartitionField1), kHiddenPartitionSize);
        EXPECT_EQ(verdict_text_colour(d), RGB(255, 0, 0));
        // A press that reaches the disabled button's dialog anyway changes nothing.
        click(d, kDiskNextButton);
        Sleep(100);
        EXPECT_TRUE(IsWindow(d));
        // Back to disk 1, pressed at once: shown first, chosen at the next press.
        SetDlgItemTextA(d, kDiskNumberBox, "1");
        click(d, kDiskNextButton);
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "△"));
        click(d, kDiskNextButton);
    });
    EXPECT_EQ(run(disk_role::source), 1);
    script.join();
    EXPECT_TRUE(stayed);
    EXPECT_EQ(mark_after_first_press, "×");
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(g_shutdown_at_end, 0);  // the box was not ticked
}

TEST_F(DiskDialog, ANumberNotInTheTableShowsAnEmptyRecordAndResetsTheBox) {
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        type_and_poll(d, "7");
        EXPECT_TRUE(wait_for_item_text(d, kDiskNumberBox, "0"));
        EXPECT_EQ(item_text(d, kDiskMarkField), "×");
        EXPECT_EQ(item_text(d, kDiskSizeField), "0");
        EXPECT_FALSE(next_enabled(d));
        // The press is refused: the empty record shown is no disk.
        click(d, kDiskNextButton);
        // The poll after that reads the reset box and shows disk 0 again.
        post(d, WM_TIMER, kDiskPollTimer);
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "○"));
        EXPECT_EQ(item_text(d, kDiskSizeField), "500,107");
        EXPECT_TRUE(next_enabled(d));
        click(d, kDiskNextButton);
    });
    EXPECT_EQ(run(disk_role::source), 1);
    script.join();
    EXPECT_EQ(chosen, 0);
}

TEST_F(DiskDialog, CancelAndEscapeChangeNothing) {
    g_shutdown_at_end = 1;
    for (const int button : {kDiskCancelButton, IDCANCEL}) {
        dialog_script script([&](DWORD ui) {
            HWND d = wait_for_dialog(ui, program_caption());
            ASSERT_NE(d, nullptr);
            SendDlgItemMessageA(d, kDiskShutdownCheck, BM_SETCHECK, BST_UNCHECKED, 0);
            click(d, button);
        });
        EXPECT_EQ(run(disk_role::target), 0);
        script.join();
        EXPECT_EQ(chosen, -5);
        EXPECT_EQ(g_shutdown_at_end, 1);
    }
}

TEST_F(DiskDialog, TheTargetDialogJudgesByTheTargetRules) {
    std::string mark0, mark1, text1;
    bool enabled0 = true;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        mark0 = item_text(d, kDiskMarkField);  // disk 0 holds a partition
        enabled0 = next_enabled(d);
        type_and_poll(d, "1");
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "○"));
        mark1 = item_text(d, kDiskMarkField);
        text1 = item_text(d, kDiskVerdictField);
        click(d, kDiskNextButton);
    });
    EXPECT_EQ(run(disk_role::target), 1);
    script.join();
    EXPECT_EQ(mark0, "×");
    EXPECT_FALSE(enabled0);
    EXPECT_EQ(mark1, "○");
    EXPECT_EQ(text1, target_disk_verdict(table[1]).message);
    EXPECT_EQ(chosen, 1);
}

TEST_F(DiskDialog, AFieldThatChangesShowsOnlyItsNewText) {
    // The fields are transparent over the hatched background: a new text
    // must not be drawn over the old one. Disk 0 shown after the GPT disk 3
    // must look as it does in a dialog that opened on disk 0.
    std::vector<std::vector<COLORREF>> after_change, fresh;
    const int fields[] = {kDiskPartitionField1, kDiskMarkField, kDiskVerdictField};
    table = disk_table{};
    table[0] = disk(3, 0, 1);
    table[1] = disk(0, 2048000);
    dialog_script first([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(item_text(d, kDiskPartitionField1), kHiddenPartitionSize);
        type_and_poll(d, "0");
        EXPECT_TRUE(wait_for_item_text(d, kDiskMarkField, "○"));
        Sleep(300);
        for (const int id : fields) after_change.push_back(capture(d, id));
        click(d, kDiskCancelButton);
    });
    EXPECT_EQ(run(disk_role::source), 0);
    first.join();
    table = disk_table{};
    table[0] = disk(0, 2048000);
    dialog_script second([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        Sleep(300);
        for (const int id : fields) fresh.push_back(capture(d, id));
        click(d, kDiskCancelButton);
    });
    EXPECT_EQ(run(disk_role::source), 0);
    second.join();
    ASSERT_EQ(after_change.size(), fresh.size());
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        EXPECT_FALSE(fresh[i].empty());
        EXPECT_TRUE(after_change[i] == fresh[i]) << "field " << fields[i];
    }
}

TEST_F(DiskDialog, AnEmptyTableOffersNothing) {
    table = disk_table{};
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(item_text(d, kDiskNumberBox), "0");
        EXPECT_TRUE(list_items(d).empty());
        EXPECT_FALSE(next_enabled(d));
        click(d, kDiskNextButton);
        post(d, WM_TIMER, kDiskPollTimer);
        Sleep(50);
        EXPECT_TRUE(IsWindow(d));
        click(d, kDiskCancelButton);
    });
    EXPECT_EQ(run(disk_role::source), 0);
    script.join();
}

}  // namespace
}  // namespace kiroda
