// What krdtool disks shows of a GPT disk, which the wizard refuses: its
// entries (number, name, type, size) and krdtool's own verdict on it as a
// source, in text and in JSON.
#pragma once

#include <cstdio>

#include "cli/json_writer.h"
#include "disk/disk_rules.h"
#include "engine/gpt_layout.h"

namespace kiroda::cli {

// The entries, one line each, after a line naming the table.
void print_gpt_entries(const gpt_layout& gpt, std::FILE* out);

// krdtool's verdict on a GPT disk as a source: usable when its tables hold
// and agree, otherwise only with --force.
disk_verdict gpt_source_verdict(const gpt_layout& gpt);

// As a restore target a GPT disk holds partitions.
disk_verdict gpt_target_verdict();

// "gpt": {"state": ..., "partitions": [...]} members of the disk's object.
void write_gpt_json(json_writer& json, const gpt_layout& gpt);

}  // namespace kiroda::cli
