// One password for the organiser's four tables, set or removed together.
//
// The tables take the new password one after another, in the order rz35,
// tx35, bw35, lxr35. Should one of them fail, the ones already changed get
// their previous password back, so that the four always share one password:
// a start decides from rz35.edb alone whether to ask for a password, and a
// table under another password than rz35's would lock the user out of it.
#pragma once

#include <functional>
#include <string>

#include "store/record_store.h"

namespace tarvok::tables {

struct SwitchResult {
  bool ok = false;        // all four took the new password
  bool restored = true;   // after a failure, every changed table has its old one again
};

// Sets `password` (empty: no protection) on the four open tables, which now
// have `previous`. `taken(table, password)` runs for each table after it
// takes a password, the new one or, when giving it back, the old one (the
// grids' providers follow with it).
SwitchResult SetAllTablesPassword(store::RecordStore& store, const std::string& password,
                                  const std::string& previous,
                                  const std::function<void(const char* table, const std::string& password)>& taken);

}  // namespace tarvok::tables
