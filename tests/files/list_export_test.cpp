// The Key List's exports and the log save against the memory registry, with a scripted window:
// the lines a spreadsheet gets, the file that recreates the listed items, and every way an export
// can end without harming the file that was there before.
#include "files/list_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "engine/status_log.h"
#include "files/export_flow.h"
#include "files/undo_fixture.h"
#include "registry/forwarding_reg_api.h"
#include "registry/registry_contract.h"

namespace keyloom::files::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Strings = std::vector<std::string>;

class ItemRows final : public ExportRows {
 public:
  ItemRows(std::initializer_list<ExportItem> items) : items_(items) {}
  std::size_t size() const override { return items_.size(); }
  std::optional<ExportItem> Item(std::size_t index) const override { return items_[index]; }

 private:
  std::vector<ExportItem> items_;
};

// The window, scripted: every call is recorded as one line of text, in order.
class ScriptedHost final : public ExportHost {
 public:
  bool run_in_progress = false;
  std::optional<std::string> file;  // what the save dialog returns
  bool answer_yes = true;
  Strings calls;

  bool RunInProgress() override { return run_in_progress; }
  void EnableRunButtons(bool on) override { calls.push_back(on ? "buttons on" : "buttons off"); }
  std::optional<std::string> PickSaveFile(const SaveDialogOptions& dialog) override {
    calls.push_back("dialog " + dialog.title + " | " + dialog.filter + " | " +
                    dialog.default_extension);
    return file;
  }
  bool Confirm(const std::string& question) override {
    calls.push_back("ask " + question);
    return answer_yes;
  }
  void ShowError(const std::string& text) override { calls.push_back("error " + text); }
  void SetStatusBar(const std::string& text) override { calls.push_back("bar " + text); }
  void Log(const std::string& line) override { calls.push_back("log " + line); }
  bool Silent() override { return false; }
};

class ListExportTest : public UndoFixture {
 protected:
  ListExportTest() {
    // A key row of \Software\X, its unnamed value abc; a DWORD of -1; bytes 01 02.
    PutString("Software\\X", "", u"abc");
    Put("Software\\X", "Count", {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}});
    Put("Software\\X", "Data", {reg::kRegBinary, {0x01, 0x02}});
    context_.reader = {api_.get(), [this](const std::string& line) { log_.push_back(line); }, {}};
    context_.settings = settings_;
    context_.log = [this](const std::string& line) { log_.push_back(line); };
  }

  std::filesystem::path Target(const std::string& name) const { return folder_.path() / name; }
  // The CSV file's lines after its byte-order mark.
  Strings CsvLines(const std::filesystem::path& file) const {
    const std::string bytes = keyloom::testing::ReadBytes(file);
    EXPECT_EQ(bytes.substr(0, 3), kUtf8Bom);
    return SplitCrLf(std::string_view(bytes).substr(std::min<std::size_t>(3, bytes.size())));
  }

  ItemRows example_{{"HKEY_CURRENT_USER", "\\Software\\X", ""},
                    {"HKEY_CURRENT_USER", "\\Software\\X", "Count"},
                    {"HKEY_CURRENT_USER", "\\Software\\X", "Data"}};
  ExportContext context_;
  ScriptedHost host_;
};

TEST(CsvField, QuotesOnlyWhatWouldSplitTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"C:\\Temp", "C:\\Temp"},
      {"01,02", "\"01,02\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"line\nfeed", "\"line\nfeed\""},
      {"Grüße 日本", "Grüße 日本"},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

// A row in a user's hive ends with its user.
TEST_F(ListExportTest, CsvQuotesFieldsKeepsOtherScriptsAndSkipsRowsItCannotRead) {
  PutString("Software\\Ключ, \"q\"", "Name,1", u"日本\r\nzwei");
  ItemRows rows{{"HKEY_CURRENT_USER", "\\Software\\Ключ, \"q\"", "Name,1"},
                {"HKEY_CURRENT_USER", "\\Software\\Gone", ""},
                {"HKEY_NOWHERE", "\\Software\\X", ""},
                {"HKEY_CURRENT_USER", "\\Software\\X", "Missing"},
                {"HKEY_CURRENT_USER", "\\Software\\X", "Count", "Smith, Ann"}};
  ASSERT_EQ(WriteCsvExport(Target("list.csv"), rows, context_), ExportOutcome::kSaved);
  // A quoted line break stays inside its field: the file is compared whole.
  EXPECT_EQ(keyloom::testing::ReadBytes(Target("list.csv")),
            std::string(kUtf8Bom) +
                "HKEY_CURRENT_USER,\"\\Software\\Ключ, \"\"q\"\"\",\"Name,1\",\"日本\r\nzwei\"\r\n"
                "HKEY_CURRENT_USER,\\Software\\X,Missing,\r\n"
                "HKEY_CURRENT_USER,\\Software\\X,Count,-1,\"Smith, Ann\"\r\n");
  EXPECT_THAT(log_, ElementsAre("Error access Key : HKEY_CURRENT_USER\\Software\\Gone",
                                "Error access Key : HKEY_NOWHERE\\Software\\X"));
}

