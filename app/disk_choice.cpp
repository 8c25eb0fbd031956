#include "app/disk_choice.h"

#include <climits>

namespace kiroda {

namespace {

constexpr std::uint32_t kBlack = 0x00000000;     // RGB(0, 0, 0)
constexpr std::uint32_t kDarkBlue = 0x00CC0000;  // RGB(0, 0, 204)
constexpr std::uint32_t kRed = 0x000000FF;       // RGB(255, 0, 0)

// The record of `number`, or an empty one (which every rule refuses).
disk_record record_of(const disk_table& table, int number) {
    const int index = find_disk_record(table, number);
    return index >= 0 ? table[static_cast<std::size_t>(index)] : disk_record{};
}

}  // namespace

disk_display evaluate_disk(disk_role role, const disk_record& record) {
    disk_display d;
    d.verdict =
        role == disk_role::source ? source_disk_verdict(record) : target_disk_verdict(record);
    d.fields = format_disk_fields(record, d.verdict);
    d.next_enabled = d.verdict.usable();
    return d;
}

int start_disk_choice(disk_choice& choice, disk_role role, const disk_table& table) {
    choice.role = role;
    choice.table = &table;
    const int first = table[0].number;
    choice.selection = first >= 0 ? first : 0;
    choice.shown = evaluate_disk(role, record_of(table, choice.selection));
    return choice.selection;
}

disk_choice_step poll_disk_choice(disk_choice& choice, const char* box_text) {
    disk_choice_step step;
    const int number = read_disk_number(box_text);
    if (number == choice.selection) return step;
    choice.selection = number;
    choice.shown = evaluate_disk(choice.role, record_of(*choice.table, number));
    step.show = true;
    step.reset_box = find_disk_record(*choice.table, number) < 0;
    return step;
}

disk_choice_step press_next(disk_choice& choice, const char* box_text) {
    disk_choice_step step = poll_disk_choice(choice, box_text);
    step.end = !step.show && choice.shown.next_enabled;
    return step;
}

int read_disk_number(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    long long value = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return 0;
    }
    return digits ? static_cast<int>(value) : 0;
}

std::uint32_t verdict_colour(disk_usability verdict) {
    switch (verdict) {
        case disk_usability::usable:
            return kBlack;
        case disk_usability::with_reservation:
            return kDarkBlue;
        case disk_usability::unusable:
            break;
    }
    return kRed;
}

}  // namespace kiroda
