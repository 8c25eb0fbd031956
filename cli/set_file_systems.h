// A backup set opened for its files: the set checked and indexed
// (engine/set_image.h) and its disk handed to The Sleuth Kit through a reader
// over it (cli/file_system_view.h). Every block a read touches is checked
// before its bytes are used; the last block that failed is kept, so a
// command can name it.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/file_system_view.h"
#include "engine/set_image.h"

namespace kiroda::cli {

class set_file_systems {
  public:
    // Opens the set in `folder`; false after a message on `err`.
    bool open(const std::string& folder, std::FILE* err);

    set_image& image() { return *image_; }
    disk_file_systems& disk() { return *disk_; }
    const std::string& folder() const { return folder_; }

    // The last block that failed a read, if any; taken (cleared) here.
    std::optional<block_failure> take_failure();
    // "12 番目のブロック (KRD00001.BIN): <reason>".
    static std::string describe(const block_failure& f);

  private:
    std::string folder_;
    std::unique_ptr<set_image> image_;
    std::unique_ptr<disk_file_systems> disk_;
    std::mutex mutex_;
    std::optional<block_failure> failure_;
};

// PART[:PATH] of the command line: partition number and path ("" the root).
// False when it is not of that form.
bool parse_partition_path(const std::string& text, int* part, std::string* path);

// The file system of partition `number` of `set`, or null after a message.
partition_file_system* open_partition(set_file_systems& set, int number, std::FILE* err);

}  // namespace kiroda::cli
