#pragma once
// Runs the registration scripts the library carries as "REGISTRY" resources:
// install writes the keys and values a script describes, remove deletes them
// again, sparing what the script marks.
#include <windows.h>

#include "server/script_text.h"

namespace devlore {

// One extra variable for a script: "%name%" is replaced by text. A list of
// them ends with an entry whose name is null.
struct ScriptReplacement {
  const wchar_t* name;
  const wchar_t* text;
};

// Runs the script held in the module `instance` as resource type "REGISTRY",
// identifier `resourceId`, in install (TRUE) or remove (FALSE) mode. "%MODULE%"
// stands for the module's file name (the short form for a null instance or the
// main executable's handle); `extra` (may be null) adds more variables.
[[nodiscard]] HRESULT UpdateRegistryFromScript(HINSTANCE instance, UINT resourceId, BOOL install,
                                 const ScriptReplacement* extra);

// One run of registration scripts: its variables and the ways to run a script.
class ScriptRegistrar {
 public:
  // Adds a variable; E_OUTOFMEMORY when it cannot be stored.
  [[nodiscard]] HRESULT AddReplacement(const wchar_t* name, const wchar_t* text) { return replacements_.Add(name, text); }

  // Expands the variables of a zero-terminated script and runs it.
  [[nodiscard]] HRESULT RunScript(const char* text, BOOL install);

  // Runs the script held as resource (type, identifier) in the file fileName,
  // loaded as a data file. A file or resource that cannot be loaded gives the
  // platform's error as an HRESULT (E_FAIL if the platform names none).
  [[nodiscard]] HRESULT RunScriptResource(const char* fileName, UINT resourceId, const char* resourceType, BOOL install);

 private:
  ReplacementTable replacements_;
};

}  // namespace devlore
