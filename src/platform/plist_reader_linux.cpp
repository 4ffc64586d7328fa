#include "platform/plist_reader.h"

#include <plist/plist.h>

#include <memory>

#include "platform/file_io.h"

namespace kaldra::platform {

std::optional<std::map<std::string, std::string>> readPlistStrings(
    const std::filesystem::path& path) {
  auto read = readWholeFile(path.string());
  if (!read || read->empty()) return std::nullopt;
  const std::string& bytes = *read;

  plist_t root = nullptr;
  if (plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())))
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  else
    plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  std::unique_ptr<void, decltype(&plist_free)> owner(root, &plist_free);
  if (!root || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;

  std::map<std::string, std::string> strings;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(root, &it);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, it, &key, &value);
    if (!key) break;
    if (value && plist_get_node_type(value) == PLIST_STRING) {
      // By pointer and length: the copying call aborts on a string holding a zero byte.
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(value, &length);
      if (text) strings.emplace(key, std::string(text, length));
    }
    free(key);
  }
  free(it);
  return strings;
}

}  // namespace kaldra::platform
