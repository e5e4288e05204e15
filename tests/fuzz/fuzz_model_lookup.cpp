// libFuzzer target: see fuzz_entries.h.
#include <cstddef>
#include <cstdint>

#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  librato::fuzz::ModelLookup(data, size);
  return 0;
}
