#include "testfs/fault_fs_mount.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace kiroda::test_support {

namespace {

bool is_mount_point(const std::string& path) {
    struct stat here {
    }, parent{};
    return ::stat(path.c_str(), &here) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

}  // namespace

fault_fs_mount::fault_fs_mount(const std::string& backing, const std::string& mount_point,
                               const std::vector<std::string>& options)
    : mount_point_(mount_point) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why_ = "/dev/fuse is not available on this machine";
        return;
    }
    std::filesystem::create_directories(mount_point);
    const bool folder = std::filesystem::is_directory(backing);
    std::vector<std::string> args = {KIRODA_FAULT_FS, backing, mount_point};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&server_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        server_ = -1;
        why_ = "kiroda_fault_fs could not be started";
        return;
    }
    for (int i = 0; i < 500 && !mounted_; ++i) {
        if (is_mount_point(mount_point) && (folder || std::filesystem::exists(image()))) {
            mounted_ = true;
            break;
        }
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            why_ = "the FUSE mount failed (no permission to mount here?)";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!mounted_) why_ = "the FUSE mount did not appear within 5 s";
}

fault_fs_mount::~fault_fs_mount() {
    if (server_ < 0) return;
    pid_t unmounter = -1;
    char* argv[] = {const_cast<char*>("fusermount3"), const_cast<char*>("-u"), mount_point_.data(),
                    nullptr};
    if (::posix_spawnp(&unmounter, "fusermount3", nullptr, nullptr, argv, environ) == 0) {
        int status = 0;
        ::waitpid(unmounter, &status, 0);
    }
    // The server ends once unmounted; if the unmount failed, end it and
    // let the kernel drop the mount with it.
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(server_, SIGTERM);
    int status = 0;
    ::waitpid(server_, &status, 0);
}

}  // namespace kiroda::test_support
