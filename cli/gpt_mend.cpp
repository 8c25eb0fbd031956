#include "cli/gpt_mend.h"

#include <libfdisk/libfdisk.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/gpt_layout.h"
#include "ui/translation.h"
#include "util/file_io.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kUnit = 512;

int silent(fdisk_context*, fdisk_ask*, void*) {
    return 0;
}

sector_source reader_of(set_image& image) {
    return [&image](std::uint64_t sector, unsigned char* bytes) {
        return image.read(sector * kUnit, kUnit, bytes) == static_cast<std::int64_t>(kUnit);
    };
}

sector_source reader_of(int fd) {
    return [fd](std::uint64_t sector, unsigned char* bytes) {
        return ::pread(fd, bytes, kUnit, static_cast<off_t>(sector * kUnit)) ==
               static_cast<ssize_t>(kUnit);
    };
}

bool pread_all(int fd, std::uint64_t at, std::vector<unsigned char>* bytes) {
    return ::pread(fd, bytes->data(), bytes->size(), static_cast<off_t>(at)) ==
           static_cast<ssize_t>(bytes->size());
}

// Lets the library read the scratch image and write its table back, with
// everything it mends; false when it finds no GPT there or cannot write.
bool library_rewrites(int fd, std::uint32_t sector_bytes, std::string* why) {
    fdisk_context* cxt = fdisk_new_context();
    if (cxt == nullptr) return false;
    fdisk_set_ask(cxt, silent, nullptr);
    fdisk_save_user_sector_size(cxt, sector_bytes, sector_bytes);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    bool ok = fdisk_assign_device(cxt, path.c_str(), 0) == 0 &&
              fdisk_is_labeltype(cxt, FDISK_DISKLABEL_GPT);
    if (!ok) *why = localized("libfdisk が GPT を読めません");
    if (ok && fdisk_write_disklabel(cxt) != 0) {
        *why = localized("libfdisk が GPT を書けません");
        ok = false;
    }
    fdisk_deassign_device(cxt, 1);
    fdisk_unref_context(cxt);
    return ok;
}

bool same_entries(const gpt_layout& a, const gpt_layout& b) {
    if (a.entries.size() != b.entries.size()) return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const gpt_entry &x = a.entries[i], &y = b.entries[i];
        if (x.number != y.number || x.first_lba != y.first_lba || x.last_lba != y.last_lba ||
            x.attributes != y.attributes || x.name != y.name ||
            std::memcmp(x.type_guid, y.type_guid, 16) != 0 ||
            std::memcmp(x.unique_guid, y.unique_guid, 16) != 0)
            return false;
    }
    return true;
}

// The scratch image, read as krdtool reads a disk: a sound GPT of the set's
// entries, its MBR's boot code and other fields the set's own.
bool mend_holds(int fd, std::uint64_t target_bytes, const gpt_layout& set,
                const std::vector<unsigned char>& head, std::string* why) {
    const gpt_layout mended = read_gpt_layout(target_bytes, set.sector_bytes, reader_of(fd));
    std::vector<unsigned char> sector0(kUnit);
    const bool mbr_kept = pread_all(fd, 0, &sector0) &&
                          std::memcmp(sector0.data(), head.data(), 446) == 0 &&
                          std::memcmp(sector0.data() + 462, head.data() + 462, 50) == 0;
    if (mended.state == gpt_state::valid && same_entries(mended, set) && mbr_kept) return true;
    *why = localized("直した GPT がバックアップデータの GPT と一致しません");
    return false;
}

}  // namespace

gpt_mend_result plan_gpt_mend(set_image& image, std::uint32_t sector_bytes,
                              std::uint64_t target_bytes, restore_options* options,
                              std::string* why) {
    const gpt_layout set = read_gpt_layout(image.size(), sector_bytes, reader_of(image));
    if (set.state != gpt_state::valid) return gpt_mend_result::none;
    const std::uint64_t target_lbas = target_bytes / sector_bytes;
    options->held_sectors = static_cast<std::uint32_t>(2 * sector_bytes / kUnit);
    if (target_lbas * sector_bytes == image.size()) return gpt_mend_result::planned;
    // The protective MBR, the primary header and its array, from the set.
    const std::uint64_t array = gpt_array_sectors(set.header, sector_bytes);
    // Room for the head, one usable sector and the backup, or no GPT at all.
    if (target_lbas < set.header.entries_lba + 2 * array + 2) {
        *why = localized("復旧先ディスクが GPT には小さすぎます");
        return gpt_mend_result::failed;
    }
    std::vector<unsigned char> head((set.header.entries_lba + array) * sector_bytes);
    if (image.read(0, head.size(), head.data()) != static_cast<std::int64_t>(head.size())) {
        *why = localized("バックアップデータの GPT を読めません");
        return gpt_mend_result::failed;
    }
    // A smaller target: the primary points past its end, which the library
    // takes for no GPT at all.
    if (set.header.alternate_lba >= target_lbas)
        point_primary_at_end(head.data() + sector_bytes, sector_bytes, target_lbas);
    const unique_fd fd(::memfd_create("krdtool-gpt", MFD_CLOEXEC));
    if (!fd.valid() || ::ftruncate(fd.get(), static_cast<off_t>(target_bytes)) != 0 ||
        ::pwrite(fd.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
        *why = std::strerror(errno);
        return gpt_mend_result::failed;
    }
    if (!library_rewrites(fd.get(), sector_bytes, why) ||
        !mend_holds(fd.get(), target_bytes, set, head, why))
        return gpt_mend_result::failed;
    options->last_head.assign(options->held_sectors * kUnit, 0);
    sector_write tail;
    tail.first_sector = (target_lbas - array - 1) * sector_bytes / kUnit;
    tail.bytes.assign((array + 1) * sector_bytes, 0);
    if (!pread_all(fd.get(), 0, &options->last_head) ||
        !pread_all(fd.get(), tail.first_sector * kUnit, &tail.bytes)) {
        *why = std::strerror(errno);
        return gpt_mend_result::failed;
    }
    options->last_tail = {tail};
    if (target_bytes < image.size()) {
        // The set's own backup, past the target's end, is written anew.
        const std::uint64_t disk_lbas = image.size() / sector_bytes;
        options->replaced = {{(disk_lbas - array - 1) * sector_bytes, disk_lbas * sector_bytes}};
    }
    return gpt_mend_result::planned;
}

}  // namespace kiroda::cli
