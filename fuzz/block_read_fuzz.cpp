// A data file from an untrusted medium: the first two input bytes are the
// reader's capacity (little-endian, 0 to 65,535), the rest is the file.
// read_packed_block reads block after block into a buffer of exactly that
// capacity. Each answer must be a length or one of the named failures, must
// agree with a reader written from the block layout, and a block it accepts
// must hold the reference's bytes with the file standing right after it.
// From the second block on, an observer watches the bytes the reader takes:
// they must be the file's own, in file order, and on success all of the
// block's.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "format/packed_block.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/word_code_reference.h"

using namespace kiroda;
using namespace kiroda::fuzz;

namespace {

struct reference_block {
    bool accepted = false;
    std::size_t consumed = 0;  // header and payload
    std::vector<unsigned char> chunk;
};

reference_block reference_read(const unsigned char* file, std::size_t size, std::int32_t capacity) {
    static constexpr unsigned char kSignature[8] = {'K', 'R', 'D', 'P', 'A', 'C', 'K', 0};
    reference_block block;
    if (size < 32 || std::memcmp(file, kSignature, 8) != 0) return block;
    const auto method = static_cast<std::int32_t>(le32_at(file + 8));
    const auto unpacked = static_cast<std::int32_t>(le32_at(file + 12));
    const auto payload = static_cast<std::int32_t>(le32_at(file + 16));
    if (method != 0 && method != 1) return block;
    if (unpacked < 0 || unpacked > capacity) return block;
    const std::size_t available = size - 32;
    if (method == 1) {
        if (payload < 0 || payload > capacity) return block;
        if (available < static_cast<std::size_t>(payload)) return block;
        auto chunk = reference_unpack(file + 32, static_cast<std::size_t>(payload),
                                      static_cast<std::size_t>(capacity));
        if (!chunk || chunk->size() != static_cast<std::size_t>(unpacked)) return block;
        block.chunk = std::move(*chunk);
        block.consumed = 32 + static_cast<std::size_t>(payload);
    } else {
        if (available < static_cast<std::size_t>(unpacked)) return block;
        block.chunk.assign(file + 32, file + 32 + unpacked);
        block.consumed = 32 + static_cast<std::size_t>(unpacked);
    }
    const reference_sums sums = reference_checksums(block.chunk.data(), block.chunk.size());
    if (sums.byte_xor != le32_at(file + 20) || sums.word_xor != le32_at(file + 24)) return block;
    block.accepted = true;
    return block;
}

bool is_named_failure(std::int32_t code) {
    switch (code) {
        case kBlockHeaderShort:
        case kBlockBadSignature:
        case kBlockBadMethod:
        case kBlockBadLength:
        case kBlockNoPayloadMemory:
        case kBlockPayloadShort:
        case kBlockUnpackMismatch:
        case kBlockStoredShort:
        case kBlockByteChecksum:
        case kBlockWordChecksum:
            return true;
        default:
            return false;
    }
}

void collect(void* context, const void* data, std::size_t size) {
    auto* seen = static_cast<std::vector<unsigned char>*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    seen->insert(seen->end(), bytes, bytes + size);
}

// One descriptor for the whole run, rewritten for every input: a file in
// memory, read through the same calls as a data file on a disk.
int file_descriptor() {
    static const int fd = memfd_create("kiroda-block-fuzz", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t capacity = data[0] | data[1] << 8;
    const unsigned char* file = data + 2;
    const std::size_t file_size = size - 2;

    const int fd = file_descriptor();
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, file, file_size, 0) == static_cast<ssize_t>(file_size));
    FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);

    auto destination = exact_buffer(static_cast<std::size_t>(capacity));
    // As an engine does: one scratch kept across the blocks of a file. The
    // first block goes through the call that allocates its own.
    block_scratch scratch;
    std::vector<unsigned char> seen;
    const byte_observer observer{collect, &seen};
    std::size_t offset = 0;
    std::size_t observed_from = 0;  // file offset of the first byte the observer saw
    for (bool first = true;; first = false) {
        const std::int32_t result =
            first ? read_packed_block(fd, destination.get(), capacity)
                  : read_packed_block(fd, destination.get(), capacity, scratch, &observer);
        if (!first) {
            FUZZ_CHECK(seen.size() <= file_size - observed_from);
            FUZZ_CHECK(same_bytes(seen.data(), file + observed_from, seen.size()));
        }
        FUZZ_CHECK(is_named_failure(result) || (result >= 0 && result <= capacity));

        const reference_block expected =
            reference_read(file + offset, file_size - offset, capacity);
        FUZZ_CHECK((result >= 0) == expected.accepted);
        if (result < 0) break;
        FUZZ_CHECK(static_cast<std::size_t>(result) == expected.chunk.size());
        FUZZ_CHECK(same_bytes(destination.get(), expected.chunk.data(), expected.chunk.size()));
        offset += expected.consumed;
        FUZZ_CHECK(lseek(fd, 0, SEEK_CUR) == static_cast<off_t>(offset));
        if (first) observed_from = offset;
        FUZZ_CHECK(seen.size() == offset - observed_from);
    }
    return 0;
}
