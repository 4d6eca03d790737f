// Opening the registry editor at a key, against the memory registry and a recording editor.
#include "edit/open_regedit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "files/undo_fixture.h"

namespace keyloom::edit {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = SteerStep::Kind;

// Records what it is asked; its tree ends at `lands_at` after steering, or at the LastKey it
// starts with when `honours_last_key`.
class RecordingEditor : public RegistryEditor {
 public:
  explicit RecordingEditor(reg::RegApi& api) : api_(api) {}
  bool IsRunning() override { return running; }
  bool Start() override {
    ++starts;
    if (!starts_up) return false;
    running = true;
    if (honours_last_key) selected = KeyOfEditorPath(LastKey());
    return true;
  }
  void Activate() override { ++activations; }
  void Perform(const SteerStep& step) override {
    steps.push_back(step);
    if (step.kind == Kind::kChar && step.pane == EditorPane::kTree) selected = lands_at;
  }
  std::optional<std::string> SelectedKey() override { return selected; }
  std::string TopItemName() override { return "My Computer"; }
  bool SlowDisplay() override { return slow; }

  std::string LastKey() {
    reg::KeyHandle key = reg::kNullKey;
    if (api_.OpenKey(reg::kCurrentUser, kRegeditAppletKey, reg::access::kRead, &key) !=
        reg::kSuccess) {
      return {};
    }
    std::uint32_t type = 0;
    reg::Bytes data;
    api_.QueryValue(key, kLastKeyValue, &type, &data);
    api_.CloseKey(key);
    return reg::StringOf(data);
  }

  bool running = false;
  bool starts_up = true;
  bool honours_last_key = false;
  bool slow = true;
  std::optional<std::string> selected;
  std::string lands_at;
  int starts = 0;
  int activations = 0;
  std::vector<SteerStep> steps;

 private:
  reg::RegApi& api_;
};

// The key strokes a user would type for `text`, as steps.
std::vector<SteerStep> Chars(EditorPane pane, std::string_view text) {
  std::vector<SteerStep> steps;
  for (char c : text) steps.push_back({Kind::kChar, pane, static_cast<std::uint32_t>(c)});
  return steps;
}

class OpenRegeditTest : public files::testing::UndoFixture {
 protected:
  void Open(std::string_view root, std::string_view value, std::string_view path) {
    // The search's view: none on 32-bit Windows, else the one SCANMETHOD chooses.
    config::Settings settings;
    settings.scanmethod = view_ == reg::RegView::k64 ? 1 : 0;
    const config::SettingsStore store(settings);
    engine::RunContext context;
    context.api = api_.get();
    context.settings = &store;
    context.program.is_64bit_windows = view_ != reg::RegView::kNone;
    context.log = [this](const std::string& line, bool) { lines_.push_back(line); };
    OpenRegeditAt(
        context, editor_, [this](const std::string& text) { errors_.push_back(text); }, root, value,
        path);
  }
  void SetLastKey(const std::string& text) {
    Put(std::string(kRegeditAppletKey), std::string(kLastKeyValue),
        {reg::kRegSz, reg::StringData(text)});
  }

