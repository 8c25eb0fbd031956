#include "format/set_files.h"

#include <gtest/gtest.h>

namespace kiroda {
namespace {

TEST(SetFiles, EveryNameOfASetHasItsKindAndNothingElseHasOne) {
    const struct {
        const char* name;
        set_file_kind kind;
    } cases[] = {
        {"KRD00000.BIN", set_file_kind::format},
        {"KRD00001.BIN", set_file_kind::format},
        {"KRD99999.BIN", set_file_kind::format},
        {"KRDHASH.TXT", set_file_kind::side_file},
        {"KRDHASH.TMP", set_file_kind::side_file},
        {"KRDMAP.TXT", set_file_kind::side_file},
        {"KRDMAP.TMP", set_file_kind::side_file},
        {"KRDDISK.TXT", set_file_kind::side_file},
        {"KRDDISK.TMP", set_file_kind::side_file},
        {"KIRODA.EXE", set_file_kind::program_copy},
        {"KIRODA.TMP", set_file_kind::program_copy},
        // Near misses are a stranger's files, never taken for the set's.
        {"KRD0001.BIN", set_file_kind::none},
        {"KRD000001.BIN", set_file_kind::none},
        {"KRD0000A.BIN", set_file_kind::none},
        {"krd00001.bin", set_file_kind::none},
        {"KRD00001.BIN.bak", set_file_kind::none},
        {"KRDHASH.TXT~", set_file_kind::none},
        {"KRD?????.BIN", set_file_kind::none},
        {"", set_file_kind::none},
    };
    for (const auto& c : cases) EXPECT_EQ(set_file_kind_of(c.name), c.kind) << c.name;
}

}  // namespace
}  // namespace kiroda
