// The zero fill: fills the free space of one volume with zero bytes through
// temporary files, then deletes them, so the free sectors of the disk hold
// zeros and a backup stores them in almost no space. The volume's own files
// are never touched.
//
// NTFS:       one file "<root>Z_000000.TMP".
// FAT, FAT32: "<root>ZEROTEMP\Z_000000.TMP", Z_000001.TMP, ..., each closed
//             once it holds more than the file size cap (FAT's 4 GiB limit).
//
// Every temporary file is created exclusively, so a user's file of the same
// name stops the run (with the creation message) instead of being truncated;
// ZEROTEMP is removed only when this run made it. Every way out of the fill
// closes the stream and removes what the run made.
#pragma once

#include <cstdint>
#include <string>

#include "ui/message.h"
#include "ui/outcome.h"
#include "zerofill/zero_fill_volume.h"

namespace kiroda {

// The fill's outcomes, in the names of its own texts.
constexpr outcome kZeroFillFinished = kEngineDone;
constexpr outcome kZeroFillStopped = kEngineStopped;
constexpr outcome kZeroFillFailed = kEngineFailed;

// The caption of the zero fill's dialog and messages.
extern const char kNullpassCaption[];  // "KIRODA(NULLPASS) Jun 10 2017"

struct zero_fill_limits {
    // Bytes per write; at most kZeroFillChunkLimit.
    std::int64_t chunk = 4194304;
    // Free space left on the volume: the fill ends when free space <= margin.
    std::int64_t margin = 10485760;
    // FAT and FAT32: a file holding more than this is closed and the next begun.
    std::int64_t file_size_cap = 2000000000;
};
constexpr std::int64_t kZeroFillChunkLimit = 4194304;

// What the fill shows (the NULLPASS dialog's lines, or a test's record) and
// the stop request it polls before every chunk.
class zero_fill_screen {
  public:
    virtual ~zero_fill_screen() = default;
    virtual void set_status(const char* text) = 0;
    virtual void set_detail(const char* text) = 0;
    // Owner of the fill's messages.
    virtual window_handle owner() const = 0;
    virtual bool running() const = 0;
};

// Fills the volume whose root folder is `root` (ending in its separator:
// "E:\"); `letter` names it in texts. Returns kZeroFillFinished,
// kZeroFillStopped, or kZeroFillFailed (a message or the detail line says why;
// a clean-up that leaves files behind also makes the run fail).
outcome zero_fill_drive(char letter, const std::string& root, zero_fill_volume& volume,
                        zero_fill_screen& screen, const zero_fill_limits& limits = {});

// Paths of the temporary files and folder under `root`.
std::string zero_temp_folder(const std::string& root);
std::string zero_file_path(const std::string& root, int file_system_kind, int index);

}  // namespace kiroda
