#include "tables/password_switch.h"

#include <vector>

#include "tables/tables.h"

namespace tarvok::tables {

SwitchResult SetAllTablesPassword(store::RecordStore& store, const std::string& password,
                                  const std::string& previous,
                                  const std::function<void(const char* table, const std::string& password)>& taken) {
  SwitchResult result;
  std::vector<const char*> changed;
  for (const TableDef* t : AllTables()) {
    if (!store.SelectTable(t->name) || !store.SetPassword(password)) {
      // Back to one password for all: the changed ones, last first.
      for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
        if (store.SelectTable(*it) && store.SetPassword(previous)) {
          if (taken) taken(*it, previous);
        } else {
          result.restored = false;
        }
      }
      return result;
    }
    changed.push_back(t->name);
    if (taken) taken(t->name, password);
  }
  result.ok = true;
  return result;
}

}  // namespace tarvok::tables
