// Packed blocks: the records of a data file (KRD00001.BIN, ...).
//
// A block is a 32-byte header followed by its payload; the next block follows
// directly. Header, little-endian:
//   0  8  "KRDPACK\0"
//   8  4  method: 0 stored (payload is the chunk), 1 packed (word run-length code)
//  12  4  unpacked length (signed)
//  16  4  payload length (signed; the unpacked length for a stored block)
//  20  4  XOR of all bytes of the chunk
//  24  4  XOR of the whole 32-bit words of the chunk
//  28  4  reserved (written as 0, never read)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "format/set_files.h"
#include "util/big_buffer.h"

namespace kiroda {

constexpr std::int32_t kBlockHeaderSize = 32;
// Largest chunk the engines pass (32,768 sectors of 512 bytes), and the
// capacity readers pass.
constexpr std::int32_t kChunkBytes = 16777216;
constexpr std::uint32_t kChunkSectors = 32768;

// Sectors of the next chunk when `left` sectors remain: a whole chunk, or
// the rest.
constexpr std::uint32_t chunk_sectors(std::uint64_t left) {
    return static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors);
}
// Blocks in every data file but the last of a set.
constexpr int kBlocksPerDataFile = 60;

constexpr std::int32_t kMethodStored = 0;
constexpr std::int32_t kMethodPacked = 1;

// write_packed_block: positive = packed, payload length; 0 = stored.
constexpr std::int32_t kBlockWrittenStored = 0;
constexpr std::int32_t kBlockNoPackingMemory = -11;  // nothing written
constexpr std::int32_t kBlockStoredHeaderShort = -12;
constexpr std::int32_t kBlockStoredDataShort = -13;
constexpr std::int32_t kBlockPackedHeaderShort = -14;
constexpr std::int32_t kBlockPackedPayloadShort = -15;

// read_packed_block: 0 or positive = the unpacked length.
constexpr std::int32_t kBlockHeaderShort = -1;
constexpr std::int32_t kBlockBadSignature = -2;
constexpr std::int32_t kBlockBadMethod = -3;
constexpr std::int32_t kBlockBadLength = -4;  // unpacked or payload length out of range
constexpr std::int32_t kBlockNoPayloadMemory = -5;
constexpr std::int32_t kBlockPayloadShort = -6;
constexpr std::int32_t kBlockUnpackMismatch = -7;
constexpr std::int32_t kBlockStoredShort = -8;
constexpr std::int32_t kBlockByteChecksum = -9;
constexpr std::int32_t kBlockWordChecksum = -10;

// Steps over the block at the file position without reading its payload:
// its unpacked length, or kBlockHeaderShort, kBlockBadSignature,
// kBlockBadMethod, kBlockBadLength (the header's own checks of
// read_packed_block), or kBlockPayloadShort when the seek fails. A payload
// cut short is not noticed (the seek may pass the end): nothing is read,
// unpacked or checksummed; it tells a set's shape, not its health.
[[nodiscard]] std::int32_t skip_packed_block(int fd);
// The same, but a payload cut short is kBlockPayloadShort: its last byte is
// read. For a judgement that a set is all there (the block in flight when
// the power went must not count).
[[nodiscard]] std::int32_t skip_whole_packed_block(int fd);

// What a failed block read means, in words (the program's text encoding);
// nullptr for a code that is no failure of read_packed_block.
const char* block_result_reason(std::int32_t code);

// Working memory of the block operations, kept by an engine across blocks so
// that a backup does not allocate 16 MiB per chunk. Without one, each call
// allocates its own.
class block_scratch {
  public:
    // At least `size` bytes, or nullptr when they cannot be had.
    unsigned char* get(std::size_t size);

  private:
    big_buffer data_;
    std::size_t size_ = 0;
};

// Sees every byte a block operation writes to or reads from the file, in
// file order, so a digest of the data file needs no second pass over it.
struct byte_observer {
    void (*see)(void* context, const void* data, std::size_t size);
    void* context;
};

// Appends one block holding `chunk` (`length` bytes) to the open file.
[[nodiscard]] std::int32_t write_packed_block(int fd, const unsigned char* chunk,
                                              std::int32_t length);
[[nodiscard]] std::int32_t write_packed_block(int fd, const unsigned char* chunk,
                                              std::int32_t length, block_scratch& scratch,
                                              const byte_observer* observer = nullptr);

// A block encoded in memory, ready to be written: its header (and code,
// side by side, when the code is shorter than the chunk) in the scratch it
// was encoded into, valid until that is reused; a stored block's data is the
// chunk itself, which must then stay untouched until the block is written.
struct encoded_block {
    const unsigned char* head = nullptr;
    std::size_t head_size = 0;
    const unsigned char* chunk = nullptr;  // stored blocks only
    std::size_t chunk_size = 0;
    std::int32_t result = kBlockNoPackingMemory;  // what write_packed_block returns on success
    // True while writing the block still needs the chunk's buffer.
    bool uses_chunk() const { return chunk != nullptr; }
};
encoded_block encode_packed_block(const unsigned char* chunk, std::int32_t length,
                                  block_scratch& scratch);

// Appends an encoded block to the open file. The same results as
// write_packed_block.
[[nodiscard]] std::int32_t write_encoded_block(int fd, const encoded_block& block,
                                               const byte_observer* observer = nullptr);

// Reads the block at the file position into `destination` (`capacity` bytes)
// and checks it. On success the file stands at the next block.
[[nodiscard]] std::int32_t read_packed_block(int fd, unsigned char* destination,
                                             std::int32_t capacity);
[[nodiscard]] std::int32_t read_packed_block(int fd, unsigned char* destination,
                                             std::int32_t capacity, block_scratch& scratch,
                                             const byte_observer* observer = nullptr);

// read_packed_block in two steps, so that the file is read in order while
// the unpacking and checking of blocks already read goes on elsewhere:
// read_block_bytes reads the block's bytes from the file (a packed block's
// code into `scratch`, a stored block's data into `destination`) and
// returns 0 or the failure read_packed_block would give;
// check_block_bytes then unpacks and checks them (the code stays in the
// scratch until then) and returns what read_packed_block returns.
struct block_read {
    unsigned char header[kBlockHeaderSize];
    std::int32_t method = 0;
    std::int32_t unpacked = 0;
    const unsigned char* code = nullptr;  // packed blocks: the code in the scratch
    std::int32_t code_size = 0;
};
[[nodiscard]] std::int32_t read_block_bytes(int fd, unsigned char* destination,
                                            std::int32_t capacity, block_scratch& scratch,
                                            const byte_observer* observer, block_read* read);
// Where read_block_bytes takes a block's bytes from, when not from a
// descriptor of the file seam: `read` behaves as read_full (the bytes read,
// fewer only at the end, or -1 on a read error).
struct byte_source {
    std::int64_t (*read)(void* context, void* buffer, std::size_t size);
    void* context;
};
[[nodiscard]] std::int32_t read_block_bytes(const byte_source& from, unsigned char* destination,
                                            std::int32_t capacity, block_scratch& scratch,
                                            const byte_observer* observer, block_read* read);
[[nodiscard]] std::int32_t check_block_bytes(const block_read& read, unsigned char* destination,
                                             std::int32_t capacity);

}  // namespace kiroda
