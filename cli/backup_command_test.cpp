// krdtool itself, killed in the middle of a backup (Ctrl-C or SIGKILL, as
// a pulled plug would leave it), and then told to go on with --resume.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/set_commands.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::fill_random;
using kiroda::test_support::make_disk_image;
using kiroda::test_support::make_mbr_one_partition;
using kiroda::test_support::read_file;
using kiroda::test_support::same_file;
using kiroda::test_support::temp_folder;

constexpr std::uint64_t kSectors = 512 * 1024;  // 256 MiB

// krdtool started with `args`, output to /dev/null; its process id.
pid_t start_krdtool(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(KRDTOOL_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KRDTOOL_PATH, argv.data());
        ::_exit(127);
    }
    return pid;
}

std::uintmax_t size_or_zero(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Freezes the process once `path` holds `bytes`, so the test knows the
// backup is cut short wherever the signal then finds it. False when the
// process ended first.
bool freeze_when_written(pid_t pid, const std::string& path, std::uintmax_t bytes) {
    for (int i = 0; i < 60000; ++i) {
        if (size_or_zero(path) >= bytes) return ::kill(pid, SIGSTOP) == 0;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

int run_in_process(command_function f, const std::vector<std::string>& args) {
    return test_support::run_command(f, args).status;
}

TEST(BackupCommand, AKilledBackupGoesOnWithResumeToTheOneRunSet) {
    temp_folder dir;
    const std::string disk = dir.file("disk.img");
    make_disk_image(disk, kSectors, make_mbr_one_partition(2048, kSectors - 2048));
    {
        // A third of the disk random, so the set has bulk and the run takes a moment.
        std::vector<unsigned char> noise(1 << 20);
        const int fd = ::open(disk.c_str(), O_WRONLY);
        for (std::uint64_t mb = 1; mb < kSectors / 2048; mb += 3) {
            fill_random(noise.data(), noise.size(), mb);
            ASSERT_EQ(::pwrite(fd, noise.data(), noise.size(), static_cast<off_t>(mb << 20)),
                      static_cast<ssize_t>(noise.size()));
        }
        ::close(fd);
    }
    const std::string whole = dir.file("whole");
    ASSERT_EQ(run_in_process(run_backup_command, {disk, whole}), kExitDone);

    const struct {
        const char* what;
        int signal;
        std::uintmax_t at_bytes;   // the data file's size when the signal comes
        bool kill_the_resume_too;  // and the first --resume is killed as well
    } cases[] = {
        {"Ctrl-C", SIGINT, 8 << 20, false},
        {"SIGKILL", SIGKILL, 8 << 20, false},
        {"SIGKILL, and SIGKILL of the resume", SIGKILL, 4 << 20, true},
    };
    for (const auto& c : cases) {
        const std::string set = dir.file(std::string("set-") + std::to_string(&c - cases));
        const std::string data = set + "/KRD00001.BIN";
        pid_t pid = start_krdtool({"backup", disk, set});
        ASSERT_TRUE(freeze_when_written(pid, data, c.at_bytes))
            << c.what << ": the backup ended first";
        ::kill(pid, c.signal);
        ::kill(pid, SIGCONT);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (c.signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status)) << c.what;
        } else {
            EXPECT_EQ(WEXITSTATUS(status), kExitStopped) << c.what;
        }
        EXPECT_FALSE(fs::exists(set + "/KRDHASH.TXT")) << c.what;

        if (c.kill_the_resume_too) {
            const std::uintmax_t had = size_or_zero(data);
            pid = start_krdtool({"backup", "--resume", disk, set});
            ASSERT_TRUE(freeze_when_written(pid, data, had + (8 << 20)))
                << c.what << ": the resume ended first";
            ::kill(pid, SIGKILL);
            ::kill(pid, SIGCONT);
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        }
        pid = start_krdtool({"backup", "--resume", disk, set});
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitDone)
            << c.what << ": status " << status;

        EXPECT_TRUE(read_file(data) == read_file(whole + "/KRD00001.BIN")) << c.what;
        EXPECT_EQ(run_in_process(run_verify_command, {set}), kExitDone) << c.what;
        const std::string restored = dir.file("restored.img");
        fs::remove(restored);
        ASSERT_EQ(run_in_process(run_restore_command, {set, restored}), kExitDone) << c.what;
        EXPECT_TRUE(same_file(disk, restored)) << c.what;
    }
}

}  // namespace
}  // namespace kiroda::cli
