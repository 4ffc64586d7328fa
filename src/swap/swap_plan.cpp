#include "swap/swap_plan.h"

#include <array>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "platform/file_io.h"

namespace kaldra {

namespace {

using nlohmann::json;

std::string utcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::array<char, 32> buffer{};
  std::strftime(buffer.data(), buffer.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer.data();
}

const std::string* stringAt(const json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
}

std::optional<std::int32_t> int32At(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return std::nullopt;
  constexpr auto lo = std::numeric_limits<std::int32_t>::min();
  constexpr auto hi = std::numeric_limits<std::int32_t>::max();
  if (it->is_number_unsigned()) {
    auto value = it->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(hi)) return std::nullopt;
    return static_cast<std::int32_t>(value);
  }
  auto value = it->get<std::int64_t>();
  if (value < lo || value > hi) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

bool legalMove(std::string_view from, std::string_view to) {
  if (from == "staged") return to == "staged" || to == "swapped" || to == "failed";
  if (from == "swapped") return to == "confirmed" || to == "rolled-back" || to == "failed";
  if (from == "confirmed") return to == "confirmed";
  return false;
}

bool moveTo(SwapPlan& plan, std::string_view to, std::string note) {
  if (!legalMove(plan.state, to)) return false;
  plan.state = std::string(to);
  plan.note = std::move(note);
  return true;
}

std::string encodePlan(const SwapPlan& plan) {
  json object = {{"op", plan.op},
                 {"from", plan.from},
                 {"to", plan.to},
                 {"source", plan.source},
                 {"target", plan.target},
                 {"staged", plan.staged},
                 {"stageDir", plan.stageDir},
                 {"pid", plan.pid},
                 {"helper", plan.helper},
                 {"state", plan.state},
                 {"note", plan.note},
                 {"utc", plan.utc},
                 {"env", plan.env}};
  // Strings that are not UTF-8 are written with replacement characters, never thrown.
  return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<SwapPlan> decodePlan(std::string_view bytes) {
  json object = json::parse(bytes, nullptr, false);
  if (!object.is_object()) return std::nullopt;
  SwapPlan plan;
  std::pair<const char*, std::string*> strings[] = {{"op", &plan.op},
                                                    {"from", &plan.from},
                                                    {"to", &plan.to},
                                                    {"source", &plan.source},
                                                    {"target", &plan.target},
                                                    {"staged", &plan.staged},
                                                    {"stageDir", &plan.stageDir},
                                                    {"state", &plan.state},
                                                    {"note", &plan.note},
                                                    {"utc", &plan.utc}};
  for (auto [key, field] : strings) {
    const std::string* value = stringAt(object, key);
    if (!value) return std::nullopt;
    *field = *value;
  }
  auto pid = int32At(object, "pid");
  auto helper = int32At(object, "helper");
  if (!pid || !helper) return std::nullopt;
  plan.pid = *pid;
  plan.helper = *helper;
  auto env = object.find("env");
  if (env == object.end() || !env->is_object()) return std::nullopt;
  for (const auto& [key, value] : env->items()) {
    if (!value.is_string()) return std::nullopt;
    plan.env[key] = value.get<std::string>();
  }
  return plan;
}

std::optional<SwapPlan> readPlan(const fs::path& file) {
  auto bytes = platform::readWholeFile(file.string());
  if (!bytes) return std::nullopt;
  return decodePlan(*bytes);
}

void writePlan(SwapPlan plan, const fs::path& file) {
  plan.utc = utcNow();
  std::string bytes = encodePlan(plan);
  std::error_code ignored;
  if (fs::create_directories(file.parent_path(), ignored))
    fs::permissions(file.parent_path(), fs::perms::owner_all, ignored);
  // The plan carries the environment handed on: never readable by others, not even
  // for the moment between creating and restricting the file.
  platform::writeFileAtomically(file.string(), bytes, 0600);
}

bool readPlanExists(const fs::path& file) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(file, ec));
}

}  // namespace kaldra
