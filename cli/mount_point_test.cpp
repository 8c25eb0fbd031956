#include "cli/mount_point.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "cli/capture_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;

// A line of /proc/self/mountinfo with `point` (escaped) as its mount point.
std::string mount_line(const std::string& point) {
    return "36 35 98:0 / " + point + " rw,noatime master:1 - ext4 /dev/root rw\n";
}

TEST(MountPoint, OnlyAnEmptyFolderThatIsNoMountIsUsable) {
    const struct {
        const char* what;
        std::function<void(const std::string&)> make;
        bool listed;  // in the mountinfo given
        mount_point_state state;
        const char* words;
    } cases[] = {
        {"an empty folder", [](const std::string& p) { fs::create_directory(p); }, false,
         mount_point_state::usable, ""},
        {"nothing there", [](const std::string&) {}, false, mount_point_state::missing,
         "マウント先のフォルダがありません"},
        {"a regular file",
         [](const std::string& p) {
             kiroda::test_support::write_file(p, {1, 2, 3});
         },
         false, mount_point_state::not_folder, "マウント先がフォルダではありません"},
        {"a folder holding a file",
         [](const std::string& p) {
             fs::create_directory(p);
             kiroda::test_support::write_file(p + "/kept.txt", {1});
         },
         false, mount_point_state::not_empty, "マウント先のフォルダが空ではありません"},
        {"a mount already", [](const std::string& p) { fs::create_directory(p); }, true,
         mount_point_state::mounted, "マウント先はすでにマウントされています"},
        {"a mount whose folder does not show (its server gone)", [](const std::string&) {}, true,
         mount_point_state::mounted, ""},
    };
    for (const auto& c : cases) {
        temp_folder dir;
        const std::string path = dir.file("mnt");
        c.make(path);
        const std::string mountinfo = mount_line("/") + (c.listed ? mount_line(path) : "");
        EXPECT_EQ(check_mount_point(path, mountinfo).state, c.state) << c.what;
        if (c.state == mount_point_state::mounted) continue;  // this process's mounts differ
        test_support::captured_stream err;
        EXPECT_EQ(mount_point_usable(err.get(), path, "shown"),
                  c.state == mount_point_state::usable)
            << c.what;
        EXPECT_NE(err.text().find(c.words), std::string::npos) << c.what << ": " << err.text();
    }
    EXPECT_EQ(check_mount_point("/proc", mount_line("/proc")).state, mount_point_state::mounted);
}

TEST(MountPoint, MountinfoPathsAreUnescaped) {
    const std::string info = mount_line("/") + mount_line("/mnt/a\\040b\\011c\\134d") +
                             "36 35 98:0 / /short\n" + "garbage\n";
    EXPECT_TRUE(listed_as_mount(info, "/mnt/a b\tc\\d"));
    EXPECT_EQ(listed_mount_device(info, "/short"), "98:0");
    EXPECT_TRUE(listed_as_mount(info, "/short"));
    EXPECT_FALSE(listed_as_mount(info, "/mnt/a\\040b\\011c\\134d"));
    EXPECT_FALSE(listed_as_mount(info, "/mnt"));
    EXPECT_FALSE(listed_as_mount(info, "garbage"));
}

}  // namespace
}  // namespace kiroda::cli
