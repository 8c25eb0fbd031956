#include "cli/partition_library.h"

#include <libfdisk/libfdisk.h>

#include <cstdio>
#include <memory>

namespace kiroda::cli {

namespace {

// The library asks and warns through this: krdtool says what it found in
// its own words, so the library stays silent.
int silent(fdisk_context*, fdisk_ask*, void*) {
    return 0;
}

struct context_closer {
    void operator()(fdisk_context* c) const { fdisk_unref_context(c); }
};
struct table_closer {
    void operator()(fdisk_table* t) const { fdisk_unref_table(t); }
};
using context_ptr = std::unique_ptr<fdisk_context, context_closer>;

context_ptr new_context() {
    context_ptr cxt(fdisk_new_context());
    if (cxt) fdisk_set_ask(cxt.get(), silent, nullptr);
    return cxt;
}

library_partition partition_of(fdisk_partition* pa) {
    library_partition p;
    p.number = static_cast<int>(fdisk_partition_get_partno(pa)) + 1;
    p.first_lba = fdisk_partition_get_start(pa);
    p.sector_count = fdisk_partition_get_size(pa);
    if (const fdisk_parttype* t = fdisk_partition_get_type(pa)) {
        if (const char* s = fdisk_parttype_get_string(t)) {
            p.type = s;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02x", fdisk_parttype_get_code(t) & 0xFFu);
            p.type = code;
        }
        if (const char* n = fdisk_parttype_get_name(t)) p.type_name = n;
    }
    if (const char* n = fdisk_partition_get_name(pa)) p.name = n;
    return p;
}

}  // namespace

library_layout read_with_library(const std::string& path, std::uint32_t sector_bytes) {
    library_layout layout;
    const context_ptr cxt = new_context();
    if (!cxt) return layout;
    // An image file has no sector size of its own: it is the disk's it was made of.
    fdisk_save_user_sector_size(cxt.get(), sector_bytes, sector_bytes);
    if (fdisk_assign_device(cxt.get(), path.c_str(), 1) != 0) return layout;
    layout.opened = true;
    if (fdisk_has_label(cxt.get())) {
        const fdisk_label* lb = fdisk_get_label(cxt.get(), nullptr);
        layout.label = lb != nullptr ? fdisk_label_get_name(lb) : "";
        fdisk_table* raw = nullptr;
        if (fdisk_get_partitions(cxt.get(), &raw) == 0) {
            const std::unique_ptr<fdisk_table, table_closer> table(raw);
            for (std::size_t i = 0; i < fdisk_table_get_nents(raw); ++i) {
                fdisk_partition* pa = fdisk_table_get_partition(raw, i);
                if (pa != nullptr && fdisk_partition_is_used(pa) &&
                    !fdisk_partition_is_container(pa))
                    layout.partitions.push_back(partition_of(pa));
            }
        }
    }
    fdisk_deassign_device(cxt.get(), 1);
    return layout;
}

std::string gpt_type_name(const std::string& type_guid) {
    const context_ptr cxt = new_context();
    if (!cxt) return "";
    fdisk_label* gpt = fdisk_get_label(cxt.get(), "gpt");
    if (gpt == nullptr) return "";
    fdisk_parttype* t = fdisk_label_get_parttype_from_string(gpt, type_guid.c_str());
    if (t == nullptr) return "";
    // A type the label does not know comes back as a new, unnamed one.
    std::string name = fdisk_parttype_is_unknown(t) ? "" : fdisk_parttype_get_name(t);
    fdisk_unref_parttype(t);
    return name;
}

}  // namespace kiroda::cli
