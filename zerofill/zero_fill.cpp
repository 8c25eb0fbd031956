#include "zerofill/zero_fill.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "ui/stored_text.h"
#include "util/number_format.h"
#include "zerofill/zero_fill_texts.h"

namespace kiroda {

const char kNullpassCaption[] = "KIRODA(NULLPASS) Jun 10 2017";

namespace {

// Zeros for every write; in zero-initialised static storage, so it costs no
// stack, no allocation that could fail, and no bytes in the executable. Only
// ever read, so concurrent fills could share it.
char g_zeros[kZeroFillChunkLimit];

constexpr std::int64_t kDisplayMegabyte = 1000000;

bool is_fat(int kind) {
    return kind == kFileSystemFat || kind == kFileSystemFat32;
}

class stream_holder {
  public:
    stream_holder() = default;
    stream_holder(const stream_holder&) = delete;
    stream_holder& operator=(const stream_holder&) = delete;
    ~stream_holder() { close(); }
    void reset(std::FILE* f) {
        close();
        file_ = f;
    }
    std::FILE* get() const { return file_; }
    // Flushes and closes; false when either reported an error.
    bool close() {
        if (file_ == nullptr) return true;
        const bool flushed = std::fflush(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return flushed && closed;
    }

  private:
    std::FILE* file_ = nullptr;
};

// One run over one volume: what it has made, so it can remove exactly that.
class fill_run {
  public:
    fill_run(char letter, const std::string& root, zero_fill_volume& volume,
             zero_fill_screen& screen, const zero_fill_limits& limits)
        : letter_(letter), root_(root), volume_(volume), screen_(screen), limits_(limits) {}

    outcome run();

  private:
    int prepare_folder();
    bool open_next_file();
    void show_left(std::int64_t free, const char* format);
    outcome close_and_clean(outcome result_if_clean);
    int remove_zero_files();
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    int
    message(const char* format, ...);

