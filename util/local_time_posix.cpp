#include <sys/time.h>

#include <ctime>

#include "util/local_time.h"

namespace kiroda {

system_time local_time_now() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm parts{};
    const std::time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &parts);
    system_time t;
    t.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
    t.day_of_week = static_cast<std::uint16_t>(parts.tm_wday);
    t.day = static_cast<std::uint16_t>(parts.tm_mday);
    t.hour = static_cast<std::uint16_t>(parts.tm_hour);
    t.minute = static_cast<std::uint16_t>(parts.tm_min);
    t.second = static_cast<std::uint16_t>(parts.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(now.tv_usec / 1000);
    return t;
}

}  // namespace kiroda
