#include "engine/rescue_read.h"

#include <algorithm>
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
    const std::uint64_t end = first + count;
    auto run = std::lower_bound(
        zero_runs_.begin(), zero_runs_.end(), first,
        [](const sector_run& r, std::uint64_t s) { return r.first + r.count <= s; });
    if (run == zero_runs_.end() || run->first >= end)
        return read_span(first, count, buffer, map, rescue);
    // Read the sectors between the long zero runs; zero every zero run.
    // The chunk's runs join `map` only once all of it is in: a chunk that
    // fails is read again whole.
    bad_sector_map chunk;
    std::uint64_t at = first;
    for (; run != zero_runs_.end() && run->first < end; ++run) {
        const std::uint64_t from = std::max(run->first, first);
        const std::uint64_t to = std::min(run->first + run->count, end);
        if (to - from < kUnreadZeroRunSectors) continue;
        if (from > at && !read_span(at, static_cast<std::uint32_t>(from - at),
                                    buffer + (at - first) * kSectorBytes, chunk, rescue))
            return false;
        std::memset(buffer + (from - first) * kSectorBytes, 0, (to - from) * kSectorBytes);
        chunk.add(from, to - from, sector_state::read);
        at = to;
    }
    if (at < end && !read_span(at, static_cast<std::uint32_t>(end - at),
                               buffer + (at - first) * kSectorBytes, chunk, rescue))
        return false;
    for (const sector_run& r : chunk.runs()) map.add(r.first, r.count, r.state);
    zero_short_runs(first, count, buffer);
    return true;
}

// The zero runs too short to leave unread: read, and zeroed now.
void rescue_reader::zero_short_runs(std::uint64_t first, std::uint32_t count,
                                    unsigned char* buffer) const {
    const std::uint64_t end = first + count;
    auto from_run = std::lower_bound(
        zero_runs_.begin(), zero_runs_.end(), first,
        [](const sector_run& r, std::uint64_t s) { return r.first + r.count <= s; });
    for (auto run = from_run; run != zero_runs_.end(); ++run) {
        const sector_run& r = *run;
        if (r.first >= end) break;
        const std::uint64_t from = std::max(r.first, first), to = std::min(r.first + r.count, end);
        if (from < to)
            std::memset(buffer + (from - first) * kSectorBytes, 0, (to - from) * kSectorBytes);
    }
}

bool rescue_reader::read_span(std::uint64_t first, std::uint32_t count, unsigned char* buffer,
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
