// krdtool's checks around a backup: the wizard's source rules (with --force
// for a partition layout it does not know), a source still mounted for
// writing, and a folder that holds an earlier, unfinished set.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/disk_survey.h"
#include "engine/gpt_layout.h"

namespace kiroda::cli {

// Applies the wizard's source rules to `record`, with krdtool's own beside
// them: logical sectors of 512 or 4,096 bytes, and a GPT whose headers and
// arrays hold (`gpt`, engine/gpt_layout.h) taken as it is. Another sector
// size or another kind of media always refuses; a partition layout refused
// (a damaged GPT, a hybrid MBR, no MBR signature, no partition) refuses
// unless `force`, and then only warns. An unreadable sector 0 refuses unless
// both `rescue` and `force` (it is then a lost sector of the rescue). False
// after a message.
[[nodiscard]] bool source_acceptable(const disk_record& record, const gpt_layout& gpt,
                                     const std::string& source, bool force, bool rescue,
                                     std::FILE* err);

// True when a file system on `source` (a partition of it, or anything
// stacked on it, an image behind a loop device included) is mounted for
// writing: a copy taken meanwhile may be inconsistent.
// Where a file system on `path` (as above, read-only mounts too unless
// `writable_only`) is mounted: its mount point, "" when none is.
std::string mounted_at(const std::string& path, bool writable_only,
                       const std::string& mountinfo = "/proc/self/mountinfo",
                       const std::string& sys_root = "/sys");

bool mounted_writable(const std::string& source,
                      const std::string& mountinfo = "/proc/self/mountinfo",
                      const std::string& sys_root = "/sys");

// The files of a set in `folder`: KRD?????.BIN, the program copy and the
// set's side files. Anything else in the folder goes to `others`.
std::vector<std::string> set_files_in(const std::string& folder, std::vector<std::string>* others);

// True when `folder` holds a set that was finished: it has a digest file,
// or its blocks (read from their headers) add up to its header's byte count.
bool holds_finished_set(const std::string& folder);

// Whether an unfinished set's files may be removed from `folder` so a backup
// can start again: not when anything else is there, or when the set there
// was finished (that is somebody's backup). The files go to `files`; nothing
// is removed. False after a message.
[[nodiscard]] bool may_empty_set_folder(const std::string& folder, std::vector<std::string>* files,
                                        std::FILE* err);

// Removes `files` (from may_empty_set_folder) from `folder` and says how
// many went. False after a message, at the first that cannot be removed.
[[nodiscard]] bool remove_set_files(const std::string& folder,
                                    const std::vector<std::string>& files, std::FILE* err);

}  // namespace kiroda::cli
