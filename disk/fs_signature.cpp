#include "disk/fs_signature.h"

#include <cstring>

#include "util/le.h"

namespace kiroda {

namespace {

bool bytes_at(const unsigned char* data, std::size_t size, std::size_t offset, const char* text,
              std::size_t n) {
    return offset + n <= size && std::memcmp(data + offset, text, n) == 0;
}

bool boot_signature(const unsigned char* data, std::size_t size) {
    return size >= 512 && data[510] == 0x55 && data[511] == 0xAA;
}

}  // namespace

const char* find_disk_signature(const unsigned char* data, std::size_t size) {
    // Volume boot sectors: a file system that starts at sector 0 itself.
    if (bytes_at(data, size, 3, "NTFS    ", 8)) return "NTFS";
    if (bytes_at(data, size, 3, "EXFAT   ", 8)) return "exFAT";
    if (boot_signature(data, size) &&
        (bytes_at(data, size, 82, "FAT32   ", 8) || bytes_at(data, size, 54, "FAT12   ", 8) ||
         bytes_at(data, size, 54, "FAT16   ", 8) || bytes_at(data, size, 54, "FAT     ", 8))) {
        return "FAT";
    }
    if (bytes_at(data, size, 0, "LUKS\xBA\xBE", 6)) return "LUKS";
    if (bytes_at(data, size, 0, "XFSB", 4)) return "XFS";
    if (bytes_at(data, size, 512, "EFI PART", 8)) return "GPT";
    // The ext2/3/4 superblock is 1,024 bytes in; its magic 56 bytes further.
    if (size >= 1082 && load_le16(data + 1080) == 0xEF53) return "ext2/ext3/ext4";
    // Swap space ends its first 4 KiB page with its signature.
    if (bytes_at(data, size, 4086, "SWAPSPACE2", 10) ||
        bytes_at(data, size, 4086, "SWAP-SPACE", 10)) {
        return "swap";
    }
    if (bytes_at(data, size, 32769, "CD001", 5)) return "ISO 9660";
    return nullptr;
}

}  // namespace kiroda
