// A rename is several registry steps (create, copy every value and subkey, delete the old tree).
// Whichever step a run is killed after, the undo file written before the first step must take the
// rename back alone: here the registry "dies" after its Nth call, for every N, and the undo files
// are merged newest first with the program's own reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>

#include "change/reg_action.h"
#include "files/undo_fixture.h"
#include "files/undo_numbering.h"
#include "registry/forwarding_reg_api.h"
#include "registry/registry_contract.h"

namespace keyloom::change {
namespace {

struct Killed : std::runtime_error {
  Killed() : std::runtime_error("the process was killed") {}
};

// A registry that answers `lives` calls and then no more: every later call throws, as if the
// process had died there (nothing after it reaches the registry or the disk). Closing handles
// changes nothing and stays possible.
class DiesAfter : public reg::ForwardingRegApi {
 public:
  DiesAfter(reg::RegApi& target, int lives) : ForwardingRegApi(target), lives_(lives) {}
  bool died() const { return died_; }

  reg::ErrorCode OpenKey(reg::KeyHandle parent, std::string_view path, std::uint32_t access,
                         reg::KeyHandle* result) override {
    Call();
    return ForwardingRegApi::OpenKey(parent, path, access, result);
  }
  reg::ErrorCode CreateKey(reg::KeyHandle parent, std::string_view path, std::uint32_t options,
                           std::uint32_t access, reg::KeyHandle* result, bool* created) override {
    Call();
    return ForwardingRegApi::CreateKey(parent, path, options, access, result, created);
  }
  reg::ErrorCode QueryInfoKey(reg::KeyHandle key, reg::KeyInfo* info) override {
    Call();
    return ForwardingRegApi::QueryInfoKey(key, info);
  }
  reg::ErrorCode EnumKey(reg::KeyHandle key, std::uint32_t index, std::string* name) override {
    Call();
    return ForwardingRegApi::EnumKey(key, index, name);
  }
  reg::ErrorCode EnumValue(reg::KeyHandle key, std::uint32_t index, std::string* name,
                           std::uint32_t* type, reg::Bytes* data) override {
    Call();
    return ForwardingRegApi::EnumValue(key, index, name, type, data);
  }
  reg::ErrorCode QueryValue(reg::KeyHandle key, std::string_view name, std::uint32_t* type,
                            reg::Bytes* data) override {
    Call();
    return ForwardingRegApi::QueryValue(key, name, type, data);
  }
  reg::ErrorCode SetValue(reg::KeyHandle key, std::string_view name, std::uint32_t type,
                          const reg::Bytes& data) override {
    Call();
    return ForwardingRegApi::SetValue(key, name, type, data);
  }
  reg::ErrorCode DeleteValue(reg::KeyHandle key, std::string_view name) override {
    Call();
    return ForwardingRegApi::DeleteValue(key, name);
  }
  reg::ErrorCode DeleteKey(reg::KeyHandle parent, std::string_view path,
                           std::uint32_t view) override {
    Call();
    return ForwardingRegApi::DeleteKey(parent, path, view);
  }
  reg::ErrorCode KeyRealName(reg::KeyHandle key, std::string* name) override {
    Call();
    return ForwardingRegApi::KeyRealName(key, name);
  }

 private:
  void Call() {
    if (lives_-- > 0) return;
    died_ = true;
    throw Killed();
  }

  int lives_;
  bool died_ = false;
};

class RenameKillTest : public files::testing::UndoFixture {
 protected:
  void Build() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, "Software", 0);
    PutString("Software\\X", "", u"top");
    PutString("Software\\X", "A", u"a");
    Put("Software\\X", "n", {reg::kRegDword, {1, 2, 3, 4}});
    PutString("Software\\X\\Sub", "s", u"1");
    PutString("Software\\X\\Sub\\Deep", "d", u"2");
    MakeKey("Software\\X\\Empty");
    PutString("Software\\New", "keep", u"there before");
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      std::filesystem::remove(entry.path());
    }
  }

  // Renames with the registry dying after `lives` calls; true when it died before the end.
  bool RenameDying(int lives, const std::string& value, const std::string& to) {
    DiesAfter dying(*api_, lives);
    files::UndoFile undo(dying, nullptr, [this] { return date_; });
    TRegAction action = TRegAction::Create(dying, undo, settings_);
    action.RootKey = reg::kCurrentUser;
    action.KeyPath = "\\Software\\X";
    action.ValueName = value;
    action.NewData = to;
    action.CreateUndo = true;
    action.ActionKind = akRename;
    try {
      action.Execute();
    } catch (const Killed&) {
      // Outside the action's own guard: the process is gone all the same.
    }
    if (!dying.died()) {
      EXPECT_EQ(action.ErrorText, "");
    }
    return dying.died();
  }

  void MergeNewestFirst() {
    std::map<int, std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      const int number = files::UndoFileNumber(entry.path().filename().string(), kDate);
      if (number != 0) files[number] = entry.path();
    }
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
      files::testing::MergeRegFile(*api_, it->second);
    }
  }
};

TEST_F(RenameKillTest, AKilledRenameIsTakenBackByItsUndoFileAfterEveryStep) {
  struct Case {
    const char* what;
    std::string value;
    std::string to;
    bool separate;
  };
  const Case cases[] = {
      {"key", "", "\\Software\\Y", true},
      {"key to a deeper path", "", "\\Software\\New\\Made\\Y", false},
      {"value", "A", "B", true},
  };
  for (const Case& c : cases) {
    settings_.separate_undo_files = c.separate;
    int lives = 0;
    for (bool died = true; died; ++lives) {
      SCOPED_TRACE(std::string(c.what) + ", killed after call " + std::to_string(lives));
      Build();
      const auto before = reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
      died = RenameDying(lives, c.value, c.to);
      MergeNewestFirst();
      ASSERT_EQ(reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software"), before);
    }
    EXPECT_GT(lives, 5) << c.what << ": the rename got through without dying";
  }
}

}  // namespace
}  // namespace keyloom::change
