/* The memory and string primitives that the compiler may call on its own
   (structure copies, zero-filled arrays). Written plainly; they run on short
   buffers only. Built with loop-pattern recognition off, so that these loops
   are not turned back into calls to themselves. */
#include <stddef.h>

void* memset(void* destination, int value, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  while (count--) *d++ = (unsigned char)value;
  return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  const unsigned char* s = (const unsigned char*)source;
  while (count--) *d++ = *s++;
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  const unsigned char* s = (const unsigned char*)source;
  if (d == s || count == 0) return destination;
  if (d < s) {
    while (count--) *d++ = *s++;
  } else {
    d += count;
    s += count;
    while (count--) *--d = *--s;
  }
  return destination;
}

int memcmp(const void* left, const void* right, size_t count) {
  const unsigned char* a = (const unsigned char*)left;
  const unsigned char* b = (const unsigned char*)right;
  for (; count; --count, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

size_t strlen(const char* text) {
  const char* end = text;
  while (*end) ++end;
  return (size_t)(end - text);
}
