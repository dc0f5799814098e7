#include "contacts/contact_groups.h"

#include <optional>

#include "contacts/pinyin_initial.h"
#include "platform/file.h"
#include "platform/private_dir.h"
#include "tables/tables.h"

namespace tarvok::contacts {

const std::vector<ContactGroup>& ContactGroups() {
  static const std::vector<ContactGroup> groups = {
      {"按钮_ad", "A-D", "ad.edb", {"a", "b", "c", "ch", "d"}},
      {"按钮_eh", "E-H", "eh.edb", {"e", "f", "g", "h"}},
      {"按钮_il", "I-L", "il.edb", {"j", "k", "l"}},
      {"按钮_mp", "M-P", "mp.edb", {"m", "n", "o", "p"}},
      {"按钮_qt", "Q-T", "qt.edb", {"q", "r", "s", "sh", "t"}},
      {"按钮_uz", "U-Z", "uz.edb", {"w", "x", "y", "z", "zh"}},
  };
  return groups;
}

GroupResult BuildContactGroup(store::RecordStore& store, const ContactGroup& group,
                              const std::string& folder, BuiltGroup* built) {
  platform::FileSystem* fs = platform::CurrentFileSystem();
  built->path = fs->FullPath(folder + "/" + group.file);
  built->sources.clear();

  // A previous build of this group: closed and removed first.
  if (fs->Exists(built->path)) {
    if (store.IsTableOpen(built->path) && store.SelectTable(built->path)) store.CloseTable();
    fs->Remove(built->path);
  }
  if (!store.SelectTable(tables::kContactTable) || !store.CopyStructure(built->path)) {
    return GroupResult::kCopyFailed;
  }
  if (!store.OpenTable(built->path)) return GroupResult::kFailed;

  const std::string& name_field = tables::ContactNameField();
  for (const char* initial : group.initials) {
    const bool ok = store.AppendFrom(tables::kContactTable, [&] {
      // Runs on each contact of lxr35, which the store makes current meanwhile.
      if (store.IsDeleted()) return false;
      const store::Value v = store.ReadField(name_field);
      const auto* name = std::get_if<std::string>(&v);
      if (name == nullptr || PinyinInitial(name->substr(0, 2)) != initial) return false;
      built->sources.push_back(store.CurrentRecordNumber());
      return true;
    });
    if (!ok) return GroupResult::kFailed;
  }
  return GroupResult::kBuilt;
}

std::optional<std::string> ContactGroupFolder() {
  return platform::PrivateSubfolder(platform::DefaultPrivatePlaces(), "contacts");
}

}  // namespace tarvok::contacts
