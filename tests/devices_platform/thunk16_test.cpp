#include "devices/thunk16.h"

#include <gtest/gtest.h>

namespace devlore {
namespace {

#if defined(__i386__)

// What a stand-in for QT_Thunk saw when it was called.
extern "C" {
uint32_t seenGap __asm__("devlore_test_seen_gap");
uint32_t seenTarget __asm__("devlore_test_seen_target");
uint32_t seenArgument __asm__("devlore_test_seen_argument");
}

// Records EBP - ESP at entry (return address included), EDX and the stack
// word above the return address, and answers with noise in the high half.
__attribute__((naked)) void WINAPI RecordingQtThunk() {
  __asm__ volatile(
      "movl %ebp, %eax\n\t"
      "subl %esp, %eax\n\t"
      "movl %eax, devlore_test_seen_gap\n\t"
      "movl %edx, devlore_test_seen_target\n\t"
      "movl 4(%esp), %eax\n\t"
      "movl %eax, devlore_test_seen_argument\n\t"
      "movl $0xABCD0057, %eax\n\t"
      "movl $0x5A5A5A5A, %ebx\n\t"  // clobbers a register the caller keeps
      "ret $4\n\t");                // and pops its argument, as the 16-bit side may
}

TEST(CallThunk16, GivesQtThunkItsFrameAndReturnsTheLow16Bits) {
  const uint32_t result = CallThunk16(reinterpret_cast<FARPROC>(&RecordingQtThunk), 0x011F0042, 2);
  EXPECT_EQ(0x57u, result);
  EXPECT_EQ(0x011F0042u, seenTarget);
  EXPECT_EQ(2u, seenArgument);
  // 0x40 scratch bytes, the 4-byte argument and the return address.
  EXPECT_EQ(0x48u, seenGap);
}

#endif

TEST(CallThunk16, NothingIsCalledWithoutThunkOrTarget) {
  EXPECT_EQ(0u, CallThunk16(nullptr, 0x011F0042, 0));
#if defined(__i386__)
  EXPECT_EQ(0u, CallThunk16(reinterpret_cast<FARPROC>(&RecordingQtThunk), 0, 0));
#endif
}

}  // namespace
}  // namespace devlore
