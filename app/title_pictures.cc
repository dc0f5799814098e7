#include "app/title_pictures.h"

#include "app/settings.h"
#include "pictures/default_pictures.h"
#include "platform/file.h"
#include "platform/gbk.h"
#include "platform/whole_file.h"
#include "ui/dialogs.h"

namespace tarvok::app {
namespace {

struct TitleBox {
  const char* box;      // picture box, UTF-8
  const char* key;      // key in 标题图片, UTF-8
  const char* default_file;
};

constexpr TitleBox kBoxes[] = {
    {"图片框_今日", "今日", "jr.jpg"},
    {"图片框_总览", "总览", "zl.jpg"},
    {"图片框_便签", "便签", "bq.jpg"},
    {"图片框_联系人", "联系人", "lxr.jpg"},
};

std::string PicFolder(const ui::Context& ctx) { return ctx.Path("pic"); }

std::string PictureName(const ui::Context& ctx, const TitleBox& b) {
  return ReadSetting(ctx, "标题图片"_gbk, Utf8ToGbk(b.key), b.default_file);
}

void ShowOne(ui::Context& ctx, const TitleBox& b) {
  ui::PictureBox box = ctx.units().Picture(Utf8ToGbk(b.box));
  const auto bytes = platform::ReadWholeFile(PicFolder(ctx) + "/" + PictureName(ctx, b));
  if (!bytes || !box.SetPicture(*bytes)) box.Clear();
}

void WriteDefault(const std::string& folder, const pictures::DefaultPicture& p) {
  platform::WriteWholeFile(folder + "/" + p.file, p.bytes);
}

// The part of a path after its last '/' (the whole path when it has none).
std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void PrepareTitlePictures(ui::Context& ctx) {
  const std::string folder = PicFolder(ctx);
  platform::FileSystem* fs = platform::CurrentFileSystem();
  const bool created = platform::MakeFolder(folder) == platform::FolderResult::kCreated;
  for (const pictures::DefaultPicture& p : pictures::DefaultPictures()) {
    if (created || !fs->Exists(folder + "/" + p.file)) WriteDefault(folder, p);
  }
}

void ShowTitlePictures(ui::Context& ctx) {
  for (const TitleBox& b : kBoxes) ShowOne(ctx, b);
}

void ChangeTitlePicture(ui::Context& ctx, int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kBoxes))) return;
  const TitleBox& b = kBoxes[index];
  if (!ui::Ask("需要修改标题图片吗？"_gbk, ui::TitleQuestion())) return;
  const auto chosen = ui::Dialogs().OpenFile(
      {"请选择一个图片文件，大小最好是390*50像素"_gbk, "图片文件（支持JPG、GIF格式） (*.jpg *.gif)"_gbk});
  if (!chosen) return;

  const std::string name = FileNameOf(*chosen);
  const std::string target = PicFolder(ctx) + "/" + name;
  platform::FileSystem* fs = platform::CurrentFileSystem();
  const bool same_file = !name.empty() && fs->FullPath(*chosen) == fs->FullPath(target);
  if (!same_file) {
    if (!name.empty() && fs->Exists(target) &&
        !ui::Ask("“pic”文件夹中已有名为“"_gbk + name + "”的图片，要替换它吗？"_gbk,
                 ui::TitleQuestion())) {
      return;
    }
    platform::MakeFolder(PicFolder(ctx));
    const auto bytes = name.empty() ? std::nullopt : platform::ReadWholeFile(*chosen);
    if (!bytes || platform::WriteWholeFile(target, *bytes) != 0) {
      ui::ShowPlain("复制图片文件失败！"_gbk);
      return;
    }
  }
  WriteSetting(ctx, "标题图片"_gbk, Utf8ToGbk(b.key), name);
  ShowOne(ctx, b);
}

void ShowPictureHint(ui::Context& ctx, int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kBoxes))) return;
  ctx.units().Picture(Utf8ToGbk(kBoxes[index].box)).SetHint("双击可修改图片"_gbk);
}

void ConnectTitlePictures(ui::Context& ctx) {
  ui::Context* c = &ctx;
  for (int i = 0; i < static_cast<int>(std::size(kBoxes)); ++i) {
    ui::PictureBox box = ctx.units().Picture(Utf8ToGbk(kBoxes[i].box));
    box.OnDoubleClick([c, i] { ChangeTitlePicture(*c, i); });
    box.OnMouseMove([c, i] { ShowPictureHint(*c, i); });
  }
}

}  // namespace tarvok::app
