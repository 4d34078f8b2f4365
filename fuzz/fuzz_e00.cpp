// Fuzz target: the E00 grid reader.
#include <cstdio>
#include <cstdlib>

#include "import_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = towngrow_fuzz::CheckE00Input(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "fuzz_e00: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