// A run over every user's profile unloads the hives it loaded: an export of its rows loads them
// again for its time, under the same names, and unloads them after; a hive that cannot be loaded
// is named, and its rows are logged as unreadable.
TEST_F(ListExportTest, RowsInAUsersHiveAreReadWithTheHiveLoadedAgain) {
  PutString("Seed\\Software\\App", "Path", u"old-ann");
  const std::string hive = base::PathToUtf8(Target("NTUSER.DAT"));
  {
    const reg::PrivilegeScope backup(*api_, "SeBackupPrivilege");
    reg::TRegistry reg(*api_);
    ASSERT_TRUE(reg.SaveKey("\\Seed", hive)) << reg.LastErrorText();
  }
  const std::string missing = base::PathToUtf8(Target("gone.dat"));
  context_.hives = {{"KL_Ann", hive}, {"KL_Gone", missing}};
  const ItemRows rows{{"HKEY_USERS", "\\KL_Ann\\Software\\App", "Path", "ann"},
                      {"HKEY_USERS", "\\KL_Gone\\Software", "", "gone"}};
  ASSERT_EQ(WriteCsvExport(Target("list.csv"), rows, context_), ExportOutcome::kSaved);
  ASSERT_EQ(WriteRegExport(Target("list.reg"), rows, context_), ExportOutcome::kSaved);
  EXPECT_THAT(CsvLines(Target("list.csv")),
              ElementsAre("HKEY_USERS,\\KL_Ann\\Software\\App,Path,old-ann,ann"));
  EXPECT_THAT(ReadRegFileLines(Target("list.reg")),
              Contains("[HKEY_USERS\\KL_Ann\\Software\\App]"));
  const std::string not_loaded = "Unable to load [" + missing + "] as [HKEY_USERS\\KL_Gone] [" +
                                 text::TrimMessage(api_->ErrorMessage(reg::kFileNotFound)) + "]";
  // The CSV export names the row it cannot read; both exports name the hive.
  EXPECT_THAT(log_, ElementsAre(not_loaded, "Error access Key : HKEY_USERS\\KL_Gone\\Software",
                                not_loaded));
  reg::KeyHandle left = reg::kNullKey;
  EXPECT_EQ(api_->OpenKey(reg::kUsers, "KL_Ann", reg::access::kRead, &left), reg::kFileNotFound);

  // Loaded already (a run under way holds it): read where it is and left to its run.
  const reg::PrivilegeScope restore(*api_, "SeRestorePrivilege");
  ASSERT_EQ(api_->LoadKey(reg::kUsers, "KL_Ann", hive), reg::kSuccess);
  Put("KL_Ann\\Software\\App", "Path", {reg::kRegSz, Utf16Z(u"new-ann")}, reg::kUsers);
  ASSERT_EQ(WriteCsvExport(Target("list.csv"), rows, context_), ExportOutcome::kSaved);
  EXPECT_THAT(CsvLines(Target("list.csv")),
              ElementsAre("HKEY_USERS,\\KL_Ann\\Software\\App,Path,new-ann,ann"));
  ASSERT_EQ(api_->OpenKey(reg::kUsers, "KL_Ann", reg::access::kRead, &left), reg::kSuccess);
  api_->CloseKey(left);
  EXPECT_EQ(api_->UnLoadKey(reg::kUsers, "KL_Ann"), reg::kSuccess);
}

