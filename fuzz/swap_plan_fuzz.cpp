// A swap plan file: any bytes give no plan, or a plan that encodes and reads back as
// itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "swap/swap_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra;
  auto plan = decodePlan({reinterpret_cast<const char*>(data), size});
  if (plan && decodePlan(encodePlan(*plan)) != plan) __builtin_trap();
  return 0;
}
