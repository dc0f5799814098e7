// The initial-letter groups of the contact book. A group is shown by
// building a table of its own that holds copies of the matching contacts of
// lxr35, and pointing the contacts grid at that file.
//
//   button   caption  file     initials, in pass order
//   按钮_ad  A-D      ad.edb   a b c ch d
//   按钮_eh  E-H      eh.edb   e f g h
//   按钮_il  I-L      il.edb   j k l
//   按钮_mp  M-P      mp.edb   m n o p
//   按钮_qt  Q-T      qt.edb   q r s sh t
//   按钮_uz  U-Z      uz.edb   w x y z zh
//
// A contact belongs to the group of the pinyin initial of the first two
// bytes of its name (PinyinInitial), compared as a whole text: "c" does not
// take "ch" names. Names that begin with a Latin letter, a digit or a
// character read without initial other than a, o, e ("an", "ou" ...) are in
// no group.
//
// The group files live in a folder private to the user (never the shared
// temporary folder, where another user could read them or put a file of
// their own in their place before we open it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/record_store.h"

namespace tarvok::contacts {

struct ContactGroup {
  const char* button;   // unit name, UTF-8
  const char* caption;  // "A-D"
  const char* file;     // "ad.edb"
  std::vector<const char*> initials;
};

// The six groups, left to right.
const std::vector<ContactGroup>& ContactGroups();

// A group built: its file and, for each of its rows in order, the record
// number in lxr35 of the contact that row was copied from.
struct BuiltGroup {
  std::string path;  // GBK
  std::vector<int64_t> sources;
};

enum class GroupResult {
  kBuilt,
  kCopyFailed,  // the empty table could not be made ("复制结构失败")
  kFailed,      // it could not be opened or filled
};

// Builds `group` in `folder` (GBK, no trailing slash): a group file of that
// name that is open in the store is closed and the file deleted; an empty
// table with the fields of lxr35 is made there, opened (it stays open and
// current) and filled pass by pass, each pass appending in record order the
// contacts of lxr35 whose initial is the pass's. Deleted records of lxr35
// are left out.
GroupResult BuildContactGroup(store::RecordStore& store, const ContactGroup& group,
                              const std::string& folder, BuiltGroup* built);

// The folder of the group files: "contacts" in the user's private folder
// (platform/private_dir.h), GBK; nullopt when there is none.
std::optional<std::string> ContactGroupFolder();

}  // namespace tarvok::contacts
