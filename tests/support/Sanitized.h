// Whether this test build runs under AddressSanitizer, whose allocator keeps
// its own books and whose shadow memory rules out an address-space limit.
#pragma once

namespace quillet::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace quillet::test
