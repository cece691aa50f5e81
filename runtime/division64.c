/* 64-bit division for the 32-bit library. The compiler calls these for every
   64-bit '/' and '%' (byte counts, digit conversion, extent scaling); the
   versions in the compiler's support library are several times larger and
   bring unwind tables with them. One shift-and-subtract loop serves all of
   them: it gives the exact quotient and remainder, and the library divides
   only a handful of times per report. Division by zero is left undefined, as
   in the language. */
#if defined(__i386__)

typedef unsigned long long u64;
typedef long long s64;

/* Quotient and remainder at once (the compiler asks for both with one call
   when code needs both); the remainder pointer may be null. */
u64 __udivmoddi4(u64 dividend, u64 divisor, u64* remainder) {
  u64 rest = 0;
  int bit;
  /* The dividend is shifted out from the top while the quotient's bits come
     in at the bottom. */
  for (bit = 0; bit < 64; ++bit) {
    rest = (rest << 1) | (dividend >> 63);
    dividend <<= 1;
    if (rest >= divisor) {
      rest -= divisor;
      dividend |= 1;
    }
  }
  if (remainder) *remainder = rest;
  return dividend;
}

u64 __udivdi3(u64 dividend, u64 divisor) { return __udivmoddi4(dividend, divisor, 0); }

u64 __umoddi3(u64 dividend, u64 divisor) {
  u64 rest;
  __udivmoddi4(dividend, divisor, &rest);
  return rest;
}

/* Signed forms truncate toward zero: the quotient is negative when the signs
   differ, the remainder takes the dividend's sign. */
s64 __divdi3(s64 dividend, s64 divisor) {
  const u64 magnitude = __udivmoddi4(dividend < 0 ? -(u64)dividend : (u64)dividend,
                                     divisor < 0 ? -(u64)divisor : (u64)divisor, 0);
  return (s64)((dividend < 0) != (divisor < 0) ? -magnitude : magnitude);
}

s64 __moddi3(s64 dividend, s64 divisor) {
  u64 rest;
  __udivmoddi4(dividend < 0 ? -(u64)dividend : (u64)dividend, divisor < 0 ? -(u64)divisor : (u64)divisor,
               &rest);
  return (s64)(dividend < 0 ? -rest : rest);
}

s64 __divmoddi4(s64 dividend, s64 divisor, s64* remainder) {
  if (remainder) *remainder = __moddi3(dividend, divisor);
  return __divdi3(dividend, divisor);
}

#endif
