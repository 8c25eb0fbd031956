#include "engine/backup_writer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/engine_texts.h"
#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "engine/set_read_back.h"
#include "format/header_file.h"
#include "format/set_files.h"
#include "format/source_disk.h"
#include "util/free_space.h"
#include "util/path.h"
#include "util/side_file.h"
#include "util/number_format.h"

namespace kiroda {

namespace {

constexpr enciphered_text kNotEnoughSpace{
    "バックアップ先の空き容量が足りません。\n空き容量: %s バイト\n\n"
    "空きのあるメディアに交換して、はじめからやり直して下さい。"};
constexpr enciphered_text kCannotCreate{"バックアップファイルを作成できません。\n\n%s"};
constexpr enciphered_text kWriteFailed{
    "バックアップファイルへの書き込みに失敗しました。\n\n%s\n残りセクタ = %lld (コード %d)"};
constexpr enciphered_text kCannotWriteMap{
    "読めないセクタの記録(KRDMAP.TXT)を書き込めませんでした。\n\n%s"};
constexpr enciphered_text kCannotWriteSide{"%s を書き込めませんでした。\n\n%s"};
constexpr enciphered_text kCannotWriteDigests{"ダイジェストファイル(" KIRODA_DIGEST_FILE_NAME
                                              ")を書き込めませんでした。\n\n%s"};
constexpr enciphered_text kCannotCommit{"バックアップファイルをディスクに書き出せません。\n\n%s"};

// Counts the bytes of a data file as they go out or come in, into its digest.
struct file_tally {
    digest_stream* digest;
    std::uint64_t* bytes;
};

byte_observer tally_observer(file_tally* tally) {
    return {[](void* context, const void* data, std::size_t size) {
                auto* t = static_cast<file_tally*>(context);
                t->digest->add(data, size);
                *t->bytes += size;
            },
            tally};
}

}  // namespace

backup_writer::backup_writer(progress& p, const char* folder, std::uint64_t sectors, bool resumed,
                             bool read_back)
    : p_(p), folder_(folder), sectors_(sectors), resumed_(resumed), read_back_(read_back) {}

void backup_writer::fail(stored_text text, const char* value) {
    tell(p_, text, value);
}

void backup_writer::medium_failed(const char* path) {
    medium_failed_ = true;
    report_not_kept(p_, path);
}

// The file of `path` read back from the medium: it must be the `bytes` of
// `digest` that were written. True without the read-back; false after a
// message or a stop.
bool backup_writer::check_file(const char* path, std::uint64_t bytes, const digest128& digest,
                               bool shown) {
    if (!read_back_) return true;
    switch (read_back_file(p_, path, bytes, digest, shown)) {
        case read_back_result::same:
            return true;
        case read_back_result::stopped:
            return false;
        case read_back_result::not_kept:
            break;
    }
    medium_failed(path);
    return false;
}

// The read-back of a side file under its temporary name, before the rename
// (none without the read-back); `not_kept` says afterwards whether it is
// what failed the write.
side_file_check backup_writer::side_file_read_back(bool* not_kept) {
    *not_kept = false;
    if (!read_back_) return {};
    return [this, not_kept](const char* temp_path, const std::string& text) {
        const digest128 digest = digest_bytes(text.data(), text.size());
        *not_kept =
            read_back_file(p_, temp_path, text.size(), digest, false) != read_back_result::same;
        return !*not_kept;
    };
}

// The header file read back: the bytes of digests_.header. False after a
// message or a stop.
bool backup_writer::check_header() {
    char path[kPathCapacity + 16];
    if (!join_path(folder_, kHeaderFileName, path, sizeof path)) {
        medium_failed(folder_);
        return false;
    }
    return check_file(path, digests_.header_bytes, digests_.header, false);
}

bool backup_writer::header_written(const digest128& digest) {
    digests_.header_bytes = kHeaderFileSize;
    digests_.header = digest;
    header_known_ = true;
    return check_header();
}

bool backup_writer::keep_header() {
    if (!read_back_) return true;
    // What the examination read, through the cache.
    if (!digest_header_file(folder_, &digests_.header_bytes, &digests_.header)) {
        char path[kPathCapacity + 16];
        medium_failed(join_path(folder_, kHeaderFileName, path, sizeof path) ? path : folder_);
        return false;
    }
    header_known_ = true;
    return check_header();
}

kept_blocks backup_writer::walk_failed(kept_walk verdict, const char* file) {
    kept_blocks found;
    found.verdict = verdict;
    found.file = file;
    return found;
}

kept_blocks backup_writer::open_kept() {
    kept_blocks found;
    // Every data file in turn: all but the last hold 60 whole blocks; the
    // last may end in the block that was in flight, which is cut off.
    for (int number = 1;; ++number) {
        if (!data_file_path(folder_, number, path_, sizeof path_)) {
            return walk_failed(kept_walk::unreadable, folder_);
        }
        found.last_file = number;
        // Its blocks come from the medium, not from the cache: the walk is
        // the read-back of the files kept.
        if (read_back_) forget_cached_pages(path_);
        unique_fd fd(open_for_reading(path_));
        if (!fd.valid()) break;
        file_number_ = number;
        if (!walk_kept_file(fd.get(), found)) return found;
        // A full file, or one that holds the disk's last block, is closed.
        const bool closed = blocks_in_file_ == kBlocksPerDataFile ||
                            (blocks_in_file_ > 0 && next_sector_ == sectors_);
        if (closed) {
            digests_.files.push_back({file_bytes_, file_digest_.value()});
            file_digest_.reset();
            file_number_ = number + 1;
            blocks_in_file_ = 0;
            file_bytes_ = 0;
        }
        if (!closed || found.cut || next_sector_ == sectors_) break;
    }
    return found;
}

// The blocks of one data file, from its start, as long as they read whole.
// False (with `found` saying why) when the walk cannot go on at all.
bool backup_writer::walk_kept_file(int fd, kept_blocks& found) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunkBytes]);
    block_scratch scratch;
    // The digest as it stood before each block, put back when the block
    // does not read (the file is cut there).
    digest_stream before_block;
    if (buffer == nullptr || !before_block.ready()) {
        found = walk_failed(kept_walk::unreadable, folder_);
        return false;
    }
    file_digest_.reset();
    std::uint64_t read_bytes = 0;
    file_tally tally{&file_digest_, &read_bytes};
    const byte_observer observer = tally_observer(&tally);
    blocks_in_file_ = 0;
    file_bytes_ = 0;
    for (;;) {
        const end_of_file end = at_end_of_file(fd);
        if (end == end_of_file::unknown) found = walk_failed(kept_walk::unreadable, path_);
        if (end != end_of_file::before) return end == end_of_file::at_end;
        if (!p_.running()) {
            found = walk_failed(kept_walk::stopped, "");
            return false;
        }
        char line[64];
        format_bytes_left(line, sizeof line, sectors_left() * kSectorBytes);
        p_.set_detail(line);
        p_.set_bytes_left(sectors_left() * kSectorBytes);
        const std::uint32_t count = chunk_sectors(sectors_left());
        before_block.copy_from(file_digest_);
        const std::int32_t result =
            count == 0 || blocks_in_file_ == kBlocksPerDataFile
                ? kBlockBadLength
                : read_packed_block(fd, buffer.get(), kChunkBytes, scratch, &observer);
        if (result != static_cast<std::int32_t>(count * kSectorBytes)) {
            file_digest_.copy_from(before_block);
            found.file = path_;
            found.block = blocks_in_file_ + 1;
            found.cut = true;
            found.damaged = block_follows(static_cast<std::int64_t>(file_bytes_));
            return true;
        }
        digests_.blocks.push_back(
            {result,
             digest_bytes_into(buffer.get(), static_cast<std::size_t>(result), stream_digest_)});
        found.last = {path_, static_cast<std::int64_t>(file_bytes_), next_sector_, count};
        found.kept.push_back(found.last);
        file_bytes_ = read_bytes;
        next_sector_ += count;
        ++blocks_in_file_;
    }
}

