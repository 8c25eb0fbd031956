#include "engine/set_reader.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "format/set_files.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "ui/translation.h"
#include "util/number_format.h"
#include "util/path_query.h"

namespace kiroda {

namespace {

constexpr enciphered_text kIncompleteFile{
    "バックアップデータが不完全です。\n%s\nにはブロックが %d 個しかありません(%d 個必要です)。"};
constexpr enciphered_text kTooManyBlocks{
    "バックアップデータの構成が正しくありません。\n%s\nに %d 個を超えるブロックがあります。"};
constexpr enciphered_text kShortBlock{
    "バックアップデータの構成が正しくありません。\n%s\nの %d 番目のブロックが %s バイトしかありません"
    "(最後のブロック以外は 16,777,216 バイトです)。"};
constexpr enciphered_text kTooMuchData{
    "バックアップデータがヘッダファイルと合いません。\n%s\nまでのデータがヘッダファイルに記録された大きさ"
    "(%s バイト)を超えています。\n別のバックアップのヘッダファイルかもしれません。"};
constexpr enciphered_text kTrailingData{
    "バックアップデータの構成が正しくありません。\n%s\nの最後のブロックの後に余分なデータがあります。"};
constexpr enciphered_text kExtraFile{
    "最後のデータファイルの後にも\n%s\nがあります。\n"
    "このバックアップのデータではないため、使わずに続けます。"};
constexpr enciphered_text kBlockDigest{
    "バックアップファイルが壊れています。\n%s\nの %d 番目のブロックがダイジェストファイルの記録と一致しません。"};
constexpr enciphered_text kFileDigest{
    "バックアップファイルが壊れています。\n%s\nがダイジェストファイルの記録と一致しません。"};
constexpr enciphered_text kStreamDigest{
    "バックアップデータが壊れています。\nディスク全体のデータがダイジェストファイルの記録と一致しません。"};
constexpr enciphered_text kSideDigest{
    "%s がダイジェストファイルの記録と一致しないか、ありません。\n"
    "復旧するデータには使われないため、このまま続けます。"};
constexpr enciphered_text kSideDigestFails{
    "%s がダイジェストファイルの記録と一致しないか、ありません。\n"
    "バックアップのときに書かれたままではありません。"};
constexpr enciphered_text kOtherSet{"ヘッダファイルがダイジェストファイル(" KIRODA_DIGEST_FILE_NAME
                                    ")の記録と一致しません。\n"
                                    "データファイルとヘッダファイルは別のバックアップのものです。"};
constexpr enciphered_text kDigestsDamagedAt{
    "ダイジェストファイル(" KIRODA_DIGEST_FILE_NAME
    ")が壊れています(%d 行目)。\n"
    "バックアップデータが書き込まれたときのままか、確かめられません。"};
constexpr enciphered_text kDigestsUnreadable{
    "ダイジェストファイル(" KIRODA_DIGEST_FILE_NAME
    ")を読み込めません。\n"
    "バックアップデータが書き込まれたときのままか、確かめられません。"};
constexpr enciphered_text kGoOnWithoutDigests{
    "ダイジェストを使わずに続けると、ブロックのチェックサムで見つからない誤りは見逃されます。\n\n"
    "続ける: OK　　中止: キャンセル"};
constexpr enciphered_text kGoingOnWithoutDigests{"ダイジェストを使わずに続けます。"};

}  // namespace

set_reader::set_reader(progress& p, const char* folder, std::uint64_t backup_bytes,
                       const set_reader_texts& texts)
    : progress_(p), folder_(folder), backup_bytes_(backup_bytes), texts_(texts) {}

void set_reader::fail(const char* format, ...) {
    file_.close();
    std::va_list values;
    va_start(values, format);
    show_message_v(progress_.owner(), kMbOk, program_caption(), format, values);
    va_end(values);
}

bool set_reader::open(damaged_digests policy, bool look_ahead) {
    look_ahead_ = look_ahead;
    int bad_line = 0;
    digests_state_ = read_set_digests(folder_, &digests_, &bad_line);
    if (digests_state_ == digests_read::unreadable) {
        return go_past_damaged_digests(policy, bad_line) && check_ahead();
    }
    if (digests_state_ != digests_read::read) return check_ahead();
    if (!file_digest_.ready() || !stream_digest_.ready()) {
        // Without hash state the digests cannot be used; the structure
        // checks still run.
        digests_state_ = digests_read::absent;
        return check_ahead();
    }
    std::uint64_t header_bytes = 0;
    digest128 header;
    if (!digest_header_file(folder_, &header_bytes, &header) ||
        header_bytes != digests_.header_bytes || header != digests_.header ||
        digests_.stream_bytes != backup_bytes_) {
        fail(get_stored_text(kOtherSet));
        return false;
    }
    return check_ahead();
}

// The digest file is there but does not read: the reason (the line at
// fault where it was read at all), then what the policy does with it.
bool set_reader::go_past_damaged_digests(damaged_digests policy, int bad_line) {
    char reason[512];
    if (bad_line > 0) {
        std::snprintf(reason, sizeof reason, localized(get_stored_text(kDigestsDamagedAt)),
                      bad_line);
    } else {
        std::snprintf(reason, sizeof reason, "%s", localized(get_stored_text(kDigestsUnreadable)));
    }
    const window_handle owner = progress_.owner();
    switch (policy) {
        case damaged_digests::refuse:
            say_plain(owner, kMbOk, "%s", reason);
            return false;
        case damaged_digests::ask:
            return say_plain(owner, kMbOkCancel, "%s\n\n%s", reason,
                             localized(get_stored_text(kGoOnWithoutDigests))) == kIdOk;
        case damaged_digests::go_on:
            say_plain(owner, kMbOk, "%s\n%s", reason,
                      localized(get_stored_text(kGoingOnWithoutDigests)));
            return true;
    }
    return false;
}

// The blocks data file `number` holds in a whole set: 60, or what is left
// for the last.
int set_reader::blocks_needed_in(int number) const {
    const std::uint64_t blocks = (backup_bytes_ + kChunkBytes - 1) / kChunkBytes;
    const auto before = static_cast<std::uint64_t>(number - 1) * kBlocksPerDataFile;
    const std::uint64_t left = blocks > before ? blocks - before : 0;
    return static_cast<int>(left < kBlocksPerDataFile ? left : kBlocksPerDataFile);
}

bool set_reader::open_next_file() {
    ++file_number_;
    blocks_in_file_ = 0;
    begun_in_file_ = 0;
    file_bytes_ = 0;
    file_digest_.reset();
    if (!data_file_path(folder_, file_number_, path_, sizeof path_)) {
        // A folder too long for a file name: no medium swap can mend it.
        say_plain(progress_.owner(), kMbOk, texts_.bad_block(), folder_, -1L);
        return false;
    }
    for (;;) {
        if (file_.open(path_, from_medium_)) return true;
        if (say_plain(progress_.owner(), kMbOkCancel, texts_.missing_file(), path_) != kIdOk) {
            return false;
        }
    }
}

// The file has been read to its end: it must hold 60 blocks unless it is
// the last, and match its recorded digest.
bool set_reader::file_ended() {
    if (blocks_in_file_ < kBlocksPerDataFile && bytes_read_ < backup_bytes_) {
        fail(get_stored_text(kIncompleteFile), path_, blocks_in_file_,
             blocks_needed_in(file_number_));
        return false;
    }
    if (has_digests()) {
        const auto index = static_cast<std::size_t>(file_number_ - 1);
        if (index >= digests_.files.size() || digests_.files[index].bytes != file_bytes_ ||
            digests_.files[index].digest != file_digest_.value()) {
            fail(get_stored_text(kFileDigest), path_);
            return false;
        }
    }
    file_.close();
    return true;
}

bool set_reader::check_block(std::int32_t count, const digest128& digest) {
    const auto bytes = static_cast<std::uint64_t>(count);
    if (bytes > backup_bytes_ - bytes_read_) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, backup_bytes_);
        fail(get_stored_text(kTooMuchData), path_, grouped);
        return false;
    }
    if (count != kChunkBytes && bytes_read_ + bytes < backup_bytes_) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, bytes);
        fail(get_stored_text(kShortBlock), path_, blocks_in_file_, grouped);
        return false;
    }
    if (wants_digest()) last_digest_ = digest;
    if (has_digests()) {
        const auto index = static_cast<std::size_t>(blocks_read_ - 1);
        if (index >= digests_.blocks.size() || digests_.blocks[index].bytes != count ||
            digests_.blocks[index].digest != last_digest_) {
            fail(get_stored_text(kBlockDigest), path_, blocks_in_file_);
            return false;
        }
    }
    return true;
}

