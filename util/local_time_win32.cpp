#include <windows.h>

#include "util/local_time.h"

namespace kiroda {

system_time local_time_now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    system_time t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day_of_week = now.wDayOfWeek;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.milliseconds = now.wMilliseconds;
    return t;
}

}  // namespace kiroda
