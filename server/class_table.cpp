#include "server/class_table.h"

namespace devlore {

void RunStartStopHooks(ClassEntry* table, bool starting) {
  if (!table) return;
  for (ClassEntry* row = table; row->classId; ++row) {
    if (row->startStop) row->startStop(starting);
  }
}

void ReleaseCachedClassObjects(ClassEntry* table) {
  if (!table) return;
  for (ClassEntry* row = table; row->classId; ++row) {
    if (row->classObject) row->classObject->Release();
    row->classObject = nullptr;
    if (row->startStop) row->startStop(FALSE);
  }
}

}  // namespace devlore
