// A restore target that holds anything (partitions, a file system, bytes
// that are not zero) is written over only on purpose: with --force, and then
// on a terminal after the user typed the device's name, or without one with
// --yes as well. What is mounted is never written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/restore_target.h"

namespace kiroda::cli {

// What the target holds in words ("パーテーション 2 個 (…)", "ext4 のファイルシステム",
// "0 でないデータ"), joined by "、"; "" when it holds nothing that was seen.
std::string describe_holdings(const target_check& check, bool nonzero_data);

// True when the first MiB of `path` (a device: all of it would take hours)
// holds a byte that is not zero, or cannot be read.
bool starts_with_data(const std::string& path);

struct overwrite_request {
    std::string target;
    std::string holds;        // describe_holdings(): not empty
    std::string identity;     // model, serial (describe_identity), may be empty
    std::uint64_t bytes = 0;  // the target's size
    bool force = false;
    bool yes = false;
    bool dry_run = false;  // the plan is shown: refused as the run would be, never asked
};

// The refusal (what was found, the options) without --force, the question
// on a terminal, --yes without one. True when the target may be written.
[[nodiscard]] bool agree_to_overwrite(const overwrite_request& request, std::FILE* err);

// The user typed `typed` for `target`: its path or its name in /dev.
bool names_the_device(const std::string& typed, const std::string& target);

}  // namespace kiroda::cli
