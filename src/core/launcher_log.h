// The launcher log, "launcher.log" in the logs folder: one time-stamped line per call,
// shared by the launcher and the swap helper.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace kaldra {

// Appends "<timestamp> <message>\n" to the log. Never fails visibly: a line that cannot
// be written is lost. Safe from any thread and from several processes at once.
void log(std::string_view message);

// "2026-03-01 14:05:09 +0000" for the moment `when`, in UTC.
std::string logTimestamp(std::time_t when);

}  // namespace kaldra
