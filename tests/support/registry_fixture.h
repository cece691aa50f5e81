#pragma once
// Registry helpers for tests: they write into the real Wine registry of the
// test prefix and take back what they wrote.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace devlore::test {

// Deletes a key with everything below it; a missing key is not an error.
void DeleteTree(HKEY root, const std::string& path);

// Creates the key (and its parents) and sets one REG_SZ value; an empty name
// sets the default value.
void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value);
// Sets a value of any type from raw bytes.
void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data,
            DWORD size);
void CreateKey(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);

using Values = std::vector<std::pair<std::string, std::string>>;

// A machine's hardware registry as Windows 98 lays it out: present device nodes
// under HKEY_DYN_DATA "Config Manager\Enum", each naming its key below
// HKEY_LOCAL_MACHINE "Enum". Starts empty and removes all it wrote when it ends.
class FakeMachine {
 public:
  FakeMachine();
  ~FakeMachine();
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  // A present node whose "HardWareKey" is hardwareKey, with these values in
  // its static key. Returns the node's name under the dynamic list.
  std::string AddNode(const std::string& hardwareKey, const Values& values);
  // A present node without "HardWareKey".
  std::string AddNodeWithoutHardwareKey();
  // A present node whose "HardWareKey" is of any type and bytes.
  std::string AddNodeWithRawKey(DWORD type, const void* data, DWORD size);

  // A system board, a monitor and a display adapter, each with the usual values.
  void AddTypicalDevices();

  // The display settings under HKEY_CURRENT_CONFIG and a driver class key.
  void SetDisplaySettings(const std::string& bitsPerPixel, const std::string& resolution);
  void AddDisplayModes(const std::string& driver, const std::vector<std::pair<std::string, std::vector<std::string>>>& modes);

 private:
  std::string NextNodeName();
  int nextNode_ = 0;
  std::vector<std::pair<HKEY, std::string>> written_;
};

}  // namespace devlore::test
