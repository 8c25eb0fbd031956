#include "app/dialog_look_win32.h"

#include <gtest/gtest.h>

namespace kiroda {
namespace {

// Every Japanese text of the program is Shift-JIS; under any other ANSI code
// page the dialogs would show garbage, so a wrong environment fails here.
TEST(WindowsEnvironment, AnsiCodePageIsJapanese) { EXPECT_EQ(GetACP(), 932u); }

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

}  // namespace
}  // namespace kiroda
