// A random key tree below HKCU\T, then DeleteKeyTree on it. The stand-in
// registry refuses nothing (no access rights, depth far below the walk's
// limit), so the delete must succeed, leave no key and no open handle.
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
  int keys = 0;
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
    }
    line.clear();
  }
  RegCloseKey(root);
  const LONG result = devlore::DeleteKeyTree(HKEY_CURRENT_USER, "T");
  if (result != ERROR_SUCCESS) fprintf(stderr, "DeleteKeyTree failed with %ld\n", static_cast<long>(result));
  FUZZ_CHECK(result == ERROR_SUCCESS);
  FUZZ_CHECK(!standin::KeyExists(HKEY_CURRENT_USER, "T"));
  FUZZ_CHECK(standin::OpenKeyCount() == 0);
  return 0;
}
