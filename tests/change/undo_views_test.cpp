// Undo records of changes in either view of HKEY_LOCAL_MACHINE\Software, natively: each names its
// key by the path under which the 64-bit registry editor (the one a double click starts on 64-bit
// Windows) reaches the key of the view the change was made in, and merged as that editor merges
// them (into the 64-bit view) they bring back the changed view and leave its twin alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "change/reg_action.h"
#include "files/reg_file_testing.h"
#include "files/undo_file.h"
#include "registry/forwarding_reg_api.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry_contract.h"
#include "support/temp_folder.h"
#include "support/value_data.h"

namespace keyloom::change {
namespace {

using reg::RawValue;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

RawValue Sz(std::u16string_view text) { return {reg::kRegSz, keyloom::testing::Utf16Z(text)}; }

// A system that cannot name keys.
class NamesNoKey : public reg::ForwardingRegApi {
 public:
  using ForwardingRegApi::ForwardingRegApi;
  reg::ErrorCode KeyRealName(reg::KeyHandle, std::string*) override {
    return reg::kCallNotImplemented;
  }
};

// The ground of a test: a memory registry, an undo writer with a fixed date, the debug log lines.
class UndoGround {
 public:
  explicit UndoGround(bool is_64bit_windows, bool names_keys = true) {
    reg::MemoryRegistry::Config config;
    config.is_64bit_windows = is_64bit_windows;
    memory_ = reg::NewMemoryRegistry(config);
    memory_->AddMachine("SERVER", true);
    if (!names_keys) silent_ = std::make_unique<NamesNoKey>(*memory_);
    api_ = silent_ ? static_cast<reg::RegApi*>(silent_.get()) : memory_.get();
    undo_ = std::make_unique<files::UndoFile>(
        *api_, [](const std::string&) {}, [] { return std::string("20240131"); },
        [this](const std::string& line) { debug_.push_back(line); });
    settings_.undo_folder = folder_.Utf8();
    is_64bit_windows_ = is_64bit_windows;
    Scan(0);
  }

  // SCANMETHOD: the view of the changes on 64-bit Windows.
  void Scan(int scan_method) {
    settings_.target.view = reg::ScanView(is_64bit_windows_, scan_method);
  }

  // HKEY_LOCAL_MACHINE of the machine, kept open.
  reg::KeyHandle Root(const std::string& machine) {
    reg::KeyHandle root = reg::kNullKey;
    EXPECT_EQ(memory_->ConnectRegistry(machine, reg::kLocalMachine, &root), reg::kSuccess);
    roots_.emplace_back(*memory_, root);
    return root;
  }

  void Put(reg::KeyHandle root, std::uint32_t view, const std::string& path,
           const std::string& name, const RawValue& value) {
    files::testing::detail::PutValue(*memory_, root, path, name, value, view);
  }

  std::string Change(int kind, const std::string& path, const std::string& value,
                     const std::string& data = "") {
    TRegAction action = TRegAction::Create(*api_, *undo_, settings_);
    action.RootKey = reg::kLocalMachine;
    action.KeyPath = path;
    action.ValueName = value;
    action.NewData = data;
    action.MachineName = settings_.target.machine;
    action.CreateUndo = true;
    if (kind == 0) {
      action.Delete();
    } else {
      action.ActionKind = kind;
      action.Execute();
    }
    return action.ErrorText;
  }

  std::filesystem::path UndoPath(int number) const {
    char name[40];
    std::snprintf(name, sizeof name, "UNDO-20240131-%.3d.REG", number);
    return folder_.path() / name;
  }
  Lines Body(int number) const {
    Lines lines = files::testing::ReadRegFileLines(UndoPath(number));
    return lines.size() < 4 ? Lines() : Lines(lines.begin() + 4, lines.end());
  }

  keyloom::testing::TempFolder folder_;
  std::unique_ptr<reg::MemoryRegistry> memory_;
  std::unique_ptr<NamesNoKey> silent_;
  reg::RegApi* api_ = nullptr;
  std::unique_ptr<files::UndoFile> undo_;
  files::ChangeSettings settings_;
  bool is_64bit_windows_ = false;
  std::vector<std::string> debug_;
  std::vector<reg::UniqueKey> roots_;
};

struct ViewCase {
  const char* name;
  bool is_64bit_windows;
  int scan_method;
  const char* machine;
  const char* written;  // how the file names HKEY_LOCAL_MACHINE\Software\App
  bool merge_32bit;     // the 32-bit registry editor reaches the changed view too
};

void PrintTo(const ViewCase& view, std::ostream* out) { *out << view.name; }

class UndoViews : public ::testing::TestWithParam<ViewCase> {
 protected:
  UndoViews() : ground_(GetParam().is_64bit_windows) {
    ground_.Scan(GetParam().scan_method);
    ground_.settings_.target.machine = GetParam().machine;
    root_ = ground_.Root(GetParam().machine);
    view_ = GetParam().scan_method == 1 ? k64 : k32;
    other_ = view_ == k64 ? k32 : k64;
    Populate(view_, u"mine");
    if (GetParam().is_64bit_windows) Populate(other_, u"twin");
  }

