#include "format/header_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ui/program.h"
#include "format/crc32.h"
#include "format/header_scramble.h"
#include "util/file_io.h"
#include "util/le.h"
#include "util/path.h"
#include "util/system_error.h"

namespace kiroda {

namespace {

// Offsets of the fields in the 8192-byte record.
constexpr std::size_t kCaptionAt = 0;
constexpr std::size_t kNoticeAt = 64;
constexpr std::size_t kVersionAt = 320;
constexpr std::size_t kCreatedAt = 328;
constexpr std::size_t kSourceDiskAt = 344;
constexpr std::size_t kBackupBytesAt = 348;
constexpr std::size_t kFolderAt = 356;
constexpr std::size_t kReservedAt = 2404;
constexpr std::size_t kCrcAt = 8188;

// "書換え禁止" ("do not rewrite") in Shift-JIS, on every platform.
constexpr char kNoticeSjis[] = "\x8F\x91\x8A\xB7\x82\xA6\x8B\xD6\x8E\x7E";

void copy_text(char* field, std::size_t field_size, const char* text) {
    std::strncpy(field, text, field_size - 1);
    field[field_size - 1] = '\0';
}

void store_double(unsigned char* p, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    store_le64(p, bits);
}

double load_double(const unsigned char* p) {
    const std::uint64_t bits = load_le64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Copies a text field out of the record, always NUL-terminated.
void load_text(char* field, std::size_t field_size, const unsigned char* p) {
    std::memcpy(field, p, field_size);
    field[field_size - 1] = '\0';
}

}  // namespace

void encode_header_record(const backup_header& h, unsigned char* record) {
    std::memset(record, 0, kHeaderFileSize);
    std::memcpy(record + kCaptionAt, h.caption, strnlen(h.caption, sizeof h.caption - 1));
    std::memcpy(record + kNoticeAt, h.notice, strnlen(h.notice, sizeof h.notice - 1));
    store_double(record + kVersionAt, h.version);
    const std::uint16_t created[8] = {
        h.created.year, h.created.month,  h.created.day_of_week, h.created.day,
        h.created.hour, h.created.minute, h.created.second,      h.created.milliseconds};
    for (int i = 0; i < 8; ++i) store_le16(record + kCreatedAt + 2 * i, created[i]);
    store_le32(record + kSourceDiskAt, static_cast<std::uint32_t>(h.source_disk));
    store_le64(record + kBackupBytesAt, h.backup_bytes);
    std::memcpy(record + kFolderAt, h.folder, strnlen(h.folder, sizeof h.folder - 1));
    store_le32(record + kReservedAt, h.reserved);
    const std::uint32_t crc = crc32(record, kCrcAt);
    store_le32(record + kCrcAt, crc);
    scramble_bytes(record, kCrcAt, crc);
}

bool decode_header_record(const unsigned char* record, backup_header* h) {
    unsigned char plain[kHeaderFileSize];
    std::memcpy(plain, record, kHeaderFileSize);
    const std::uint32_t stored_crc = load_le32(plain + kCrcAt);
    scramble_bytes(plain, kCrcAt, stored_crc);
    load_text(h->caption, sizeof h->caption, plain + kCaptionAt);
    load_text(h->notice, sizeof h->notice, plain + kNoticeAt);
    h->version = load_double(plain + kVersionAt);
    std::uint16_t created[8];
    for (int i = 0; i < 8; ++i) created[i] = load_le16(plain + kCreatedAt + 2 * i);
    h->created = {created[0], created[1], created[2], created[3],
                  created[4], created[5], created[6], created[7]};
    h->source_disk = static_cast<std::int32_t>(load_le32(plain + kSourceDiskAt));
    h->backup_bytes = load_le64(plain + kBackupBytesAt);
    load_text(h->folder, sizeof h->folder, plain + kFolderAt);
    h->reserved = load_le32(plain + kReservedAt);
    return crc32(plain, kCrcAt) == stored_crc;
}

bool backup_bytes_plausible(std::uint64_t backup_bytes) {
    return backup_bytes != 0 && backup_bytes % 512 == 0 &&
           backup_bytes <= static_cast<std::uint64_t>(INT64_MAX);
}

namespace {

backup_header header_for(std::int32_t source_disk, std::uint64_t backup_bytes) {
    backup_header h{};
    copy_text(h.caption, sizeof h.caption, program_caption_sjis());
    copy_text(h.notice, sizeof h.notice, kNoticeSjis);
    h.version = kProgramVersion;
    h.created = local_time_now();
    h.source_disk = source_disk;
    h.backup_bytes = backup_bytes;
    h.reserved = 1;
    return h;
}

// `path` gets the header's path in `folder`, or `folder` itself when the
// path does not fit.
bool header_path(const char* folder, char* path, std::size_t capacity) {
    if (join_path(folder, kHeaderFileName, path, capacity)) return true;
    std::snprintf(path, capacity, "%s", folder);
    return false;
}

}  // namespace

header_write store_header_file(std::int32_t source_disk, const char* folder,
                               std::uint64_t backup_bytes, digest128* written, char* path,
                               std::size_t capacity) {
    backup_header h = header_for(source_disk, backup_bytes);
    // The folder field holds at most 2,047 bytes with the added separator; a
    // longer folder is refused rather than recorded cut.
    const bool fits = std::strlen(folder) < sizeof h.folder &&
                      (std::strcpy(h.folder, folder),
                       ensure_trailing_separator(h.folder, sizeof h.folder) != nullptr) &&
                      join_path(h.folder, kHeaderFileName, path, capacity);
    if (!fits) {
        std::snprintf(path, capacity, "%s", folder);
        return header_write::cannot_create;
    }
    unique_fd fd(open_for_writing(path));
    if (!fd.valid()) return header_write::cannot_create;
    unsigned char record[kHeaderFileSize];
    encode_header_record(h, record);
    const bool whole =
        write_full(fd.get(), record, sizeof record) == static_cast<std::int64_t>(sizeof record);
    // Committed before close, and its name in the folder too: the set must
    // not claim a header the volume lacks.
    if (!whole || !commit_file(fd.get()) || !fd.reset() || !sync_folder_of(path))
        return header_write::write_failed;
    if (written != nullptr) *written = digest_bytes(record, sizeof record);
    return header_write::written;
}

header_read load_header_file(const char* folder, backup_header* header, char* path,
                             std::size_t capacity) {
    *header = backup_header{};
    if (!header_path(folder, path, capacity)) return header_read::cannot_open;
    unique_fd fd(open_for_reading(path));
    if (!fd.valid()) {
        note_system_error(errno);
        return header_read::cannot_open;
    }
    unsigned char record[kHeaderFileSize] = {};
    if (read_full(fd.get(), record, sizeof record) != static_cast<std::int64_t>(sizeof record))
        return header_read::short_read;
    fd.reset();
    // A byte count of 0, of part of a sector, or beyond the signed range
    // would make a restore report success for nothing, or skip its size
    // checks: such a header is as damaged as one whose CRC fails.
    if (!decode_header_record(record, header) || !backup_bytes_plausible(header->backup_bytes))
        return header_read::damaged;
    return header_read::read;
}

bool read_header_silently(const char* folder, backup_header* header) {
    char path[kPathCapacity + 16];
    return load_header_file(folder, header, path, sizeof path) == header_read::read;
}

}  // namespace kiroda