// Whether a whole block follows the block at `offset` of data file path_
// (its header read for its length). The block in flight when a run was cut
// is the last thing in its file: torn or zeros, nothing whole comes after it.
bool backup_writer::block_follows(std::int64_t offset) const {
    unique_fd fd(open_for_reading(path_));
    return fd.valid() && skip_forward(fd.get(), offset) && skip_packed_block(fd.get()) >= 0 &&
           skip_whole_packed_block(fd.get()) > 0;
}

void backup_writer::take_earlier_map(const bad_sector_map& earlier) {
    for (const sector_run& r : earlier.runs()) {
        if (r.first >= next_sector_) break;
        const std::uint64_t room = next_sector_ - r.first;
        map_.add(r.first, r.count < room ? r.count : room, r.state);
    }
    if (map_.end() < next_sector_) {
        map_.add(map_.end(), next_sector_ - map_.end(), sector_state::read);
    }
}

// Cuts data file `number` to the blocks kept in it and commits it (an
// interrupted run may have left it in a write cache). A file that keeps
// nothing is truncated when it is opened for writing.
bool backup_writer::cut_to_kept(int number) {
    std::uint64_t kept = 0;
    if (number == file_number_) {
        kept = file_bytes_;
    } else if (number >= 1 && static_cast<std::size_t>(number) <= digests_.files.size()) {
        kept = digests_.files[static_cast<std::size_t>(number) - 1].bytes;
    }
    char path[kPathCapacity + 16];
    if (kept == 0 || !data_file_path(folder_, number, path, sizeof path)) return true;
    unique_fd fd(open_to_continue(path, static_cast<std::int64_t>(kept)));
    const bool committed = fd.valid() && commit_file(fd.get());
    if (fd.reset() && committed) return true;
    fail(kCannotCommit, path);
    return false;
}

