// Fuzz target: the float grid reader (header and data from one input).
#include <cstdio>
#include <cstdlib>

#include "import_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = towngrow_fuzz::CheckFloatInput(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "fuzz_float: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