bool set_reader::begin_block(pending_block& b) {
    if (!file_.valid() && !open_next_file()) return false;
    b.index = blocks_begun_++;
    b.too_many = begun_in_file_ == kBlocksPerDataFile;
    b.at_end = end_of_file::before;
    b.checked = 0;
    ahead_blocked_ = true;
    if (b.too_many) return true;
    ++begun_in_file_;
    // The code's buffer at its largest from the start: growing it block by
    // block would hand fresh, unfaulted pages to every larger payload.
    b.scratch.get(kChunkBytes);
    // Every byte read from the file goes into its digest, in file order.
    const byte_observer observer{[](void* context, const void* data, std::size_t size) {
                                     auto* reader = static_cast<set_reader*>(context);
                                     reader->file_digest_.add(data, size);
                                     reader->file_bytes_ += size;
                                 },
                                 this};
    b.read_result = read_block_bytes(file_.source(), b.buffer, kChunkBytes, b.scratch,
                                     has_digests() ? &observer : nullptr, &b.read);
    if (b.read_result < 0) return true;
    bytes_begun_ += static_cast<std::uint64_t>(b.read.unpacked);
    // Whether the file ends after it: asked where next_block() asks it
    // (before the last block of the set, of a block that is whole).
    if (b.read.unpacked > 0 && bytes_begun_ < backup_bytes_) b.at_end = file_.at_end();
    ahead_blocked_ = b.at_end != end_of_file::before || bytes_begun_ >= backup_bytes_;
    return true;
}