// The folder's name in its parent forced to the volume. "E:\SET\" and
// "/mnt/set" alike: the last separator ensured, then dropped, names the
// folder as a file of its parent.
bool backup_writer::sync_parent_of_folder() const {
    char folder[kPathCapacity + 16];
    if (std::snprintf(folder, sizeof folder, "%s", folder_) >= static_cast<int>(sizeof folder) ||
        ensure_trailing_separator(folder, sizeof folder) == nullptr) {
        return false;
    }
    folder[std::strlen(folder) - 1] = '\0';
    return folder[0] == '\0' || sync_folder_of(folder);
}

// The mark of a set begun and not finished, before the first file of the
// set (or again, for a set an older program began): until the digest file
// takes its name, no reader takes the set for finished.
bool backup_writer::mark_unfinished() {
    // Its name says it all: it is empty.
    if (write_side_file(folder_, kUnfinishedMarkTempName, kUnfinishedMarkName, "")) {
        return true;
    }
    tell(p_, kCannotWriteSide, kUnfinishedMarkName, folder_);
    return false;
}

bool backup_writer::start() {
    // The folder's own name in its parent (it may have just been made):
    // without it a power cut may take the whole set, finished or not.
    if (!sync_parent_of_folder()) {
        fail(kCannotCommit, folder_);
        return false;
    }
    if (!resumed_) return mark_unfinished();
    // The last two data files: the one written on and the one closed
    // before it; a partial block lies at the end of one of them.
    if (!cut_to_kept(file_number_ - 1) || !cut_to_kept(file_number_)) return false;
    // Side files an interrupted run was writing under their temporary names.
    for (const set_file& side : kSetFiles) {
        char path[kPathCapacity + 16];
        if (side.kind == set_file_kind::side_file &&
            join_path(folder_, side.temp_name, path, sizeof path))
            static_cast<void>(remove_file(path));
    }
    return mark_unfinished() && (!keeps_map_ || save_map());
}

void backup_writer::note_sectors(const bad_sector_map& chunk_map) {
    for (const sector_run& r : chunk_map.runs()) map_.add(r.first, r.count, r.state);
}

bool backup_writer::save_map(bool finished) {
    if (!keeps_map_) return true;
    // The finished map is read back; one written on the way is replaced.
    bool not_kept = false;
    const side_file_check check = finished ? side_file_read_back(&not_kept) : side_file_check{};
    if (write_bad_sector_map(folder_, map_, finished, check)) return true;
    char path[kPathCapacity + 16];
    if (not_kept && join_path(folder_, kBadSectorMapName, path, sizeof path)) {
        medium_failed(path);
    } else {
        fail(kCannotWriteMap, folder_);
    }
    return false;
}

bool backup_writer::open_data_file() {
    const double free_bytes = get_folder_free_bytes(folder_);
    if (!(free_bytes >= 1.0)) {
        fail(kNoFreeSpace, folder_);
        return false;
    }
    // Room for the whole file, headers of its blocks included, so a full
    // volume shows here and not as a write error halfway. A file an
    // interrupted run began needs room for its blocks still to come.
    const auto free_whole = static_cast<std::uint64_t>(free_bytes);
    const std::uint64_t room_in_file =
        static_cast<std::uint64_t>(kBlocksPerDataFile - blocks_in_file_) * kChunkSectors;
    const std::uint64_t left = sectors_left();
    if (free_whole < data_file_bytes_needed(left < room_in_file ? left : room_in_file)) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, free_whole);
        fail(kNotEnoughSpace, grouped);
        return false;
    }
    if (!data_file_path(folder_, file_number_, path_, sizeof path_)) {
        fail(kCannotCreate, folder_);
        return false;
    }
    // A new file is truncated on open: an older, longer file of the same
    // name must not leave blocks behind that would be read as part of this
    // set. A file an interrupted run began is cut after its last whole
    // block and written on.
    const bool created = file_bytes_ == 0;
    file_.reset(created ? open_for_writing(path_)
                        : open_to_continue(path_, static_cast<std::int64_t>(file_bytes_)));
    // A new file's name made durable before its blocks are relied on: a
    // committed block of a file without a name is lost to a resume.
    if (file_.valid() && (!created || sync_folder_of(path_))) return true;
    file_.reset();
    fail(kCannotCreate, path_);
    return false;
}

