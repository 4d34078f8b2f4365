// Fuzz target: the parameter-file reader of the command-line host.
#include <cstdio>
#include <cstdlib>

#include "params_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = towngrow_fuzz::CheckParamsInput(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "fuzz_params: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
