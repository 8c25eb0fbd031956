#include "ui/dialog_look_win32.h"

#include <gtest/gtest.h>

namespace kiroda {
namespace {

// Every Japanese text of the program is Shift-JIS; under any other ANSI code
// page the dialogs would show garbage, so a wrong environment fails here.
TEST(WindowsEnvironment, AnsiCodePageIsJapanese) {
    EXPECT_EQ(GetACP(), 932u);
}

TEST(DialogBackgroundBrush, CreatedOnDemandAndDeletedOnRequest) {
    HBRUSH first = dialog_background_brush(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(dialog_background_brush(1), first);  // one brush until deleted
    LOGBRUSH info{};
    ASSERT_NE(GetObjectA(first, sizeof info, &info), 0);
    EXPECT_EQ(info.lbStyle, static_cast<UINT>(BS_HATCHED));
    EXPECT_EQ(info.lbColor, 0x00CCFFCCu);
    EXPECT_EQ(info.lbHatch, static_cast<ULONG_PTR>(HS_VERTICAL));
    EXPECT_EQ(dialog_background_brush(0), nullptr);
    EXPECT_NE(dialog_background_brush(1), nullptr);  // a later dialog gets a new one
    dialog_background_brush(0);
}

TEST(ControlColour, TextIsTransparentButTheDialogBackgroundFillsTheHatchGaps) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    const WPARAM w = reinterpret_cast<WPARAM>(dc);
    // Text of statics and message boxes goes on the hatch without a box.
    for (const UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORMSGBOX, WM_CTLCOLORBTN}) {
        SetBkMode(dc, OPAQUE);
        EXPECT_EQ(answer_control_colour(message, w),
                  reinterpret_cast<INT_PTR>(dialog_background_brush(1)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT) << message;
    }
    // The dialog's own background is painted whole: white between the lines,
    // never what the screen held before.
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, RGB(0, 0, 0));
    EXPECT_EQ(answer_control_colour(WM_CTLCOLORDLG, w),
              reinterpret_cast<INT_PTR>(dialog_background_brush(1)));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    DeleteDC(dc);
    dialog_background_brush(0);
}

}  // namespace
}  // namespace kiroda