// Writes the file's last bytes to the volume and closes it: a set that looks
// complete but lost its tail in a write cache is worse than a failure.
// Then it is read back from the medium.
bool backup_writer::close_data_file() {
    const file_record closed{file_bytes_, file_digest_.value()};
    digests_.files.push_back(closed);
    file_digest_.reset();
    file_bytes_ = 0;
    blocks_in_file_ = 0;
    ++file_number_;
    const bool committed = commit_file(file_.get());
    if (!file_.reset() || !committed) {
        fail(kCannotComplete, path_);
        return false;
    }
    if (!check_file(path_, closed.bytes, closed.digest, true)) return false;
    if (read_back_ && sectors_left() > 0) p_.set_status("ディスクバックアップ中");
    return true;
}

bool backup_writer::add(const encoded_block& block, std::uint32_t count, const digest128& digest) {
    if (!file_.valid() && !open_data_file()) return false;
    file_tally tally{&file_digest_, &file_bytes_};
    const byte_observer observer = tally_observer(&tally);
    // Each block is committed before the next: after a power cut the blocks
    // of a data file are on the volume as written, up to the one in flight,
    // which a resume finds cut or damaged and drops. (Without it a file
    // system may keep the file's length but not its data.)
    const std::int32_t written = write_encoded_block(file_.get(), block, &observer);
    if (written < 0) {
        file_.reset();
        tell(p_, kWriteFailed, path_, static_cast<long long>(sectors_left()),
             static_cast<int>(written));
        return false;
    }
    if (!commit_file(file_.get())) {
        file_.reset();
        fail(kCannotComplete, path_);
        return false;
    }
    digests_.blocks.push_back({static_cast<std::int32_t>(count * kSectorBytes), digest});
    next_sector_ += count;
    std::uint64_t stored = file_bytes_;
    for (const file_record& closed : digests_.files) stored += closed.bytes;
    p_.set_bytes_stored(stored);
    if (++blocks_in_file_ < kBlocksPerDataFile) return true;
    return close_data_file() && save_map();
}

bool backup_writer::finish() {
    if (file_.valid() && !close_data_file()) return false;
    if (!save_map(true)) return false;
    if (keeps_map_) {
        const std::string text = encode_bad_sector_map(map_, true);
        digests_.sides.push_back(
            {kBadSectorMapName, text.size(), digest_bytes(text.data(), text.size())});
    }
    for (const side_text& side : extra_sides_) {
        bool side_not_kept = false;
        if (!write_side_file(folder_, side.temp_name, side.name, side.text,
                             side_file_read_back(&side_not_kept))) {
            char path[kPathCapacity + 16];
            if (side_not_kept && join_path(folder_, side.name, path, sizeof path)) {
                medium_failed(path);
            } else {
                tell(p_, kCannotWriteSide, side.name, folder_);
            }
            return false;
        }
        digests_.sides.push_back(
            {side.name, side.text.size(), digest_bytes(side.text.data(), side.text.size())});
    }
    digests_.stream_bytes = sectors_ * kSectorBytes;
    digests_.stream = stream_digest_.value();
    // The header once more: it was written first, so it lies lowest on a
    // medium filled from its start, where a card whose addresses wrap
    // around writes its last files over its first.
    if (header_known_) {
        if (!check_header()) return false;
    } else if (!digest_header_file(folder_, &digests_.header_bytes, &digests_.header)) {
        fail(kCannotWriteDigests, folder_);
        return false;
    }
    bool not_kept = false;
    char path[kPathCapacity + 16];
    if (write_set_digests(folder_, digests_, side_file_read_back(&not_kept))) {
        // The digest file says the set is finished whether the mark goes or
        // stays (a cut here leaves both); removed, its name is made durable.
        if (join_path(folder_, kUnfinishedMarkName, path, sizeof path) && remove_file(path) &&
            sync_folder_of(path)) {
            return true;
        }
        tell(p_, kCannotWriteSide, kUnfinishedMarkName, folder_);
        return false;
    }
    if (not_kept && join_path(folder_, kDigestFileName, path, sizeof path)) {
        medium_failed(path);
    } else {
        fail(kCannotWriteDigests, folder_);
    }
    return false;
}

}  // namespace kiroda
