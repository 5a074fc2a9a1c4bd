// A file's item stamp: its last-write time as local wall-clock time, made by
// "%04d%02d%02d%02d%02d" from year, month, day, hour and minute, and
// "000000000000" for a time the system cannot show. Stamps compare as
// strings, so that files written within one minute count as written at once.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

std::string ItemStamp(std::int64_t lastWriteTime);

}  // namespace corvane