  void Populate(std::uint32_t view, std::u16string_view tag) {
    ground_.Put(root_, view, "Software\\App", "v", Sz(tag));
    ground_.Put(root_, view, "Software\\App\\Sub", "s", Sz(tag));
    ground_.Put(root_, view, "Software\\App\\Sub\\Deep", "d", Sz(tag));
  }
  reg::testing::TreeSnapshot Tree(std::uint32_t view) {
    return reg::testing::Snapshot(*ground_.memory_, root_, "Software\\App", view);
  }

  // A value update, a value rename, a key rename and a key delete, each with its own file.
  void MakeChanges() {
    ASSERT_EQ(ground_.Change(akUpdate, "\\Software\\App", "v", "new"), "");
    ASSERT_EQ(ground_.Change(akRename, "\\Software\\App", "v", "w"), "");
    ASSERT_EQ(ground_.Change(akRename, "\\Software\\App\\Sub", "", "\\Software\\App\\Sub2"), "");
    ASSERT_EQ(ground_.Change(0, "\\Software\\App", ""), "");
  }

  // Merges the newest `count` files, newest first, in `view`.
  void Merge(int count, std::uint32_t view) {
    const int last = ground_.undo_->Counter();
    for (int n = last; n > last - count; --n) {
      files::testing::MergeRegFile(*ground_.memory_, ground_.UndoPath(n), view);
    }
  }

