// The library's class table: the one creatable class, SysInfo. Kept apart from
// the table routines so that code using the module record alone does not pull
// in the control and the registrar.
#include "Devlore_h.h"
#include "control/sysinfo_factory.h"
#include "server/class_object.h"
#include "server/class_table.h"
#include "server/script_registrar.h"
#include "server/server_module.h"

namespace devlore {
namespace {

// Resource identifier of the SysInfo registration script (type "REGISTRY").
constexpr UINT kSysInfoScriptId = 102;

HRESULT UpdateSysInfoRegistration(BOOL install) {
  return UpdateRegistryFromScript(ModuleInstance(), kSysInfoScriptId, install, nullptr);
}

// SysInfo takes part in bulk registration (no description), declares no
// component categories and has no start/stop hook.
ClassEntry g_classTable[] = {
    {&CLSID_SysInfo, UpdateSysInfoRegistration, CreateClassObject, CreateSysInfoObject, nullptr, nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

ClassEntry* ServerClassTable() { return g_classTable; }

}  // namespace devlore
