#include "engine/rescue_read.h"

#include <cstring>

#include "util/system_error.h"

namespace kiroda {

bool rescue_reader::read_at(const disk_handle& disk, std::uint64_t first, std::uint32_t count,
                            unsigned char* into) {
    return seek_sector(disk, first) && read_sectors(disk, count, into);
}

void rescue_reader::failed_read() {
    if (++streak_ >= kGiveUpStreak) skipping_ = true;
}

void rescue_reader::rescue_piece(std::uint64_t first, std::uint32_t count, unsigned char* into,
                                 bad_sector_map& map) {
    if (read_at(*careful_, first, count, into)) {
        map.add(first, count, sector_state::read);
        streak_ = 0;
        skipping_ = false;
        return;
    }
    failed_read();
    for (std::uint32_t s = 0; s < count; ++s) {
        unsigned char* sector = into + std::size_t{s} * kSectorBytes;
        if (skipping_) {
            // Given up on this region: the rest of the piece is not tried.
            std::memset(sector, 0, std::size_t{count - s} * kSectorBytes);
            map.add(first + s, count - s, sector_state::not_tried);
            lost_ += count - s;
            return;
        }
        bool got = false;
        for (int attempt = 0; attempt < 2 && !got; ++attempt) {
            got = read_at(*careful_, first + s, 1, sector);
            if (!got) failed_read();
        }
        if (got) {
            map.add(first + s, 1, sector_state::read);
            streak_ = 0;
        } else {
            std::memset(sector, 0, kSectorBytes);
            map.add(first + s, 1, sector_state::unreadable);
            ++lost_;
        }
    }
}

void rescue_reader::skip_piece(std::uint64_t first, std::uint32_t count, unsigned char* into,
                               bad_sector_map& map) {
    // One try a piece, at its last sector: a region given up on is crossed
    // at one failed read per 64 KiB.
    unsigned char* last = into + std::size_t{count - 1} * kSectorBytes;
    if (!read_at(*careful_, first + count - 1, 1, last)) {
        ++streak_;
        std::memset(into, 0, std::size_t{count} * kSectorBytes);
        map.add(first, count, sector_state::not_tried);
        lost_ += count;
        return;
    }
    // The region ends inside this piece, or before it.
    streak_ = 0;
    skipping_ = false;
    if (count == 1 || read_at(*careful_, first, count - 1, into)) {
        map.add(first, count, sector_state::read);
        return;
    }
    // Walk back from the end to the last sector that will not read; what
    // lies before it stays not tried.
    std::uint32_t good_from = count - 1;
    while (good_from > 0) {
        unsigned char* sector = into + std::size_t{good_from - 1} * kSectorBytes;
        if (!read_at(*careful_, first + good_from - 1, 1, sector) &&
            !read_at(*careful_, first + good_from - 1, 1, sector)) {
            break;
        }
        --good_from;
    }
    if (good_from > 0) {
        const std::uint32_t bad = good_from - 1;
        std::memset(into, 0, std::size_t{good_from} * kSectorBytes);
        map.add(first, bad, sector_state::not_tried);
        map.add(first + bad, 1, sector_state::unreadable);
        lost_ += good_from;
    }
    map.add(first + good_from, count - good_from, sector_state::read);
}

bool rescue_reader::read_chunk(std::uint64_t first, std::uint32_t count, unsigned char* buffer,
                               bad_sector_map& map, bool rescue) {
    if (read_at(disk_, first, count, buffer)) {
        map.add(first, count, sector_state::read);
        streak_ = 0;
        skipping_ = false;
        return true;
    }
    chunk_error_ = take_system_error();
    if (!rescue) {
        // One more try in one go: a read that failed once and not again
        // (a cable, a bus reset) is no reason to ask.
        if (!read_at(disk_, first, count, buffer)) return (take_system_error(), false);
        map.add(first, count, sector_state::read);
        return true;
    }
    failed_read();
    if (careful_ == nullptr) {
        careful_handle_ = open_physical_disk(disk_number_, disk_mode::read_back);
        careful_ = careful_handle_.valid() ? &careful_handle_ : &disk_;
    }
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n =
            count - done < kRescuePieceSectors ? count - done : kRescuePieceSectors;
        unsigned char* into = buffer + std::size_t{done} * kSectorBytes;
        if (skipping_) {
            skip_piece(first + done, n, into, map);
        } else {
            rescue_piece(first + done, n, into, map);
        }
        done += n;
    }
    // The failed reads are handled here: their system error belongs to no
    // message.
    take_system_error();
    return true;
}

}  // namespace kiroda
