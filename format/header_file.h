// The header file KRD00000.BIN that begins every backup set.
//
// 8192 bytes: the fields below, zeros, and at 8188 a CRC-32 of bytes 0-8187.
// Bytes 0-8187 are scrambled with a keystream seeded by that CRC (see
// header_scramble.h); the CRC itself is stored plain. docs/format.md gives the
// layout field by field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/digest.h"
#include "format/set_files.h"
#include "util/local_time.h"

namespace kiroda {

constexpr std::size_t kHeaderFileSize = 8192;

struct backup_header {
    char caption[64];  // program caption, Shift-JIS, NUL-terminated
    char notice[256];  // "書換え禁止" in Shift-JIS
    double version;    // program version, 1.14
    system_time created;
    std::int32_t source_disk;
    std::uint64_t backup_bytes;  // a whole number of 512-byte sectors
    char folder[2048];           // backup folder at backup time, with its separator
    std::uint32_t reserved;      // 1
};

// The 8192 bytes of the file for `header`: CRC computed, bytes scrambled.
void encode_header_record(const backup_header& header, unsigned char* record);

// Unscrambles `record` (8192 bytes) into `header`. False when the CRC does
// not match; `header` then holds the garbled fields.
[[nodiscard]] bool decode_header_record(const unsigned char* record, backup_header* header);

// A header whose CRC matches can still carry a byte count no set can have:
// zero, not whole sectors, or too large for the signed sizes of the engines.
[[nodiscard]] bool backup_bytes_plausible(std::uint64_t backup_bytes);

enum class header_write { written, cannot_create, write_failed };

// Writes KRD00000.BIN into `folder` (no trailing separator needed), committed
// before it is closed, with the digest of the bytes written in `written`
// (when given) for the read-back. `path` (capacity `capacity`) receives the
// file's path, or `folder` when the folder cannot hold it: what a failure
// names. Says nothing: engine/header_file.h tells of a failure.
[[nodiscard]] header_write store_header_file(std::int32_t source_disk, const char* folder,
                                             std::uint64_t backup_bytes, digest128* written,
                                             char* path, std::size_t capacity);

enum class header_read { read, cannot_open, short_read, damaged };

// Reads and checks KRD00000.BIN of `folder` without a word: the file's
// first 8192 bytes are the record and decide (bytes after them are ignored,
// as the format says), its CRC must match and its byte count be one a set
// can have. `path` as for store_header_file; an open that fails notes its
// system error. `header` is zeroed first.
[[nodiscard]] header_read load_header_file(const char* folder, backup_header* header, char* path,
                                           std::size_t capacity);

// load_header_file for a look at a folder that may hold no set: true when
// it reads.
[[nodiscard]] bool read_header_silently(const char* folder, backup_header* header);

}  // namespace kiroda
