#include "app/program_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

TEST(FirstCommandWord, BlanksSeparateAndQuotesEnclose) {
    const struct {
        const char* line;
        const char* word;  // nullptr: none
    } cases[] = {
        {"C:\\KIRODA.EXE", "C:\\KIRODA.EXE"},
        {"C:\\KIRODA.EXE /x y", "C:\\KIRODA.EXE"},
        {"  \tC:\\A.EXE", "C:\\A.EXE"},
        {"\"C:\\Program Files\\KIRODA.EXE\" /x", "C:\\Program Files\\KIRODA.EXE"},
        {"'E:\\my tools\\KIRODA.EXE' x", "E:\\my tools\\KIRODA.EXE"},
        {"\"E:\\it's here\\K.EXE\"", "E:\\it's here\\K.EXE"},  // the other quote is a letter
        {"\"E:\\unclosed\\K.EXE", "E:\\unclosed\\K.EXE"},
        {"", nullptr},
        {"   ", nullptr},
        {"\"\" rest", nullptr},
    };
    for (const auto& c : cases) {
        char word[64] = "junk";
        const bool found = first_command_word(c.line, word, sizeof word);
        EXPECT_EQ(found, c.word != nullptr) << c.line;
        EXPECT_STREQ(word, c.word != nullptr ? c.word : "") << c.line;
    }
}

TEST(FirstCommandWord, AWordThatDoesNotFitIsNoWord) {
    char word[8];
    EXPECT_TRUE(first_command_word("1234567 x", word, sizeof word));
    EXPECT_STREQ(word, "1234567");
    EXPECT_FALSE(first_command_word("12345678 x", word, sizeof word));
    EXPECT_STREQ(word, "");
}

TEST(ProgramFolderOf, KeepsTheLastBackslash) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\TOOLS\\KIRODA.EXE", "C:\\TOOLS\\"},
        {"C:\\KIRODA.EXE", "C:\\"},
        {"KIRODA.EXE", ""},
        // "ソ" ends in the byte of "\": the folder is not cut inside the name.
        {"E:\\\x83\x5C\x83\x74\x83\x67.EXE", "E:\\"},
        {"E:\\\x83\x5C\\K.EXE", "E:\\\x83\x5C\\"},
    };
    for (const auto& c : cases) {
        char folder[64] = "junk";
        program_folder_of(c.path, folder, sizeof folder);
        EXPECT_STREQ(folder, c.folder) << c.path;
    }
    char small[4] = "x";
    program_folder_of("C:\\TOOLS\\K.EXE", small, sizeof small);
    EXPECT_STREQ(small, "");
}

}  // namespace
}  // namespace kiroda
