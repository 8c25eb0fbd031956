#include "cli/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cli/stop_signals.h"
#include "util/file_io.h"
#include "util/system_error.h"

namespace kiroda::cli {

namespace {

constexpr std::size_t kCopyChunk = 4 << 20;

// The system's reason for the last failure.
std::string system_error_text() {
    const int noted = take_system_error();
    return std::strerror(noted != 0 ? noted : errno);
}

std::string temporary_name(const std::string& destination) {
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    return folder + "." + name + ".krdtool-" + std::to_string(::getpid());
}

timespec time_of(std::int64_t seconds, std::uint32_t nano) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = static_cast<long>(nano % 1000000000u);
    return t;
}

// Renames the finished file into place: never over an existing name
// unless `replace`.
bool put_in_place(const std::string& from, const std::string& to, bool replace) {
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0;
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

// Copies the bytes; false with `*result` and `*why` set.
bool copy_bytes(set_file_systems& set, const copy_job& job, int fd,
                const std::function<void(std::uint64_t)>& on_bytes, copy_result* result,
                std::string* why) {
    std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kCopyChunk]);
    if (chunk == nullptr) {
        *result = copy_result::write_failed;
        *why = std::strerror(ENOMEM);
        return false;
    }
    const std::uint64_t failures = set.disk().read_failures();
    set.take_failure();
    for (std::uint64_t at = 0; at < job.entry.size;) {
        if (stop_signalled()) {
            *result = copy_result::stopped;
            return false;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, job.entry.size - at));
        const std::int64_t n = job.fs->read(job.entry.meta, at, want, chunk.get());
        if (n != static_cast<std::int64_t>(want) || set.disk().read_failures() != failures) {
            const auto failure = set.take_failure();
            *result = copy_result::read_failed;
            *why = failure ? set_file_systems::describe(*failure)
                           : partition_file_system::last_error();
            return false;
        }
        if (write_full(fd, chunk.get(), want) != static_cast<std::int64_t>(want)) {
            *result = copy_result::write_failed;
            *why = system_error_text();
            return false;
        }
        at += want;
        on_bytes(want);
    }
    return true;
}

}  // namespace

bool set_modification_time(const std::string& path, std::int64_t seconds, std::uint32_t nano) {
    const timespec times[2] = {time_of(seconds, nano), time_of(seconds, nano)};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

copy_result copy_file_out(set_file_systems& set, const copy_job& job,
                          const std::function<void(std::uint64_t)>& on_bytes, std::string* why) {
    struct stat existing {};
    if (!job.replace && ::lstat(job.destination.c_str(), &existing) == 0)
        return copy_result::exists;
    const std::string temporary = temporary_name(job.destination);
    unique_fd fd(open_for_writing(temporary.c_str()));
    if (!fd.valid()) {
        *why = system_error_text();
        return copy_result::write_failed;
    }
    copy_result result = copy_result::copied;
    bool ok = copy_bytes(set, job, fd.get(), on_bytes, &result, why);
    if (ok && !commit_file(fd.get())) {
        result = copy_result::write_failed;
        *why = system_error_text();
        ok = false;
    }
    if (ok) {
        const timespec times[2] = {time_of(job.entry.mtime, job.entry.mtime_nano),
                                   time_of(job.entry.mtime, job.entry.mtime_nano)};
        ::futimens(fd.get(), times);
    }
    if (!fd.reset() && ok) {
        result = copy_result::write_failed;
        *why = system_error_text();
        ok = false;
    }
    if (ok && !put_in_place(temporary, job.destination, job.replace)) {
        result = errno == EEXIST ? copy_result::exists : copy_result::write_failed;
        *why = system_error_text();
        ok = false;
    }
    if (!ok) ::unlink(temporary.c_str());
    return result;
}

}  // namespace kiroda::cli