    const char letter_;
    const std::string& root_;
    zero_fill_volume& volume_;
    zero_fill_screen& screen_;
    const zero_fill_limits& limits_;
    int kind_ = kFileSystemOther;
    bool folder_made_ = false;
    int files_made_ = 0;
    stream_holder stream_;
};

int fill_run::message(const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    const int answer = show_message_v(screen_.owner(), kMbOk, kNullpassCaption, format, values);
    va_end(values);
    return answer;
}

void fill_run::show_left(std::int64_t free, const char* format) {
    char grouped[kGroupedTextSize];
    format_int64_grouped(grouped, (free - limits_.margin) / kDisplayMegabyte);
    char text[96];
    std::snprintf(text, sizeof text, format, grouped);
    screen_.set_detail(text);
}

int fill_run::prepare_folder() {
    if (!is_fat(kind_)) return 0;
    const std::string folder = zero_temp_folder(root_);
    if (volume_.is_folder(folder.c_str())) return 0;  // an existing folder is used as it is
    if (!volume_.make_folder(folder.c_str())) {
        message("一時ファイル保管用フォルダの作成に失敗しました。\n[%s]", folder.c_str());
        return -1;
    }
    folder_made_ = true;
    return 0;
}

bool fill_run::open_next_file() {
    const std::string path = zero_file_path(root_, kind_, files_made_);
    std::FILE* file = volume_.create_new_file(path.c_str());
    if (file == nullptr) {
        message("一時ファイル「%s」の作成に失敗しました。", path.c_str());
        return false;
    }
    stream_.reset(file);
    ++files_made_;
    return true;
}

outcome fill_run::run() {
    char status[64];
    std::snprintf(status, sizeof status, "%c: ドライブにゼロを書込中", letter_);
    screen_.set_status(status);
    if (!screen_.running()) return kZeroFillStopped;

    kind_ = volume_.query_file_system_kind();
    if (kind_ <= 0) {
        message(
            "ファイルシステムが異常です。\n本プログラムは、NTFS,FAT,FAT32 のみ対応です。\n"
            "ファイルシステム = %s  (%s)",
            volume_.file_system_name(), root_.c_str());
        return kZeroFillFailed;
    }
    if (prepare_folder() != 0) return kZeroFillFailed;
    if (!open_next_file()) return close_and_clean(kZeroFillFailed);

    std::int64_t in_file = 0;
    const std::int64_t chunk_limit = std::min(limits_.chunk, kZeroFillChunkLimit);
    for (;;) {
        const std::int64_t free = volume_.free_bytes();
        // A failed query is not a full volume: the fill did not finish.
        if (free < 0) return close_and_clean(kZeroFillFailed);
        if (free <= limits_.margin) return close_and_clean(kZeroFillFinished);
        if (!screen_.running()) return close_and_clean(kZeroFillStopped);

        if (is_fat(kind_) && in_file > limits_.file_size_cap) {
            in_file = 0;
            show_left(free, "残り %s (MB,バッファ書込中)");
            if (!stream_.close()) {
                screen_.set_detail("バッファ書込中。(Write False)");
                return close_and_clean(kZeroFillFailed);
            }
            if (!screen_.running()) return close_and_clean(kZeroFillStopped);
            if (!open_next_file()) return close_and_clean(kZeroFillFailed);
        }

        show_left(free, "残り %s (MB)");
        const auto chunk = static_cast<std::size_t>(std::min(free - limits_.margin, chunk_limit));
        const std::size_t written = volume_.write_chunk(stream_.get(), g_zeros, chunk);
        if (written < chunk) {
            screen_.set_detail("バッファ書込中。(Write False)");
            return close_and_clean(kZeroFillFailed);
        }
        in_file += static_cast<std::int64_t>(written);
    }
}

// Closes the open file and removes every file and the folder this run made.
// A clean-up that leaves something behind turns any outcome into a failure.
outcome fill_run::close_and_clean(outcome result_if_clean) {
    if (stream_.get() != nullptr) {
        screen_.set_detail("バッファ書込中。お待ち下さい。");
        stream_.close();
    }
    screen_.set_detail("ファイル削除中。お待ち下さい。");
    return remove_zero_files() == 0 ? result_if_clean : kZeroFillFailed;
}

// 0 when everything this run made is gone; the count of files that could not
// be deleted; or -1 when the folder could not be removed.
int fill_run::remove_zero_files() {
    if (!is_fat(kind_)) {
        if (files_made_ == 0) return 0;
        const std::string path = zero_file_path(root_, kind_, 0);
        if (volume_.remove_file(path.c_str())) return 0;
        message(get_stored_text(zero_fill_texts::kFileNotDeleted), path.c_str());
        return 1;
    }
    int failed = 0;
    for (int i = 0; i < files_made_; ++i) {
        if (!volume_.remove_file(zero_file_path(root_, kind_, i).c_str())) ++failed;
    }
    if (failed > 0) {
        message(get_stored_text(zero_fill_texts::kFilesNotDeleted), letter_, failed);
        return failed;
    }
    if (folder_made_ && !volume_.remove_folder(zero_temp_folder(root_).c_str())) {
        message(get_stored_text(zero_fill_texts::kFolderNotRemoved), letter_);
        return -1;
    }
    return 0;
}

}  // namespace

std::string zero_temp_folder(const std::string& root) {
    return root + "ZEROTEMP";
}

std::string zero_file_path(const std::string& root, int file_system_kind, int index) {
    char name[24];
    std::snprintf(name, sizeof name, "Z_%6.6d.TMP", index);
    if (!is_fat(file_system_kind)) return root + name;
    // The root ends in this platform's separator ("E:\"); use the same one.
    const char separator = root.empty() ? '\\' : root.back();
    return zero_temp_folder(root) + separator + name;
}

outcome zero_fill_drive(char letter, const std::string& root, zero_fill_volume& volume,
                        zero_fill_screen& screen, const zero_fill_limits& limits) {
    fill_run run(letter, root, volume, screen, limits);
    return run.run();
}

}  // namespace kiroda
