// PENDING: replaced by the shared signing scheme once it lands.
#include "updater/feed_signature.h"

namespace kaldra::update {

bool verifyFeedSignature(std::string_view, std::string_view signature) {
  return signature == "ok";
}

std::string signFeed(std::string_view, const std::filesystem::path&) {
  return "ok";
}

}  // namespace kaldra::update
