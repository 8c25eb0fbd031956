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

// True when `mountinfo` lists `path` as a mount point (its fifth field,
// with the kernel's octal escapes of space, tab, newline and backslash).
bool listed_as_mount(const std::string& mountinfo, const std::string& path);

// Checks `path` against this process's mounts; when it is not usable,
// says why on `err`, naming it as `shown` (as the user gave it). True when
// usable.
bool mount_point_usable(std::FILE* err, const std::string& path, const std::string& shown);

}  // namespace kiroda::cli
