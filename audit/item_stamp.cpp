#include "audit/item_stamp.h"

#include <cstdio>

#include "platform/system.h"

namespace corvane {

std::string ItemStamp(std::int64_t lastWriteTime) {
    std::optional<platform::LocalTime> local = platform::LocalTimeOf(lastWriteTime);
    if (!local) return "000000000000";
    if (local->year < 0 || local->year > 9999) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d", local->year, local->month,
                      local->day, local->hour, local->minute);
        return text;
    }
    // The common case without the formatter: it is made for every file read.
    char text[12];
    auto two = [&](int at, int value) {
        text[at] = char('0' + value / 10);
        text[at + 1] = char('0' + value % 10);
    };
    two(0, local->year / 100);
    two(2, local->year % 100);
    two(4, local->month);
    two(6, local->day);
    two(8, local->hour);
    two(10, local->minute);
    return std::string(text, sizeof text);
}

}  // namespace corvane
