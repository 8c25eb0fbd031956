// The files a backup set folder holds, by name: the one place their names
// are spelled. Everything that asks "is this file a set's" (the check that a
// folder holds no set, the clean-up before a forced backup, the writer, the
// readers, info and mount) goes through this table, so no list of them can
// fall behind another.
#pragma once

#include <cstddef>

// The names as literals too, so that a message text naming a file stays one
// literal (it is enciphered, and looked up in the catalogue, whole).
#define KIRODA_HEADER_FILE_NAME "KRD00000.BIN"
#define KIRODA_DATA_FILE_NAME_FORMAT "KRD%05d.BIN"
#define KIRODA_DIGEST_FILE_NAME "KRDHASH.TXT"
#define KIRODA_BAD_SECTOR_MAP_NAME "KRDMAP.TXT"
#define KIRODA_SOURCE_DISK_FILE_NAME "KRDDISK.TXT"
#define KIRODA_UNFINISHED_MARK_NAME "KRDOPEN.TXT"
#define KIRODA_PROGRAM_COPY_NAME "KIRODA.EXE"

namespace kiroda {

// The header file, number 0 of the data files' pattern.
inline constexpr char kHeaderFileName[] = KIRODA_HEADER_FILE_NAME;

// The data files' names by number (1, 2, ...), and the mask that matches any
// of them and the header. A name is 12 bytes; numbers past 99,999 would need
// more.
inline constexpr char kDataFileNameFormat[] = KIRODA_DATA_FILE_NAME_FORMAT;
inline constexpr char kDataFileNameMask[] = "KRD?????.BIN";
constexpr std::size_t kDataFileNameLength = 12;

// Side files, each written under its temporary name, committed and renamed.
inline constexpr char kDigestFileName[] = KIRODA_DIGEST_FILE_NAME;
inline constexpr char kDigestTempName[] = "KRDHASH.TMP";
inline constexpr char kBadSectorMapName[] = KIRODA_BAD_SECTOR_MAP_NAME;
inline constexpr char kBadSectorMapTempName[] = "KRDMAP.TMP";
inline constexpr char kSourceDiskFileName[] = KIRODA_SOURCE_DISK_FILE_NAME;
inline constexpr char kSourceDiskTempName[] = "KRDDISK.TMP";
// Written before anything else of a set this program backs up, removed once
// the digest file has its name: a set that has it and no digest file was
// begun and not finished, even with every block there (a run cut during its
// read-back). An older program's set has none.
inline constexpr char kUnfinishedMarkName[] = KIRODA_UNFINISHED_MARK_NAME;
inline constexpr char kUnfinishedMarkTempName[] = "KRDOPEN.TMP";

// The program copied beside a set, so the set can be restored from the
// medium that holds it, and the name it is written under until it is whole.
inline constexpr char kProgramCopyName[] = KIRODA_PROGRAM_COPY_NAME;
inline constexpr char kProgramCopyTempName[] = "KIRODA.TMP";

enum class set_file_kind {
    none,          // not a file of a set
    format,        // the header or a data file: the set itself
    side_file,     // beside the set, written through a temporary name
    program_copy,  // the program, so the set restores from its own medium
};

struct set_file {
    const char* name;       // a data file's entry holds the mask
    const char* temp_name;  // nullptr where the file has none
    set_file_kind kind;
};

// Every file of a set.
inline constexpr set_file kSetFiles[] = {
    {kDataFileNameMask, nullptr, set_file_kind::format},
    {kDigestFileName, kDigestTempName, set_file_kind::side_file},
    {kBadSectorMapName, kBadSectorMapTempName, set_file_kind::side_file},
    {kSourceDiskFileName, kSourceDiskTempName, set_file_kind::side_file},
    {kUnfinishedMarkName, kUnfinishedMarkTempName, set_file_kind::side_file},
    {kProgramCopyName, kProgramCopyTempName, set_file_kind::program_copy},
};

// True for the name of a header or data file: "KRD", five digits, ".BIN".
[[nodiscard]] bool is_data_file_name(const char* name);

// What `name` (a plain file name, no folder) is in a set, under its own name
// or its temporary one; set_file_kind::none for anything else.
[[nodiscard]] set_file_kind set_file_kind_of(const char* name);

}  // namespace kiroda
