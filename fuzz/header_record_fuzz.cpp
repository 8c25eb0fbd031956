// The header file of an untrusted set. The first input byte picks the mode,
// the rest is the 8192-byte record (cut, or padded with zeros):
//   bit 0 clear: the record as found on the medium, almost always with a CRC
//                that does not match;
//   bit 0 set:   the record's plain bytes, given a matching CRC and scrambled
//                here, so that every field value reaches the checks behind
//                the CRC;
//   bit 1:       the file load_header_file gets is the rest of the input as
//                it is (short, or longer than a record) instead of the
//                record followed by whatever the input holds past 8192 bytes.
// decode_header_record is held to a CRC and a scrambler written here from
// the record layout; load_header_file and read_header_silently must agree
// with it, and say nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "format/header_file.h"
#include "fuzz/fuzz_check.h"
#include "ui/message.h"

using namespace kiroda;
using namespace kiroda::fuzz;

namespace {

constexpr std::size_t kCrcOffset = 8188;

// The references run over 8 KiB per call; left uninstrumented, their loop
// compares do not drown the parser's in libFuzzer's comparison tracing.
#define KIRODA_FUZZ_PLAIN __attribute__((no_sanitize("coverage")))

KIRODA_FUZZ_PLAIN std::uint32_t reference_crc32(const unsigned char* data, std::size_t size) {
    static const auto table = [] {
        struct {
            std::uint32_t entry[256];
        } t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t.entry[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// The keystream: seed with the CRC, draw r, reseed with r, one draw per byte.
KIRODA_FUZZ_PLAIN void reference_scramble(unsigned char* bytes, std::size_t size,
                                          std::uint32_t crc) {
    std::uint32_t state = crc * 1103515245u + 12345u;
    state = (state >> 16) & 0x7FFFu;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] ^= static_cast<unsigned char>((state >> 16) & 0x7FFFu);
    }
}

void store_le32_at(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint16_t le16_at(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// A text field: its bytes up to the last one, which reads as NUL.
bool text_matches(const char* field, std::size_t field_size, const unsigned char* plain) {
    return std::memcmp(field, plain, field_size - 1) == 0 && field[field_size - 1] == '\0';
}

// Every field of `h` against the plain record bytes it came from.
void check_fields(const backup_header& h, const unsigned char* plain) {
    FUZZ_CHECK(text_matches(h.caption, sizeof h.caption, plain + 0));
    FUZZ_CHECK(text_matches(h.notice, sizeof h.notice, plain + 64));
    std::uint64_t version_bits;
    std::memcpy(&version_bits, &h.version, sizeof version_bits);
    FUZZ_CHECK(version_bits == le64_at(plain + 320));
    const std::uint16_t created[8] = {
        h.created.year, h.created.month,  h.created.day_of_week, h.created.day,
        h.created.hour, h.created.minute, h.created.second,      h.created.milliseconds};
    for (int i = 0; i < 8; ++i) FUZZ_CHECK(created[i] == le16_at(plain + 328 + 2 * i));
    FUZZ_CHECK(static_cast<std::uint32_t>(h.source_disk) == le32_at(plain + 344));
    FUZZ_CHECK(h.backup_bytes == le64_at(plain + 348));
    FUZZ_CHECK(text_matches(h.folder, sizeof h.folder, plain + 356));
    FUZZ_CHECK(h.reserved == le32_at(plain + 2404));
}

bool same_header(const backup_header& a, const backup_header& b) {
    return std::strcmp(a.caption, b.caption) == 0 && std::strcmp(a.notice, b.notice) == 0 &&
           std::memcmp(&a.version, &b.version, sizeof a.version) == 0 &&
           std::memcmp(&a.created, &b.created, sizeof a.created) == 0 &&
           a.source_disk == b.source_disk && a.backup_bytes == b.backup_bytes &&
           std::strcmp(a.folder, b.folder) == 0 && a.reserved == b.reserved;
}

// A folder of our own for the header file, removed when the run ends.
class scratch_folder {
  public:
    scratch_folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kiroda-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        path_ = pattern;
    }
    ~scratch_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

bool plausible_byte_count(std::uint64_t bytes) {
    return bytes != 0 && bytes % 512 == 0 && bytes <= 0x7FFFFFFFFFFFFFFFull;
}

// Whether a reader must take these 8192 bytes: the CRC matches the
// unscrambled bytes and the byte count is one a set can have.
bool reference_accepts(const unsigned char* record) {
    auto plain = padded_copy(record, kHeaderFileSize, kHeaderFileSize);
    const std::uint32_t stored_crc = le32_at(plain.get() + kCrcOffset);
    reference_scramble(plain.get(), kCrcOffset, stored_crc);
    return reference_crc32(plain.get(), kCrcOffset) == stored_crc &&
           plausible_byte_count(le64_at(plain.get() + 348));
}

int g_messages = 0;

void write_file(const std::string& path, const unsigned char* a, std::size_t a_size,
                const unsigned char* b, std::size_t b_size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(a_size == 0 || std::fwrite(a, 1, a_size, f) == a_size);
    FUZZ_CHECK(b_size == 0 || std::fwrite(b, 1, b_size, f) == b_size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned mode = data[0];
    const unsigned char* body = data + 1;
    const std::size_t body_size = size - 1;

    auto record = padded_copy(body, body_size, kHeaderFileSize);
    auto given_plain = padded_copy(body, body_size, kHeaderFileSize);
    const bool crc_made_here = (mode & 1) != 0;
    if (crc_made_here) {
        const std::uint32_t crc = reference_crc32(given_plain.get(), kCrcOffset);
        store_le32_at(given_plain.get() + kCrcOffset, crc);
        std::memcpy(record.get(), given_plain.get(), kHeaderFileSize);
        reference_scramble(record.get(), kCrcOffset, crc);
    }

    // What the record says, worked out here.
    auto plain = padded_copy(record.get(), kHeaderFileSize, kHeaderFileSize);
    const std::uint32_t stored_crc = le32_at(plain.get() + kCrcOffset);
    reference_scramble(plain.get(), kCrcOffset, stored_crc);
    const bool crc_matches = reference_crc32(plain.get(), kCrcOffset) == stored_crc;
    if (crc_made_here) {
        FUZZ_CHECK(crc_matches);
        FUZZ_CHECK(std::memcmp(plain.get(), given_plain.get(), kHeaderFileSize) == 0);
    }

    backup_header header;
    std::memset(&header, 0xCC, sizeof header);
    FUZZ_CHECK(decode_header_record(record.get(), &header) == crc_matches);
    check_fields(header, plain.get());

    FUZZ_CHECK(backup_bytes_plausible(header.backup_bytes) ==
               plausible_byte_count(header.backup_bytes));

    // What the program decodes it writes again the same way.
    if (crc_matches) {
        auto again = exact_buffer(kHeaderFileSize);
        encode_header_record(header, again.get());
        backup_header reread;
        FUZZ_CHECK(decode_header_record(again.get(), &reread));
        FUZZ_CHECK(same_header(header, reread));
    }

    // The same bytes as a file.
    static const scratch_folder folder;
    static const bool sink_installed = [] {
        set_message_sink([](const message&) {
            ++g_messages;
            return kIdOk;
        });
        return true;
    }();
    (void)sink_installed;
    const std::string path = folder.path() + "/" + kHeaderFileName;
    bool whole;
    if ((mode & 2) != 0) {
        write_file(path, body, body_size, nullptr, 0);
        whole = body_size >= kHeaderFileSize;
    } else {
        const std::size_t tail = body_size > kHeaderFileSize ? body_size - kHeaderFileSize : 0;
        write_file(path, record.get(), kHeaderFileSize, body + kHeaderFileSize, tail);
        whole = true;
    }
    g_messages = 0;
    backup_header from_file;
    char file_path[4096];
    const header_read result =
        load_header_file(folder.path().c_str(), &from_file, file_path, sizeof file_path);
    backup_header silently;
    FUZZ_CHECK(read_header_silently(folder.path().c_str(), &silently) ==
               (result == header_read::read));
    if (!whole) {
        FUZZ_CHECK(result == header_read::short_read);
    } else {
        // The file's first 8192 bytes decide; what follows them is ignored.
        const unsigned char* file_record = (mode & 2) != 0 ? body : record.get();
        const bool good = reference_accepts(file_record);
        FUZZ_CHECK(result == (good ? header_read::read : header_read::damaged));
        if (good) {
            backup_header expected;
            FUZZ_CHECK(decode_header_record(file_record, &expected));
            FUZZ_CHECK(same_header(from_file, expected));
        }
    }
    FUZZ_CHECK(g_messages == 0);
    return 0;
}