bool set_reader::may_read_ahead() const {
    return file_.valid() && !ahead_blocked_;
}

void set_reader::check(pending_block& b, const std::function<void(std::uint64_t)>& wait_turn,
                       const std::function<void()>& end_turn) {
    b.checked = b.too_many || b.read_result < 0 ? b.read_result
                                                : check_block_bytes(b.read, b.buffer, kChunkBytes);
    // A pass over 16 MiB: only when something compares with it. With a
    // digest file the same pass feeds the stream's digest (its value no
    // longer matters once a block fails).
    const bool whole = b.checked > 0 && b.checked % 512 == 0;
    if (whole && keep_block_digests_ && !has_digests()) {
        b.digest = digest_bytes(b.buffer, static_cast<std::size_t>(b.checked));
    }
    wait_turn(b.index);
    if (whole && has_digests()) {
        b.digest = digest_bytes_into(b.buffer, static_cast<std::size_t>(b.checked), stream_digest_);
    }
    end_turn();
}

std::int64_t set_reader::end_block(pending_block& b) {
    if (b.too_many) {
        fail(get_stored_text(kTooManyBlocks), path_, kBlocksPerDataFile);
        return -1;
    }
    const std::int32_t count = b.checked;
    if (count < 0 || count % 512 != 0) {
        // In set order: the blocks before it are all ended, its file's too.
        progress_.block_damaged({file_number_, blocks_in_file_ + 1, bytes_read_ / 512, count});
        fail(texts_.bad_block(), path_, static_cast<long>(count));
        return -1;
    }
    if (count == 0) {
        fail(texts_.empty_block(), path_);
        return -1;
    }
    ++blocks_in_file_;
    ++blocks_read_;
    if (!check_block(count, b.digest)) return -1;
    bytes_read_ += static_cast<std::uint64_t>(count);
    // A file read to its end is done now; the next block opens the next
    // number. The last block's file is finished by finish().
    if (bytes_read_ < backup_bytes_ && b.at_end != end_of_file::before && !file_ended()) return -1;
    return count;
}

std::int64_t set_reader::next_block(unsigned char* buffer) {
    pending_block& b = next_;
    b.buffer = buffer;
    if (!begin_block(b)) return -1;
    check(
        b, [](std::uint64_t) {}, [] {});
    return end_block(b);
}

bool set_reader::check_sides() {
    for (const side_record& side : digests_.sides) {
        if (side_file_matches(folder_, side)) continue;
        if (sides_must_match_) {
            fail(get_stored_text(kSideDigestFails), side.name.c_str());
            return false;
        }
        tell(progress_, kSideDigest, side.name.c_str());
    }
    return true;
}

bool set_reader::finish() {
    if (file_.valid()) {
        if (file_.at_end() != end_of_file::at_end) {
            fail(get_stored_text(kTrailingData), path_);
            return false;
        }
        if (!file_ended()) return false;
    }
    if (!extra_file_checked_ && !warn_of_unread_files()) return false;
    if (has_digests() && stream_digest_.value() != digests_.stream) {
        fail(get_stored_text(kStreamDigest));
        return false;
    }
    return true;
}