  UndoGround ground_;
  reg::KeyHandle root_ = reg::kNullKey;
  std::uint32_t view_ = 0;
  std::uint32_t other_ = 0;
};

TEST_P(UndoViews, RecordsNameTheChangedViewsKeyAndMergeBackIntoIt) {
  const std::string key = std::string("[HKEY_LOCAL_MACHINE\\") + GetParam().written;
  const std::string removed = std::string("[-HKEY_LOCAL_MACHINE\\") + GetParam().written;
  const auto before = Tree(view_);
  const auto twin = Tree(other_);
  MakeChanges();
  EXPECT_THAT(ground_.Body(1), ElementsAre("", key + "]", "\"v\"=\"mine\""));
  EXPECT_THAT(ground_.Body(2), ElementsAre("", key + "]", "\"v\"=\"new\"", key + "]", "\"w\"=-"));
  EXPECT_THAT(ground_.Body(3),
              ElementsAre("", key + "\\Sub]", "\"s\"=\"mine\"", "", key + "\\Sub\\Deep]",
                          "\"d\"=\"mine\"", "", removed + "\\Sub2]"));
  EXPECT_THAT(ground_.Body(4),
              ElementsAre("", key + "]", "\"w\"=\"new\"", "", key + "\\Sub2]", "\"s\"=\"mine\"", "",
                          key + "\\Sub2\\Deep]", "\"d\"=\"mine\""));
  EXPECT_THAT(ground_.debug_, ElementsAre()) << "the system named every key";
  if (!GetParam().is_64bit_windows) return;  // one view: nothing more to tell apart
  EXPECT_EQ(Tree(other_), twin) << "the other view is never touched";
  if (*GetParam().machine != '\0') return;  // the test merger merges into the local registry

  Merge(4, k64);  // as the 64-bit registry editor does
  EXPECT_EQ(Tree(view_), before);
  EXPECT_EQ(Tree(other_), twin);
  if (!GetParam().merge_32bit) return;
  MakeChanges();
  Merge(4, k32);  // as the 32-bit one does
  EXPECT_EQ(Tree(view_), before);
  EXPECT_EQ(Tree(other_), twin);
}

INSTANTIATE_TEST_SUITE_P(
    Views, UndoViews,
    ::testing::Values(ViewCase{"View32", true, 0, "", "Software\\Wow6432Node\\App", true},
                      ViewCase{"View64", true, 1, "", "Software\\App", false},
                      ViewCase{"RemoteView32", true, 0, "\\\\SERVER", "Software\\Wow6432Node\\App",
                               true},
                      ViewCase{"RemoteView64", true, 1, "\\\\SERVER", "Software\\App", false},
                      ViewCase{"Windows32", false, 0, "", "Software\\App", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UndoViewsOneFile, TheSameKeyOfBothViewsIsTwoItemsAndEachIsRecordedOnce) {
  UndoGround ground(true);
  ground.settings_.separate_undo_files = false;
  for (const std::uint32_t view : {k32, k64}) {
    ground.Put(reg::kLocalMachine, view, "Software\\App", "v", Sz(view == k32 ? u"32" : u"64"));
  }
  for (const int scan : {0, 1}) {
    ground.Scan(scan);
    ASSERT_EQ(ground.Change(akUpdate, "\\Software\\App", "v", "new"), "");
  }
  ground.Scan(0);
  ASSERT_EQ(ground.Change(akRename, "\\Software\\App", "", "\\Software\\Moved"), "");
  EXPECT_THAT(
      ground.Body(1),
      ElementsAreArray(Lines{"", "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App]", "\"v\"=\"32\"",
                             "", "[HKEY_LOCAL_MACHINE\\Software\\App]", "\"v\"=\"64\"", "",
                             "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App]", "",
                             "[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Moved]"}))
      << "the renamed key's value is recorded already: its tree leaves it out";
}

TEST(UndoViewsNaming, SharedKeysAndTheOpenedSpellingAreKept) {
  UndoGround ground(true);
  ground.Put(reg::kLocalMachine, k32, "Software\\App", "v", Sz(u"x"));
  files::UndoRequest request;
  request.root = reg::kLocalMachine;
  request.key_path = "\\SOFTWARE\\app";
  request.value_name = "v";
  request.kind = files::RecordKind::kUpdate;
  ground.settings_.target.view = reg::RegView::kNone;  // one view: every key as opened
  ASSERT_EQ(ground.undo_->Record(request, ground.settings_), "");
  ground.Scan(0);
  ASSERT_EQ(ground.undo_->Record(request, ground.settings_), "");
  // HKEY_CURRENT_USER\Software is one key in both views.
  ground.Put(reg::kCurrentUser, k32, "Software\\Shared", "s", {reg::kRegDword, {1, 0, 0, 0}});
  request.root = reg::kCurrentUser;
  request.key_path = "Software\\Shared";
  request.value_name = "s";
  ASSERT_EQ(ground.undo_->Record(request, ground.settings_), "");
  EXPECT_THAT(ground.Body(1),
              ElementsAre("", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\app]", "\"v\"=\"x\""));
  EXPECT_THAT(ground.Body(2),
              ElementsAre("", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\app]", "\"v\"=\"x\""));
  EXPECT_THAT(ground.Body(3),
              ElementsAre("", "[HKEY_CURRENT_USER\\Software\\Shared]", "\"s\"=dword:00000001"));

  // The REG export names keys the same way.
  request.root = reg::kLocalMachine;
  request.key_path = "\\Software\\App";
  request.value_name.clear();
  files::SnapshotItem item;
  item.root = request.root;
  item.key_path = request.key_path;
  Lines exported;
  files::RegistrySnapshot snapshot({ground.api_, {}, [&ground](const std::string& line) {
                                      ground.debug_.push_back(line);
                                    }},
                                   files::ChangeView(ground.settings_));
  ASSERT_EQ(snapshot.ItemLines(item, &exported), "");
  EXPECT_THAT(exported,
              ElementsAre("", "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App]", "\"v\"=\"x\""));
  EXPECT_THAT(ground.debug_, ElementsAre());
}

// Where the system cannot name a key, the record keeps the path it was opened with and the debug
// log says so, once per record.
TEST(UndoViewsNaming, WhereTheSystemCannotSayTheOpenedPathIsWrittenAndLogged) {
  UndoGround ground(true, false);
  ground.Put(reg::kLocalMachine, k32, "Software\\App\\Sub", "s", Sz(u"x"));
  ASSERT_EQ(ground.Change(akRename, "\\Software\\App", "", "\\Software\\Moved"), "");
  EXPECT_THAT(ground.Body(1), ElementsAre("", "[HKEY_LOCAL_MACHINE\\Software\\App]", "",
                                          "[HKEY_LOCAL_MACHINE\\Software\\App\\Sub]", "\"s\"=\"x\"",
                                          "", "[-HKEY_LOCAL_MACHINE\\Software\\Moved]"));
  ASSERT_EQ(ground.debug_.size(), 2u) << "one line for the record before, one for the one after";
  EXPECT_THAT(ground.debug_[0], ::testing::HasSubstr("[HKEY_LOCAL_MACHINE\\Software\\App]"));
  EXPECT_THAT(ground.debug_[0], ::testing::HasSubstr(text::TrimMessage(
                                    ground.memory_->ErrorMessage(reg::kCallNotImplemented))));
}

}  // namespace
}  // namespace keyloom::change
