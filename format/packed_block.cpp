#include "format/packed_block.h"

#include <cstring>
#include <new>

#include "format/word_codec.h"
#include "util/file_io.h"
#include "util/le.h"

namespace kiroda {

namespace {

constexpr char kSignature[8] = {'K', 'R', 'D', 'P', 'A', 'C', 'K', '\0'};

void encode_header(unsigned char* header, std::int32_t method, std::int32_t unpacked,
                   std::int32_t payload, const chunk_checksums& sums) {
    std::memcpy(header, kSignature, 8);
    store_le32(header + 8, static_cast<std::uint32_t>(method));
    store_le32(header + 12, static_cast<std::uint32_t>(unpacked));
    store_le32(header + 16, static_cast<std::uint32_t>(payload));
    store_le32(header + 20, sums.byte_xor);
    store_le32(header + 24, sums.word_xor);
    store_le32(header + 28, 0);
}

bool wrote(int fd, const unsigned char* data, std::size_t size) {
    return write_full(fd, data, size) == static_cast<std::int64_t>(size);
}

void show_to(const byte_observer* observer, const void* data, std::size_t size) {
    if (observer != nullptr) observer->see(observer->context, data, size);
}

}  // namespace

const char* block_result_reason(std::int32_t code) {
    switch (code) {
        case kBlockHeaderShort:
            return "ブロックの見出しが途中で切れています";
        case kBlockBadSignature:
            return "ブロックの見出しがありません";
        case kBlockBadMethod:
            return "ブロックの形式が不明です";
        case kBlockBadLength:
            return "ブロックの長さが正しくありません";
        case kBlockNoPayloadMemory:
            return "メモリが足りません";
        case kBlockPayloadShort:
        case kBlockStoredShort:
            return "ブロックのデータが途中で切れています";
        case kBlockUnpackMismatch:
            return "ブロックを展開できません";
        case kBlockByteChecksum:
        case kBlockWordChecksum:
            return "ブロックのチェックサムが一致しません";
        default:
            return nullptr;
    }
}

unsigned char* block_scratch::get(std::size_t size) {
    if (size > size_ || data_.data() == nullptr) {
        data_ = big_buffer();
        size_ = 0;
        data_ = big_buffer(size > 0 ? size : 1);
        if (data_.data() == nullptr) return nullptr;
        size_ = size;
    }
    return data_.data();
}

std::int32_t write_packed_block(int fd, const unsigned char* chunk, std::int32_t length) {
    block_scratch scratch;
    return write_packed_block(fd, chunk, length, scratch);
}

std::int32_t write_packed_block(int fd, const unsigned char* chunk, std::int32_t length,
                                block_scratch& scratch, const byte_observer* observer) {
    return write_encoded_block(fd, encode_packed_block(chunk, length, scratch), observer);
}

encoded_block encode_packed_block(const unsigned char* chunk, std::int32_t length,
                                  block_scratch& scratch) {
    encoded_block block;
    if (length < 0) return block;  // nothing sensible to write
    // Header and code side by side, so a packed block goes out in one write.
    unsigned char* buffer =
        scratch.get(static_cast<std::size_t>(kBlockHeaderSize) + static_cast<std::size_t>(length));
    if (buffer == nullptr) return block;
    // Capacity L: any code that is not shorter than the chunk is useless.
    chunk_checksums sums{};
    const std::int32_t payload =
        pack_words_summed(chunk, length, buffer + kBlockHeaderSize, length, &sums);
    block.head = buffer;
    if (payload < 0 || payload == length) {
        // Stored: the chunk itself follows the header; it is not copied.
        encode_header(buffer, kMethodStored, length, length, sums);
        block.head_size = kBlockHeaderSize;
        block.chunk = chunk;
        block.chunk_size = static_cast<std::size_t>(length);
        block.result = kBlockWrittenStored;
    } else {
        encode_header(buffer, kMethodPacked, length, payload, sums);
        block.head_size =
            static_cast<std::size_t>(kBlockHeaderSize) + static_cast<std::size_t>(payload);
        block.result = payload;
    }
    return block;
}

std::int32_t write_encoded_block(int fd, const encoded_block& block,
                                 const byte_observer* observer) {
    if (block.head == nullptr || block.result < 0) return kBlockNoPackingMemory;
    if (block.chunk != nullptr) {
        if (!wrote(fd, block.head, block.head_size)) return kBlockStoredHeaderShort;
        if (!wrote(fd, block.chunk, block.chunk_size)) return kBlockStoredDataShort;
    } else {
        const std::int64_t written = write_full(fd, block.head, block.head_size);
        if (written < kBlockHeaderSize) return kBlockPackedHeaderShort;
        if (written < static_cast<std::int64_t>(block.head_size)) return kBlockPackedPayloadShort;
    }
    show_to(observer, block.head, block.head_size);
    if (block.chunk != nullptr) show_to(observer, block.chunk, block.chunk_size);
    return block.result;
}

namespace {

// A block's header as read from the file: its signature and method checked,
// its lengths not yet (they are the caller's to bound).
struct block_head {
    unsigned char bytes[kBlockHeaderSize];
    std::int32_t method = 0;
    std::int32_t unpacked = 0;
    std::int32_t payload = 0;
};

std::int64_t read_from_fd(void* context, void* buffer, std::size_t size) {
    return read_full(*static_cast<const int*>(context), buffer, size);
}

// 0, or kBlockHeaderShort, kBlockBadSignature, kBlockBadMethod.
std::int32_t read_block_head(const byte_source& from, block_head* head) {
    if (from.read(from.context, head->bytes, sizeof head->bytes) != kBlockHeaderSize)
        return kBlockHeaderShort;
    if (std::memcmp(head->bytes, kSignature, sizeof kSignature) != 0) return kBlockBadSignature;
    head->method = static_cast<std::int32_t>(load_le32(head->bytes + 8));
    head->unpacked = static_cast<std::int32_t>(load_le32(head->bytes + 12));
    head->payload = static_cast<std::int32_t>(load_le32(head->bytes + 16));
    if (head->method != kMethodStored && head->method != kMethodPacked) return kBlockBadMethod;
    return 0;
}

}  // namespace

std::int32_t skip_packed_block(int fd) {
    block_head head;
    if (const std::int32_t failed = read_block_head(byte_source{read_from_fd, &fd}, &head))
        return failed;
    const std::int32_t unpacked = head.unpacked;
    const std::int32_t stored = head.method == kMethodPacked ? head.payload : unpacked;
    if (unpacked < 0 || unpacked > kChunkBytes || stored < 0 || stored > kChunkBytes)
        return kBlockBadLength;
    if (!skip_forward(fd, stored)) return kBlockPayloadShort;
    return unpacked;
}

std::int32_t skip_whole_packed_block(int fd) {
    const std::int32_t unpacked = skip_packed_block(fd);
    if (unpacked < 0) return unpacked;
    // The byte before the position is the payload's last (or the header's,
    // read already); past the end of the file there is none.
    unsigned char last = 0;
    if (!skip_forward(fd, -1) || read_full(fd, &last, 1) != 1) return kBlockPayloadShort;
    return unpacked;
}

std::int32_t read_packed_block(int fd, unsigned char* destination, std::int32_t capacity) {
    block_scratch scratch;
    return read_packed_block(fd, destination, capacity, scratch);
}

std::int32_t read_packed_block(int fd, unsigned char* destination, std::int32_t capacity,
                               block_scratch& scratch, const byte_observer* observer) {
    block_read read;
    const std::int32_t failed =
        read_block_bytes(fd, destination, capacity, scratch, observer, &read);
    return failed < 0 ? failed : check_block_bytes(read, destination, capacity);
}

std::int32_t read_block_bytes(int fd, unsigned char* destination, std::int32_t capacity,
                              block_scratch& scratch, const byte_observer* observer,
                              block_read* read) {
    return read_block_bytes(byte_source{read_from_fd, &fd}, destination, capacity, scratch,
                            observer, read);
}

std::int32_t read_block_bytes(const byte_source& from, unsigned char* destination,
                              std::int32_t capacity, block_scratch& scratch,
                              const byte_observer* observer, block_read* read) {
    block_head head;
    if (const std::int32_t failed = read_block_head(from, &head)) return failed;
    const std::int32_t method = head.method;
    const std::int32_t unpacked = head.unpacked;
    const std::int32_t payload = head.payload;
    // Every length is untrusted: checked before anything is allocated or read.
    if (capacity < 0 || unpacked < 0 || unpacked > capacity) return kBlockBadLength;
    show_to(observer, head.bytes, kBlockHeaderSize);
    std::memcpy(read->header, head.bytes, kBlockHeaderSize);
    read->method = method;
    read->unpacked = unpacked;
    read->code = nullptr;
    read->code_size = 0;
    if (method == kMethodPacked) {
        if (payload < 0 || payload > capacity) return kBlockBadLength;
        unsigned char* code = scratch.get(static_cast<std::size_t>(payload));
        if (code == nullptr) return kBlockNoPayloadMemory;
        if (from.read(from.context, code, static_cast<std::size_t>(payload)) != payload) {
            return kBlockPayloadShort;
        }
        show_to(observer, code, static_cast<std::size_t>(payload));
        read->code = code;
        read->code_size = payload;
    } else {
        // The payload-length field of a stored block is not used.
        if (from.read(from.context, destination, static_cast<std::size_t>(unpacked)) != unpacked) {
            return kBlockStoredShort;
        }
        show_to(observer, destination, static_cast<std::size_t>(unpacked));
    }
    return 0;
}

std::int32_t check_block_bytes(const block_read& read, unsigned char* destination,
                               std::int32_t capacity) {
    chunk_checksums sums{};
    if (read.method == kMethodPacked) {
        if (unpack_words_summed(read.code, read.code_size, destination, capacity, &sums) !=
            read.unpacked) {
            return kBlockUnpackMismatch;
        }
    } else {
        sums = compute_checksums(destination, static_cast<std::size_t>(read.unpacked));
    }
    if ((sums.byte_xor ^ load_le32(read.header + 20)) != 0) return kBlockByteChecksum;
    if ((sums.word_xor ^ load_le32(read.header + 24)) != 0) return kBlockWordChecksum;
    return read.unpacked;
}

}  // namespace kiroda
