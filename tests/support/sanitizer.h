// TOWNGROW_ASAN is defined when the tests are built with AddressSanitizer,
// which refuses huge allocations outright instead of failing them: tests
// of allocation failure skip themselves there.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TOWNGROW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOWNGROW_ASAN 1
#endif
#endif
