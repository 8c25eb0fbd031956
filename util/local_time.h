// The local date and time in the layout of a Windows SYSTEMTIME, which is how
// the header file records the moment of a backup.
#pragma once

#include <cstdint>

namespace kiroda {

struct system_time {
    std::uint16_t year = 0;
    std::uint16_t month = 0;        // 1-12
    std::uint16_t day_of_week = 0;  // 0 = Sunday
    std::uint16_t day = 0;          // 1-31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

system_time local_time_now();

}  // namespace kiroda