// Files the walk never reads — a data file after the last, a side file that
// is missing or changed (the map of a rescue: one spread over several media
// keeps it on the first) — change no byte that is restored: each is named,
// and the walk goes on.
bool set_reader::warn_of_unread_files() {
    extra_file_checked_ = true;
    const std::uint64_t chunks = (backup_bytes_ + kChunkBytes - 1) / kChunkBytes;
    const auto last = static_cast<int>((chunks + kBlocksPerDataFile - 1) / kBlocksPerDataFile);
    // Every data file name past the set's last, after a gap as well.
    std::vector<int> strays;
    for (const std::string& name : names_in_folder(folder_)) {
        if (!is_data_file_name(name.c_str())) continue;
        const int number = std::atoi(name.c_str() + 3);
        if (number > last) strays.push_back(number);
    }
    std::sort(strays.begin(), strays.end());
    for (const int number : strays) {
        char stray[kPathCapacity + 16];
        if (data_file_path(folder_, number, stray, sizeof stray))
            tell(progress_, kExtraFile, stray);
    }
    return !has_digests() || check_sides();
}

// Before the first block: the set's shape from its block headers, stepped
// over (payloads are not read), as far as its data files are at hand. What
// would fail the walk after hours of writing fails here, before anything is
// written: a file short of 60 blocks, a block that is not a whole chunk, more
// data than the header holds, bytes after the last block. A file that is
// not there (on another medium) ends the look; the walk asks for it.
bool set_reader::check_ahead() {
    std::uint64_t total = 0;
    blocks_at_hand_.clear();
    if (!look_ahead_) return true;
    for (int number = 1; total < backup_bytes_; ++number) {
        char path[kPathCapacity + 16];
        if (!data_file_path(folder_, number, path, sizeof path)) break;
        unique_fd fd(open_for_reading(path));
        // Not at hand (on another medium) or not to be opened now: the walk
        // asks for it when it gets there.
        if (!fd.valid()) break;
        std::snprintf(path_, sizeof path_, "%s", path);
        if (!step_over_file(fd.get(), number, &total)) return false;
    }
    path_[0] = '\0';
    return warn_of_unread_files();
}

// Steps over the blocks of data file `number` (at path_), adding their
// lengths to `total` and their places to the blocks at hand. False after a message.
bool set_reader::step_over_file(int fd, int number, std::uint64_t* total) {
    int blocks = 0;
    for (;;) {
        const end_of_file end = at_end_of_file(fd);
        if (end == end_of_file::unknown) {
            fail(texts_.bad_block(), path_, -1L);
            return false;
        }
        if (end == end_of_file::at_end) break;
        if (*total >= backup_bytes_) {
            fail(get_stored_text(kTrailingData), path_);
            return false;
        }
        if (blocks == kBlocksPerDataFile) {
            fail(get_stored_text(kTooManyBlocks), path_, kBlocksPerDataFile);
            return false;
        }
        const std::int64_t offset = file_position(fd);
        const std::int32_t count = offset < 0 ? kBlockHeaderShort : skip_packed_block(fd);
        if (count < 0 || count % 512 != 0) {
            progress_.block_damaged({number, blocks + 1, *total / 512, count});
            fail(texts_.bad_block(), path_, static_cast<long>(count));
            return false;
        }
        if (count == 0) {
            fail(texts_.empty_block(), path_);
            return false;
        }
        ++blocks;
        const auto bytes = static_cast<std::uint64_t>(count);
        if (bytes > backup_bytes_ - *total) {
            char grouped[kGroupedTextSize];
            format_uint64_grouped(grouped, backup_bytes_);
            fail(get_stored_text(kTooMuchData), path_, grouped);
            return false;
        }
        if (count != kChunkBytes && *total + bytes < backup_bytes_) {
            char grouped[kGroupedTextSize];
            format_uint64_grouped(grouped, bytes);
            fail(get_stored_text(kShortBlock), path_, blocks, grouped);
            return false;
        }
        *total += bytes;
        blocks_at_hand_.push_back(block_location{number, offset, count});
    }
    if (blocks < kBlocksPerDataFile && *total < backup_bytes_) {
        fail(get_stored_text(kIncompleteFile), path_, blocks, blocks_needed_in(number));
        return false;
    }
    return true;
}

}  // namespace kiroda
