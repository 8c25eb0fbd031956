// For test programs: a volume made of a temporary folder with a capacity of
// its own, so a fill ends after a few chunks instead of filling the disk, and
// a screen that records what the fill shows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "zerofill/zero_fill.h"

namespace kiroda::test_support {

class capped_volume : public zero_fill_volume {
  public:
    capped_volume(std::filesystem::path folder, std::int64_t capacity, int kind = kFileSystemNtfs,
                  std::string name = "NTFS")
        : folder_(std::move(folder)), capacity_(capacity), kind_(kind), name_(std::move(name)) {}

    // Free space: the capacity less every file under the folder.
    std::int64_t free_bytes() override {
        ++free_queries;
        if (free_query_fails_at == free_queries) return -1;
        std::int64_t used = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_, error)) {
            if (entry.is_regular_file()) used += static_cast<std::int64_t>(entry.file_size());
        }
        return capacity_ - used;
    }
    int query_file_system_kind() override { return kind_; }
    const char* file_system_name() const override { return name_.c_str(); }

    std::FILE* create_new_file(const char* path) override {
        if (create_fails_at == static_cast<int>(created.size())) return nullptr;
        std::FILE* file = zero_fill_volume::create_new_file(path);
        if (file != nullptr) created.emplace_back(path);
        return file;
    }
    std::size_t write_chunk(std::FILE* file, const char* bytes, std::size_t size) override {
        chunks.push_back(static_cast<std::int64_t>(size));
        if (write_budget < 0) return zero_fill_volume::write_chunk(file, bytes, size);
        // The volume fills up sooner than it said: only the budget is written.
        const auto n = std::min<std::int64_t>(write_budget, static_cast<std::int64_t>(size));
        write_budget -= n;
        return zero_fill_volume::write_chunk(file, bytes, static_cast<std::size_t>(n));
    }
    bool remove_file(const char* path) override {
        if (undeletable.count(path) != 0) return false;
        return zero_fill_volume::remove_file(path);
    }
    bool remove_folder(const char* path) override {
        if (folder_stays) return false;
        return zero_fill_volume::remove_folder(path);
    }

    // The root the fill is given: the folder with a trailing separator.
    std::string root() const {
        std::string r = folder_.string();
        r += static_cast<char>(std::filesystem::path::preferred_separator);
        return r;
    }

    // Fault injection and records.
    int free_queries = 0;
    int free_query_fails_at = -1;  // that query (1 = the first) fails
    int create_fails_at = -1;      // creating the file with that index fails
    std::int64_t write_budget = -1;
    std::set<std::string> undeletable;
    bool folder_stays = false;
    std::vector<std::string> created;
    std::vector<std::int64_t> chunks;

  private:
    std::filesystem::path folder_;
    std::int64_t capacity_;
    int kind_;
    std::string name_;
};

// Records the lines; asks to stop once `stop_after_details` detail lines
// have been shown (or at once when it is 0).
class recording_screen : public zero_fill_screen {
  public:
    void set_status(const char* text) override { statuses.emplace_back(text); }
    void set_detail(const char* text) override {
        details.emplace_back(text);
        if (stop_after_details >= 0 && static_cast<int>(details.size()) >= stop_after_details) {
            stopped = true;
        }
    }
    window_handle owner() const override { return nullptr; }
    bool running() const override { return !stopped && stop_after_details != 0; }

    int stop_after_details = -1;
    bool stopped = false;
    std::vector<std::string> statuses;
    std::vector<std::string> details;
};

// Every entry left in `folder`, as names relative to it.
inline std::vector<std::string> entries_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        names.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kiroda::test_support
