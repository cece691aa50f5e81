// A random key tree below HKCU\T, then DeleteKeyTree on it. The stand-in
// registry refuses nothing (no access rights), so the delete must succeed, leave no key and no open handle; a
// tree with a key 512 levels below T is not walked (ERROR_STACK_OVERFLOW) and
// stays, again with no handle left open.
// Input: key paths relative to T, one per line ("a\b\c").
#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/script_interpreter.h"
#include "support/stand_ins.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::ResetRegistry();
  HKEY root = nullptr;
  FUZZ_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "T", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr) ==
             ERROR_SUCCESS);
  std::string line;
  int keys = 0, depth = 0;
  for (size_t i = 0; i <= size && keys < 200; ++i) {
    if (i < size && data[i] != '\n') {
      if (data[i] != 0) line += static_cast<char>(data[i]);
      continue;
    }
    HKEY key = nullptr;
    // Paths too long for the registry are refused by it; they are not part of the tree.
    if (line.size() < 2000 &&
        RegCreateKeyExA(root, line.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegCloseKey(key);
      ++keys;
      int levels = 0;  // the names on the path; empty parts name no key
      for (size_t at = 0; at <= line.size();) {
        size_t end = line.find('\\', at);
        if (end == std::string::npos) end = line.size();
        if (end > at) ++levels;
        at = end + 1;
      }
      if (levels > depth) depth = levels;
    }
    line.clear();
  }
  RegCloseKey(root);
  const LONG result = devlore::DeleteKeyTree(HKEY_CURRENT_USER, "T");
  const bool tooDeep = depth >= 512;
  if (result != (tooDeep ? ERROR_STACK_OVERFLOW : ERROR_SUCCESS))
    fprintf(stderr, "DeleteKeyTree gave %ld for a tree %d levels deep\n", static_cast<long>(result), depth);
  FUZZ_CHECK(result == (tooDeep ? ERROR_STACK_OVERFLOW : ERROR_SUCCESS));
  FUZZ_CHECK(standin::KeyExists(HKEY_CURRENT_USER, "T") == tooDeep);
  FUZZ_CHECK(standin::OpenKeyCount() == 0);
  return 0;
}
