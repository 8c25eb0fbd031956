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
#include "ui/message.h"
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
bool decode_header_record(const unsigned char* record, backup_header* header);

// A header whose CRC matches can still carry a byte count no set can have:
// zero, not whole sectors, or too large for the signed sizes of the engines.
bool backup_bytes_plausible(std::uint64_t backup_bytes);

// Writes KRD00000.BIN into `folder` (no trailing separator needed). True on
// success, with the digest of the bytes written in `written` (when given),
// for the read-back; false after a failure message owned by `owner`.
bool write_header_file(window_handle owner, std::int32_t source_disk, const char* folder,
                       std::uint64_t backup_bytes, digest128* written = nullptr);

enum class header_read { read, cannot_open, short_read, damaged };

// Reads and checks KRD00000.BIN of `folder`. Every failure has shown its
// message before it returns.
header_read read_header_file(window_handle owner, const char* folder, backup_header* header);

// The same checks without a message, for a look at a folder that may hold
// no set: exactly one record, its CRC, and a byte count a set can have.
bool read_header_silently(const char* folder, backup_header* header);

// After a successful read: kIdOk when the set's version is the program's or
// the user accepts the difference, anything else to abandon.
int confirm_header_version(window_handle owner, const backup_header& header);

}  // namespace kiroda
