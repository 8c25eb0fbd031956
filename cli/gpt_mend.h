// A GPT set restored onto a disk of another size: what is written last so
// the disk is whole for partitioning tools. The set's protective MBR and
// headers go into a scratch image of the target's size (in memory), the
// system's partitioning library (libfdisk) moves the backup header and its
// entry array to the end, mends the primary header (its backup location,
// last usable sector, CRCs) and the protective MBR's size, and krdtool's own
// checks (engine/gpt_layout.h) then read the result as a sound GPT of the
// same entries before any of it is used. The partitions are not grown.
#pragma once

#include <cstdint>
#include <string>

#include "engine/restore_engine.h"
#include "engine/set_image.h"

namespace kiroda::cli {

enum class gpt_mend_result {
    none,     // not a sound GPT: the set is restored as it is
    planned,  // options hold what goes last
    failed,   // `why` says what went wrong; nothing may be written
};

// For the set read through `image` (of a disk of `sector_bytes`-byte
// sectors) onto a target of `target_bytes`: sets `options` to hold back the
// protective MBR and primary header (equal sizes) and, on another size, to
// write the mended ones and the moved backup last.
gpt_mend_result plan_gpt_mend(set_image& image, std::uint32_t sector_bytes,
                              std::uint64_t target_bytes, restore_options* options,
                              std::string* why);

}  // namespace kiroda::cli
