#include "selfupdate/xplat_answers.h"

namespace kaldra {

namespace {

bool boolMember(const nlohmann::json& object, const char* key, bool fallback) {
  auto it = object.find(key);
  return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

void replaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::optional<CheckResult> parseCheckResult(std::string_view output) {
  auto json = nlohmann::json::parse(output, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  return CheckResult{
      .update = boolMember(json, "update", false),
      .required = boolMember(json, "required", false),
      .systemOk = boolMember(json, "systemOk", true),
      .offered = updater::stringMember(json, "offered").value_or(""),
      .current = updater::stringMember(json, "current").value_or(""),
      .minSystem = updater::stringMember(json, "minSystem").value_or(""),
  };
}

std::string fillPlaceholders(std::string text, const CheckResult& result) {
  replaceAll(text, "{new}", result.offered);
  replaceAll(text, "{old}", result.current);
  replaceAll(text, "{min}", result.minSystem);
  return text;
}

updater::EventHandlers FetchReport::handlers(
    std::function<void(const updater::Event&)> onProgress) {
  return {
      {"progress", std::move(onProgress)},
      {"xplat-file",
       [this](const updater::Event& event) {
         path = updater::stringMember(event, "path").value_or("");
         sha256 = updater::stringMember(event, "sha256").value_or("");
         version = updater::stringMember(event, "version").value_or("");
       }},
      {"error",
       [this](const updater::Event& event) {
         error = updater::stringMember(event, "user").value_or("");
       }},
  };
}

}  // namespace kaldra
