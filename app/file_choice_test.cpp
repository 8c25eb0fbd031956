#include "app/file_choice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kiroda {
namespace {

TEST(FileChoice, TheProposedNameIsTheHeaderOfTheFolder) {
    char name[64];
#ifdef _WIN32
    proposed_header_path("D:\\BK", name, sizeof name);
    EXPECT_STREQ(name, "D:\\BK\\KRD00000.BIN");
    proposed_header_path("D:\\", name, sizeof name);
    EXPECT_STREQ(name, "D:\\KRD00000.BIN");
#else
    proposed_header_path("/media/bk", name, sizeof name);
    EXPECT_STREQ(name, "/media/bk/KRD00000.BIN");
#endif
    proposed_header_path("", name, sizeof name);
    EXPECT_STREQ(name, "KRD00000.BIN");
    // A folder too long for the buffer proposes the name alone, never a cut path.
    const std::string long_folder(60, 'a');
    proposed_header_path(long_folder.c_str(), name, sizeof name);
    EXPECT_STREQ(name, "KRD00000.BIN");
    char tiny[8] = "x";
    proposed_header_path("", tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "");
}

TEST(FileChoice, TheFolderOfASavedNameEndsBeforeTheName) {
    const struct {
        const char* path;
        std::size_t offset;
        const char* folder;
    } cases[] = {
        {"D:\\BK\\KRD00000.BIN", 6, "D:\\BK"},
        {"D:\\KRD00000.BIN", 3, "D:"},
        {"D:KRD00000.BIN", 2, "D:"},
        {"\\\\server\\share\\KRD00000.BIN", 15, "\\\\server\\share"},
        // "ソ" (0x83 0x5C) ends the folder name; its trail byte stays.
        {"D:\\\x83\x5C\\KRD00000.BIN", 6, "D:\\\x83\x5C"},
        {"KRD00000.BIN", 0, ""},
    };
    for (const auto& c : cases) {
        char folder[64] = "junk";
        EXPECT_TRUE(folder_of_saved_name(c.path, c.offset, folder, sizeof folder)) << c.path;
        EXPECT_STREQ(folder, c.folder) << c.path;
    }
    char folder[8] = "junk";
    EXPECT_FALSE(folder_of_saved_name("D:\\BK", 9, folder, sizeof folder));
    EXPECT_STREQ(folder, "");
    EXPECT_FALSE(folder_of_saved_name("D:\\LONGFOLDER\\K.BIN", 14, folder, sizeof folder));
    EXPECT_STREQ(folder, "");
}

}  // namespace
}  // namespace kiroda