  reg::RegView view_ = reg::RegView::kNone;
  RecordingEditor editor_{*api_};
  std::vector<std::string> lines_;
  std::vector<std::string> errors_;
};

TEST_F(OpenRegeditTest, ARunningEditorIsSteeredKeyByKeyAndThenToTheValue) {
  MakeKey("SOFTWARE\\Example", reg::kLocalMachine);
  editor_.running = true;
  editor_.lands_at = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example";
  Open("HKEY_LOCAL_MACHINE", "Setting", "SOFTWARE\\Example");

  const SteerStep left{Kind::kKeyDown, EditorPane::kTree, kVkLeft};
  const SteerStep right{Kind::kKeyDown, EditorPane::kTree, kVkRight};
  const SteerStep level{Kind::kPause, EditorPane::kTree, kLevelPauseMs};
  std::vector<SteerStep> expected{{Kind::kFocus, EditorPane::kTree, 0}};
  expected.insert(expected.end(), 30, left);
  expected.push_back({Kind::kPause, EditorPane::kTree, kTreeSettleMs});
  expected.push_back(right);
  for (const auto& [name, last] : {std::pair{"HKEY_LOCAL_MACHINE", false},
                                   std::pair{"SOFTWARE", false}, std::pair{"EXAMPLE", true}}) {
    const auto chars = Chars(EditorPane::kTree, name);
    expected.insert(expected.end(), chars.begin(), chars.end());
    if (!last) expected.insert(expected.end(), {right, level});
  }
  expected.push_back({Kind::kFocus, EditorPane::kValues, 0});
  expected.push_back({Kind::kPause, EditorPane::kTree, kValueListPauseMs});
  expected.push_back({Kind::kKeyDown, EditorPane::kValues, kVkHome});
  const auto value = Chars(EditorPane::kValues, "SETTING");
  expected.insert(expected.end(), value.begin(), value.end());
  EXPECT_EQ(editor_.steps, expected);

  EXPECT_EQ(editor_.starts, 0);
  EXPECT_EQ(editor_.LastKey(), "");  // a running editor's LastKey is left alone
  EXPECT_THAT(lines_, IsEmpty());
  EXPECT_THAT(errors_, IsEmpty());
}

TEST_F(OpenRegeditTest, OnAFastDisplayOnlyTheLevelsWaitAndAnUnnamedValueNeedsNoValueList) {
  MakeKey("Software\\A b", reg::kCurrentUser);
  editor_.running = true;
  editor_.slow = false;
  editor_.lands_at = "HKEY_CURRENT_USER\\Software\\A b";
  Open("HKEY_CURRENT_USER", "", "\\Software\\A b");
  std::string typed;
  int pauses = 0;
  for (const SteerStep& step : editor_.steps) {
    EXPECT_EQ(step.pane, EditorPane::kTree);
    if (step.kind == Kind::kChar) typed += static_cast<char>(step.code);
    if (step.kind == Kind::kPause) ++pauses;
  }
  EXPECT_EQ(typed, "HKEY_CURRENT_USERSOFTWAREA B");  // one backslash between root and path
  EXPECT_EQ(pauses, 2);
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(OpenRegeditTest, ANewEditorStartsAtTheLastKeyWrittenForItAndNeedsNoKeyStrokes) {
  MakeKey("Software\\Example", reg::kCurrentUser);
  editor_.honours_last_key = true;
  Open("HKEY_CURRENT_USER", "Setting", "\\Software\\Example");
  EXPECT_EQ(editor_.starts, 1);
  // No LastKey before: the editor's own top item name.
  EXPECT_EQ(editor_.LastKey(), "My Computer\\HKEY_CURRENT_USER\\Software\\Example");
  ASSERT_FALSE(editor_.steps.empty());
  EXPECT_EQ(editor_.steps.front(), (SteerStep{Kind::kFocus, EditorPane::kValues, 0}));
  EXPECT_THAT(lines_, IsEmpty());

  // The top item's name as the last LastKey wrote it, or none when it began with a root.
  for (const auto& [last, written] :
       {std::pair{"Computer\\HKEY_USERS\\.DEFAULT",
                  "Computer\\HKEY_CURRENT_USER\\Software\\Example"},
        std::pair{"HKEY_USERS", "HKEY_CURRENT_USER\\Software\\Example"}}) {
    SetLastKey(last);
    editor_.running = false;
    Open("HKEY_CURRENT_USER", "", "\\Software\\Example");
    EXPECT_EQ(editor_.LastKey(), written);
  }
}

TEST_F(OpenRegeditTest, ANewEditorThatIgnoresLastKeyIsSteeredAndAWrongEndIsLogged) {
  MakeKey("Software\\Example", reg::kCurrentUser);
  editor_.selected = "";
  editor_.lands_at = "HKEY_CURRENT_USER\\Software";
  Open("HKEY_CURRENT_USER", "", "\\Software\\Example");
  EXPECT_EQ(editor_.steps.size(),
            TreeSteering("HKEY_CURRENT_USER\\Software\\Example", true).size());
  EXPECT_THAT(lines_, ElementsAre("Regedit could not reach [HKEY_CURRENT_USER\\Software\\Example], "
                                  "it stopped at [HKEY_CURRENT_USER\\Software]"));
}

TEST_F(OpenRegeditTest, AMissingKeyOrAnEditorThatDoesNotComeUpEndsWithOneMessage) {
  Open("HKEY_CURRENT_USER", "", "\\Software\\Gone");
  Open("HKEY_NOWHERE", "", "\\Software");
  EXPECT_THAT(lines_,
              ElementsAre("Registry Key no longer exists?", "Registry Key no longer exists?"));
  EXPECT_EQ(editor_.starts, 0);

  // The key is looked for in the search's view.
  Put("Software\\Only64", "v", {reg::kRegSz, reg::StringData("x")}, reg::kLocalMachine,
      reg::access::kWow64_64Key);
  view_ = reg::RegView::k32;
  Open("HKEY_LOCAL_MACHINE", "", "\\Software\\Only64");
  EXPECT_EQ(lines_.size(), 3u);
  EXPECT_EQ(editor_.starts, 0);

  lines_.clear();
  view_ = reg::RegView::k64;
  editor_.starts_up = false;
  Open("HKEY_LOCAL_MACHINE", "v", "\\Software\\Only64");
  EXPECT_EQ(editor_.starts, 1);
  EXPECT_THAT(errors_, ElementsAre("Keyloom was unable to launch Regedit."));
  EXPECT_THAT(editor_.steps, IsEmpty());
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(OpenRegeditTest, AKeyOfThe32BitViewIsShownWhereThe64BitEditorFindsIt) {
  // HKEY_LOCAL_MACHINE\Software\X of the 32-bit view is ...\Software\Wow6432Node\X for the
  // editor (memory registry: it keeps that redirection as 64-bit Windows does).
  Put("Software\\X", "v", {reg::kRegSz, reg::StringData("x")}, reg::kLocalMachine,
      reg::access::kWow64_32Key);
  view_ = reg::RegView::k32;
  editor_.honours_last_key = true;
  Open("HKEY_LOCAL_MACHINE", "", "\\Software\\X");
  EXPECT_EQ(editor_.LastKey(), "My Computer\\HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\X");
  EXPECT_THAT(lines_, IsEmpty());
}

TEST(KeyOfEditorPathTest, DropsTheTopItemName) {
  EXPECT_EQ(KeyOfEditorPath("My Computer\\HKEY_USERS\\KL_Load"), "HKEY_USERS\\KL_Load");
  EXPECT_EQ(KeyOfEditorPath("HKEY_USERS\\KL_Load"), "HKEY_USERS\\KL_Load");
  EXPECT_EQ(KeyOfEditorPath("Computer"), "");
  EXPECT_EQ(KeyOfEditorPath("HKEY_USERS"), "HKEY_USERS");
}

}  // namespace
}  // namespace keyloom::edit