TEST_F(ListExportTest, RegExportRecreatesTheListedItemsWhenMerged) {
  MakeKey("Software\\X\\Sub");
  PutString("Software\\X\\Sub", "Deep", u"d");
  PutString("Software\\Y", "Only", u"y");
  PutString("Software\\Y", "Other", u"not listed");
  machine_ = "";
  ItemRows rows{{"HKEY_CURRENT_USER", "\\Software\\X", ""},  // a key row or "(Default)": the tree
                {"HKEY_CURRENT_USER", "\\Software\\Y", "Only"}};
  const auto before_x = reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software\\X");
  ASSERT_EQ(WriteRegExport(Target("list.reg"), rows, context_), ExportOutcome::kSaved);
  EXPECT_THAT(
      ReadRegFileLines(Target("list.reg")),
      ElementsAre("Windows Registry Editor Version 5.00", "",
                  ";This registry file was created by Keyloom (keyloom.dev)",
                  ";This undo file should be run on the [] machine", "",
                  "[HKEY_CURRENT_USER\\Software\\X]", "@=\"abc\"", "\"Count\"=dword:ffffffff",
                  "\"Data\"=hex:01,02", "", "[HKEY_CURRENT_USER\\Software\\X\\Sub]",
                  "\"Deep\"=\"d\"", "", "[HKEY_CURRENT_USER\\Software\\Y]", "\"Only\"=\"y\""));

  detail::DeleteTree(*api_, reg::kCurrentUser, "Software", 0);
  MergeRegFile(*api_, Target("list.reg"));
  EXPECT_EQ(reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software\\X"), before_x);
  const auto y = reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software\\Y");
  ASSERT_EQ(y.size(), 1u);
  EXPECT_EQ(y.begin()->second.size(), 1u);  // only the listed value came back
  EXPECT_EQ(undo_.Counter(), 0);            // the export touches no undo numbering
}

// Counts the connections to other machines and the keys the system is asked to name.
class CountingRegApi final : public reg::ForwardingRegApi {
 public:
  using ForwardingRegApi::ForwardingRegApi;
  int connections = 0;
  int namings = 0;
  reg::ErrorCode ConnectRegistry(std::string_view machine, reg::KeyHandle root,
                                 reg::KeyHandle* result) override {
    ++connections;
    return ForwardingRegApi::ConnectRegistry(machine, root, result);
  }
  reg::ErrorCode KeyRealName(reg::KeyHandle key, std::string* name) override {
    ++namings;
    return ForwardingRegApi::KeyRealName(key, name);
  }
};

// An export reads a remote list there, through one connection per root, and names the machine
// in the REG file's header (a machine that cannot be
// reached is tried once per root, every row it holds left out and reported), and names a key of the
// 32-bit view once for all its values.
TEST_F(ListExportTest, ExportsReadARemoteListThroughOneConnectionAndNameEachKeyOnce) {
  CountingRegApi counting(*api_);
  context_.reader = {&counting, [this](const std::string& line) { log_.push_back(line); }, {}};
  for (const char* name : {"A", "B", "C"}) PutRemoteString("\\\\NEAR", "Software\\X", name, u"v");
  const ItemRows remote{{"HKEY_LOCAL_MACHINE", "\\Software\\X", "A"},
                        {"HKEY_LOCAL_MACHINE", "\\Software\\X", "B"},
                        {"HKEY_USERS", "\\Software\\X", "C"},
                        {"HKEY_LOCAL_MACHINE", "\\Software\\X", "C"}};
  context_.settings.target.machine = "\\\\NEAR";
  ASSERT_EQ(WriteCsvExport(Target("far.csv"), remote, context_), ExportOutcome::kSaved);
  EXPECT_EQ(counting.connections, 2);  // one for each root
  EXPECT_THAT(CsvLines(Target("far.csv")), ElementsAre("HKEY_LOCAL_MACHINE,\\Software\\X,A,v",
                                                       "HKEY_LOCAL_MACHINE,\\Software\\X,B,v",
                                                       "HKEY_LOCAL_MACHINE,\\Software\\X,C,v"));
  counting.connections = 0;
  ASSERT_EQ(WriteRegExport(Target("far.reg"), remote, context_), ExportOutcome::kSaved);
  EXPECT_EQ(counting.connections, 2);
  const Strings far = ReadRegFileLines(Target("far.reg"));
  EXPECT_EQ(far[3], ";This undo file should be run on the [\\\\NEAR] machine");
  EXPECT_EQ(std::count(far.begin(), far.end(), "\"C\"=\"v\""), 1);

  log_.clear();
  counting.connections = 0;
  context_.settings.target.machine = "\\\\FAR";
  ASSERT_EQ(WriteCsvExport(Target("far.csv"), remote, context_), ExportOutcome::kSaved);
  EXPECT_EQ(counting.connections, 2);
  EXPECT_TRUE(CsvLines(Target("far.csv")).empty());
  const auto refused = StartsWith("Error connecting to remote machine while saving UNDO: [");
  EXPECT_THAT(log_, ElementsAre(refused, "Error access Key : HKEY_LOCAL_MACHINE\\Software\\X",
                                "Error access Key : HKEY_LOCAL_MACHINE\\Software\\X", refused,
                                "Error access Key : HKEY_USERS\\Software\\X",
                                "Error access Key : HKEY_LOCAL_MACHINE\\Software\\X"));

  // The 32-bit view of 64-bit Windows, where every key's name is asked for.
  context_.settings.target.machine = "";
  context_.settings.target.view = reg::RegView::k32;
  Put("Software\\X", "Count2", {reg::kRegDword, {1, 0, 0, 0}}, reg::kCurrentUser,
      reg::access::kWow64_32Key);
  const ItemRows local{{"HKEY_CURRENT_USER", "\\Software\\X", "Count"},
                       {"HKEY_CURRENT_USER", "\\Software\\X", "Data"},
                       {"HKEY_CURRENT_USER", "\\Software\\X", "Count2"}};
  counting.namings = 0;
  ASSERT_EQ(WriteRegExport(Target("views.reg"), local, context_), ExportOutcome::kSaved);
  const int once = counting.namings;
  counting.namings = 0;
  for (std::size_t i = 0; i < 3; ++i) {  // each row as an export of its own
    SnapshotItem request;
    request.root = reg::kCurrentUser;
    request.key_path = "\\Software\\X";
    request.value_name = local.Item(i)->value_name;
    Strings lines;
    RegistrySnapshot snapshot(context_.reader, ChangeView(context_.settings));
    ASSERT_EQ(snapshot.ItemLines(request, &lines), "");
  }
  EXPECT_GT(once, 0);
  EXPECT_EQ(counting.namings, 3 * once);
  EXPECT_THAT(ReadRegFileLines(Target("views.reg")),
              ::testing::Contains("\"Count2\"=dword:00000001"));
}

TEST_F(ListExportTest, ASavedExportHoldsTheListInOrderSaysSoAndGivesTheButtonsBack) {
  host_.file = base::PathToUtf8(Target("list.csv"));
  ExportFile(host_, ExportKind::kCsv, example_, context_);
  EXPECT_THAT(
      host_.calls,
      ElementsAre("buttons off",
                  "dialog Save CSV List | Comma Delimited|*.csv|Text File|*.txt|All "
                  "Files|*.* | csv",
                  "bar Please wait Creating export file", "buttons on", "log ** File Saved **"));
  EXPECT_THAT(CsvLines(Target("list.csv")),
              ElementsAre("HKEY_CURRENT_USER,\\Software\\X,,abc",
                          "HKEY_CURRENT_USER,\\Software\\X,Count,-1",
                          "HKEY_CURRENT_USER,\\Software\\X,Data,\"01,02\""));
  EXPECT_TRUE(log_.empty());

  host_.calls.clear();
  host_.file = base::PathToUtf8(Target("list.reg"));
  ExportFile(host_, ExportKind::kReg, example_, context_);
  EXPECT_EQ(host_.calls[1], "dialog Save REG File | REG File|*.reg|All Files|*.* | reg");
  EXPECT_EQ(host_.calls.back(), "log ** File Saved **");
}

TEST_F(ListExportTest, EveryWayOutLeavesTheFormerFileAsItWas) {
  const auto file = Target("list.csv");
  keyloom::testing::WriteBytes(file, "former");
  host_.file = base::PathToUtf8(file);
  const std::string question = "ask Erase " + *host_.file + "?";

  // An empty list does nothing; a running search is told so.
  ExportFile(host_, ExportKind::kCsv, ItemRows{}, context_);
  EXPECT_TRUE(host_.calls.empty());
  host_.run_in_progress = true;
  ExportFile(host_, ExportKind::kCsv, example_, context_);
  ExportFile(host_, ExportKind::kReg, example_, context_);
  EXPECT_THAT(host_.calls, ElementsAre("log You cannot \"Export to CSV File\" while searching..",
                                       "log You cannot \"Export to REG File\" while searching.."));
  host_.run_in_progress = false;
  host_.calls.clear();

  // No to the erase question: nothing written, nothing logged.
  host_.answer_yes = false;
  ExportFile(host_, ExportKind::kCsv, example_, context_);
  EXPECT_THAT(host_.calls,
              ElementsAre("buttons off", StartsWith("dialog "), question, "buttons on"));

  // The disk fills up during the rows: the error, the buttons back, and the former file.
  host_.answer_yes = true;
  for (const ExportKind kind : {ExportKind::kCsv, ExportKind::kReg}) {
    int writes = 0;
    context_.writer = [&writes](std::FILE* f, std::string_view bytes) {
      return ++writes < 3 && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    };
    host_.calls.clear();
    ExportFile(host_, kind, example_, context_);
    EXPECT_THAT(host_.calls.back(),
                AllOf(StartsWith("error File I/O error. [" + base::PathToUtf8(file) + ": "),
                      EndsWith(".]")));
    EXPECT_EQ(host_.calls[host_.calls.size() - 3], "buttons on");
  }

  // Cancelled on its thread.
  context_.writer = {};
  ExportProgress progress;
  progress.cancel = true;
  EXPECT_EQ(WriteCsvExport(file, example_, context_, &progress), ExportOutcome::kCancelled);
  EXPECT_EQ(WriteRegExport(file, example_, context_, &progress), ExportOutcome::kCancelled);
  FinishExport(host_, ExportOutcome::kCancelled);
  EXPECT_EQ(host_.calls.back(), "log Export cancelled, the file was not written.");

  EXPECT_EQ(keyloom::testing::ReadBytes(file), "former");
  EXPECT_FALSE(std::filesystem::exists(base::TempPathFor(file)));
  EXPECT_TRUE(log_.empty());

  // A file that cannot be replaced is refused before anything is written.
  const auto folder = Target("taken.csv");
  std::filesystem::create_directory(folder);
  host_.file = base::PathToUtf8(folder);
  host_.calls.clear();
  ExportFile(host_, ExportKind::kCsv, example_, context_);
  EXPECT_THAT(host_.calls,
              ElementsAre("buttons off", StartsWith("dialog "), "ask Erase " + *host_.file + "?",
                          "error Unable to Delete file", "buttons on"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(ExportBarText, GrowsByOneDotTo51CharactersThenStartsAgain) {
  std::string bar(kExportBarText);
  ASSERT_EQ(bar.size(), 32u);
  for (std::size_t step = 1; step <= 21; ++step) {
    bar = NextExportBarText(bar);
    EXPECT_EQ(bar.size(), step <= 19 ? 32 + step : 12 + step) << step;
  }
  EXPECT_EQ(bar, std::string(kExportBarText) + ".");
}

TEST_F(ListExportTest, TheLogSaveWritesTheLinesTheListStillHolds) {
  engine::StatusLines status;
  for (int i = 1; i <= 95; ++i) status.Append("line " + std::to_string(i) + " Grüße");
  const auto file = Target("run.log");
  host_.file = base::PathToUtf8(file);
  SaveLogFile(host_, LogFileBytes(status.Lines()));
  EXPECT_THAT(host_.calls,
              ElementsAre("dialog Save Log File | Log Files|*.log|Text File|*.txt|All Files|*.* "
                          "| log"));
  const Strings lines = CsvLines(file);
  ASSERT_EQ(lines.size(), 75u);  // the 81st line dropped ten, the 91st ten more
  EXPECT_EQ(lines.front(), "line 21 Grüße");
  EXPECT_EQ(lines.back(), "line 95 Grüße");

  // A write that fails says so and keeps what the file held.
  host_.calls.clear();
  const auto failing = [](const std::filesystem::path&, std::string_view) { return false; };
  SaveLogFile(host_, LogFileBytes({"new"}), failing);
  EXPECT_THAT(host_.calls.back(), StartsWith("error File I/O error. [" + *host_.file + ": "));
  EXPECT_EQ(CsvLines(file).size(), 75u);

  // A folder that is not there: the file and the system's reason.
  host_.file = base::PathToUtf8(Target("gone") / "run.log");
  host_.calls.clear();
  SaveLogFile(host_, LogFileBytes({"new"}));
  EXPECT_THAT(host_.calls.back(), AllOf(StartsWith("error File I/O error. [" + *host_.file + ": "),
                                        EndsWith(".]"), Not(HasSubstr("unknown error"))));
}

}  // namespace
}  // namespace keyloom::files::testing
