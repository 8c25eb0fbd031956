#include "cli/gpt_report.h"

#include <string>

#include "cli/disk_layout.h"
#include "cli/output.h"
#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

const char* state_name(gpt_state state) {
    switch (state) {
        case gpt_state::none:
            return "none";
        case gpt_state::valid:
            return "valid";
        case gpt_state::primary_damaged:
            return "primary_damaged";
        case gpt_state::backup_damaged:
            return "backup_damaged";
        case gpt_state::headers_disagree:
            return "headers_disagree";
        case gpt_state::both_damaged:
            return "both_damaged";
        case gpt_state::hybrid_mbr:
            return "hybrid_mbr";
    }
    return "both_damaged";
}

std::uint64_t entry_bytes(const gpt_layout& gpt, const gpt_entry& e) {
    return e.last_lba < e.first_lba ? 0 : (e.last_lba - e.first_lba + 1) * gpt.sector_bytes;
}

}  // namespace

void print_gpt_entries(const gpt_layout& gpt, std::FILE* out) {
    if (!gpt.readable()) {
        print(out, "  パーテーション表: GPT (読めません)\n");
        return;
    }
    if (gpt.entries.size() == 1) {
        print(out, "  パーテーション表: GPT (パーテーション 1 個、エントリ %u 個分)\n",
              gpt.header.entry_count);
    } else {
        print(out, "  パーテーション表: GPT (パーテーション %zu 個、エントリ %u 個分)\n",
              gpt.entries.size(), gpt.header.entry_count);
    }
    for (const gpt_entry& e : gpt.entries) {
        char mb[kGroupedTextSize], first[kGroupedTextSize], last[kGroupedTextSize];
        format_uint64_grouped(mb, entry_bytes(gpt, e) / 1000000);
        format_uint64_grouped(first, e.first_lba);
        format_uint64_grouped(last, e.last_lba);
        print(out, "    %d: %s MB  %s  \"%s\"  (セクタ %s - %s)\n", e.number, mb,
              gpt_type_text(e).c_str(), e.name.c_str(), first, last);
    }
}

disk_verdict gpt_source_verdict(const gpt_layout& gpt) {
    if (gpt.state == gpt_state::valid)
        return {kVerdictUsable, "○", gpt_state_sentence(gpt.state), false};
    static thread_local std::string text;
    text = std::string(localized(gpt_state_sentence(gpt.state))) + " " +
           localized("(--force でディスク全体をバックアップ)");
    return {kVerdictUnusable, "×", text.c_str(), false};
}

disk_verdict gpt_target_verdict() {
    return {kVerdictUnusable, "×",
            "復旧先ディスクとして利用できません。\nパーテーションが利用されています。", false};
}

void write_gpt_json(json_writer& json, const gpt_layout& gpt) {
    json.text("gpt_state", state_name(gpt.state));
    json.begin_array("gpt_partitions");
    for (const gpt_entry& e : gpt.entries) {
        json.begin_object();
        json.number("number", static_cast<std::uint64_t>(e.number));
        json.text("name", e.name);
        json.text("type", format_guid(e.type_guid));
        json.text("type_name", gpt_type_text(e));
        json.number("first_lba", e.first_lba);
        json.number("last_lba", e.last_lba);
        json.number("bytes", entry_bytes(gpt, e));
        json.end_object();
    }
    json.end_array();
}

}  // namespace kiroda::cli
