#pragma once
// Runs the registration scripts the library carries as "REGISTRY" resources:
// install writes the keys and values a script describes, remove deletes them
// again, sparing what the script marks.
#include <windows.h>

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
HRESULT UpdateRegistryFromScript(HINSTANCE instance, UINT resourceId, BOOL install,
                                 const ScriptReplacement* extra);

}  // namespace devlore
