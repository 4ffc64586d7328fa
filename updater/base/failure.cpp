#include "updater/base/failure.h"

#include <cstring>

namespace kaldra::update {

const char* kindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::network:
      return "network";
    case FailureKind::disk:
      return "disk";
    case FailureKind::integrity:
      return "integrity";
    case FailureKind::manifest:
      return "manifest";
    case FailureKind::signature:
      return "signature";
    case FailureKind::stale:
      return "stale";
    case FailureKind::busy:
      return "busy";
    case FailureKind::other:
      return "other";
  }
  return "other";
}

int exitStatus(FailureKind kind) {
  switch (kind) {
    case FailureKind::network:
      return 3;
    case FailureKind::disk:
      return 4;
    case FailureKind::integrity:
      return 5;
    case FailureKind::manifest:
      return 7;
    case FailureKind::signature:
      return 8;
    case FailureKind::stale:
      return 10;
    case FailureKind::busy:
      return 9;
    case FailureKind::other:
      return 1;
  }
  return 1;
}

void throwDiskError(const std::string& what, int errorNumber) {
  throw UpdateError(FailureKind::disk, what + ": " + std::strerror(errorNumber));
}

}  // namespace kaldra::update
