// Whether a folder may take krdtool mount's view of a set. FUSE mounts
// onto whatever it is given: onto a mount it stacks a second one, and a
// folder's files it hides until the unmount, without a word. So the mount
// point must be there, be a folder, be empty and be no mount already.
#pragma once

#include <cstdio>
#include <string>

namespace kiroda::cli {

enum class mount_point_state { usable, missing, not_folder, not_empty, mounted, unreadable };

struct mount_point_check {
    mount_point_state state = mount_point_state::usable;
    int error = 0;  // the system's reason, for unreadable
};

// `path` (absolute) judged, with `mountinfo` the text of
// /proc/self/mountinfo.
mount_point_check check_mount_point(const std::string& path, const std::string& mountinfo);

// The device ("major:minor", its third field) of the mount `mountinfo`
// lists at `path` (its fifth field, with the kernel's octal escapes of
// space, tab, newline and backslash undone); "" when none is listed there.
std::string listed_mount_device(const std::string& mountinfo, const std::string& path);
bool listed_as_mount(const std::string& mountinfo, const std::string& path);

// Checks `path` against this process's mounts; when it is not usable,
// says why on `err`, naming it as `shown` (as the user gave it). True when
// usable.
bool mount_point_usable(std::FILE* err, const std::string& path, const std::string& shown);

// Sets the kernel's read-ahead of the FUSE mount at `path` to `kib` KiB,
// where this process may (its backing device's read_ahead_kb in sysfs, which
// only root may write; the mount's own, gone with it). The kernel's default
// of 128 KiB cuts a large read into requests of that size, each a round
// trip to the server. False when it was not set.
bool widen_read_ahead(const std::string& path, unsigned kib);

}  // namespace kiroda::cli
