#pragma once
// Helpers for the server tests: where the built libraries are, and the registry
// trees that registration writes, read back as text.
#include <windows.h>

#include <map>
#include <string>

namespace devlore::test {

// The folder of the running test program, with a trailing backslash; the built
// libraries lie beside it.
std::string ProgramFolder();
// Full path of a file beside the test program.
std::string BesideProgram(const std::string& name);

// Every value below root\path as "subkey\\name" -> "type:data" (REG_SZ data as
// text, other types as hexadecimal bytes); the default value's name is "@".
// Empty when the key does not exist.
using RegistryTree = std::map<std::string, std::string>;
RegistryTree ReadTree(HKEY root, const std::string& path);

// A REG_SZ value; "<missing>" when the key or value does not exist and
// "<type N>" for any other type.
std::string ReadString(HKEY root, const std::string& path, const std::string& name = "");

// Removes every registry entry the library's registration could leave.
void RemoveSysInfoRegistration();

extern const char kClassKey[];       // CLSID\{6F1B52C4-...}
extern const char kTypeLibKey[];     // TypeLib\{6F1B52C5-...}
extern const char kInterfaceKey[];   // Interface\{6F1B52C6-...}
extern const char kEventsKey[];      // Interface\{6F1B52C7-...}

}  // namespace devlore::test
