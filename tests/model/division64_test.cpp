// The library's own 64-bit division routines (32-bit build only): quotient and
// remainder must satisfy dividend = quotient * divisor + remainder with the
// remainder below the divisor, for unsigned and for signed operands.
#include <gtest/gtest.h>

#include <stdint.h>

extern "C" {
#include "runtime/division64.c"
}

namespace {

#if defined(__i386__)

uint64_t NextValue(uint64_t& state) {
  state = state * 6364136223846793005ull + 1442695040888963407ull;
  return state;
}

void ExpectUnsigned(uint64_t dividend, uint64_t divisor) {
  const uint64_t quotient = __udivdi3(dividend, divisor);
  const uint64_t remainder = __umoddi3(dividend, divisor);
  // The combined form gives the same pair.
  uint64_t combinedRemainder = ~remainder;
  EXPECT_EQ(quotient, __udivmoddi4(dividend, divisor, &combinedRemainder));
  EXPECT_EQ(remainder, combinedRemainder);
  EXPECT_LT(remainder, divisor) << dividend << " / " << divisor;
  EXPECT_EQ(dividend, quotient * divisor + remainder) << dividend << " / " << divisor;
  // The quotient cannot be one more without passing the dividend.
  if (quotient != UINT64_MAX) {
    const uint64_t next = (quotient + 1) * divisor;
    if (next / divisor == quotient + 1) EXPECT_GT(next, dividend);
  }
}

TEST(Division64, UnsignedKnownValues) {
  EXPECT_EQ(1844674407370955161ull, __udivdi3(UINT64_MAX, 10));
  EXPECT_EQ(5u, __umoddi3(UINT64_MAX, 10));
  EXPECT_EQ(0u, __udivdi3(9, 10));
  EXPECT_EQ(9u, __umoddi3(9, 10));
  EXPECT_EQ(1u, __udivdi3(UINT64_MAX, UINT64_MAX));
  EXPECT_EQ(0u, __umoddi3(UINT64_MAX, UINT64_MAX));
  EXPECT_EQ(0x100000000ull, __udivdi3(0xFFFFFFFF00000000ull, 0xFFFFFFFFull));
  EXPECT_EQ(3u, __udivdi3(0x300000002ull, 0x100000000ull));
  EXPECT_EQ(2u, __umoddi3(0x300000002ull, 0x100000000ull));
  // The combined form takes a null remainder pointer.
  EXPECT_EQ(1844674407370955161ull, __udivmoddi4(UINT64_MAX, 10, nullptr));
}

TEST(Division64, UnsignedQuotientAndRemainderAgree) {
  uint64_t state = 1;
  for (int i = 0; i < 2000; ++i) {
    const uint64_t dividend = NextValue(state);
    // Divisors of every width, from one bit to the full 64.
    const uint64_t divisor = NextValue(state) >> (i % 64);
    if (divisor == 0) continue;
    ExpectUnsigned(dividend, divisor);
    ExpectUnsigned(dividend >> 32, divisor);
  }
}

TEST(Division64, SignedTruncatesTowardZero) {
  EXPECT_EQ(-3, __divdi3(-7, 2));
  EXPECT_EQ(-1, __moddi3(-7, 2));
  EXPECT_EQ(-3, __divdi3(7, -2));
  EXPECT_EQ(1, __moddi3(7, -2));
  EXPECT_EQ(3, __divdi3(-7, -2));
  EXPECT_EQ(-1, __moddi3(-7, -2));
  EXPECT_EQ(0, __divdi3(-1269, 2540));
  EXPECT_EQ(-1, __divdi3(-2540, 2540));
  EXPECT_EQ(INT64_MIN, __divdi3(INT64_MIN, 1));
  EXPECT_EQ(-4611686018427387904ll, __divdi3(INT64_MIN, 2));
  uint64_t state = 7;
  for (int i = 0; i < 2000; ++i) {
    const int64_t dividend = static_cast<int64_t>(NextValue(state));
    const int64_t divisor = static_cast<int64_t>(NextValue(state)) >> (i % 63);
    if (divisor == 0) continue;
    const int64_t quotient = __divdi3(dividend, divisor);
    const int64_t remainder = __moddi3(dividend, divisor);
    int64_t combinedRemainder = ~remainder;
    EXPECT_EQ(quotient, __divmoddi4(dividend, divisor, &combinedRemainder));
    EXPECT_EQ(remainder, combinedRemainder);
    EXPECT_EQ(dividend, quotient * divisor + remainder);
    EXPECT_TRUE(remainder == 0 || (remainder < 0) == (dividend < 0));
    const uint64_t magnitude = remainder < 0 ? 0 - static_cast<uint64_t>(remainder) : remainder;
    const uint64_t divisorMagnitude = divisor < 0 ? 0 - static_cast<uint64_t>(divisor) : divisor;
    EXPECT_LT(magnitude, divisorMagnitude);
  }
}

#else

TEST(Division64, OnlyThe32BitLibraryCarriesItsOwn) { GTEST_SKIP() << "64-bit division is native here"; }

#endif

}  // namespace
