// Whole command-line runs through the real job runner, engine and walk, against the memory
// registry: the report, the summary, the undo files and the exit codes.
#include "shell/command_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/os_error.h"
#include "engine/pause_gate.h"
#include "files/reg_file_testing.h"
#include "registry/forwarding_reg_api.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "registry/registry_contract.h"
#include "shell/exit_codes.h"
#include "support/file_errors.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::ReadBytes;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;
using ::testing::Not;

// The undo files in `folder`.
std::vector<std::filesystem::path> RegFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".REG") files.push_back(entry.path());
  }
  return files;
}

class CommandJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = reg::NewMemoryRegistry();
    Write("\\Software\\Scratch\\App", "Server", "old-srv.example");
    Write("\\Software\\Scratch\\App", "Path", "\\\\old-srv\\share");
    Write("\\Software\\Scratch\\Other", "Note", "nothing here");
    Write("\\Software\\Elsewhere", "Server", "old-srv.example");
  }

  void Write(const std::string& key, const std::string& name, const std::string& value) {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kCurrentUser);
    reg.CreateKey(key);
    ASSERT_TRUE(reg.OpenKey(key));
    reg.WriteString(name, value);
  }

  std::string Read(const std::string& key, const std::string& name) {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kCurrentUser);
    if (!reg.OpenKey(key)) return "<no key>";
    if (!reg.ValueExists(name)) return "<no value>";
    return reg.ReadString(name);
  }

  int Run(std::vector<std::string> args, reg::RegApi* api = nullptr,
          base::FileReplacement::Writer file_writer = {}) {
    out_.clear();
    err_.clear();
    CommandEnvironment env;
    env.api = api != nullptr ? api : registry_.get();
    env.gate = &gate_;
    env.program.folder = folder_.Utf8();
    env.out = [this](std::string_view line) { out_.emplace_back(line); };
    env.err = [this](std::string_view line) { err_.emplace_back(line); };
    env.stop = &stop_;
    env.file_writer = std::move(file_writer);
    return RunCommandLine(args, env);
  }

  std::unique_ptr<reg::MemoryRegistry> registry_;
  engine::PortablePauseGate gate_;
  testing::TempFolder folder_;
  std::atomic<bool> stop_{false};
  std::vector<std::string> out_, err_;
};

TEST_F(CommandJobTest, SearchOnlyReportsHitsAndExitsZeroOneOrFive) {
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Scratch"}), kExitOk);
  EXPECT_THAT(out_, Contains("Checking Key : HKEY_CURRENT_USER\\Software\\Scratch"));
  EXPECT_THAT(out_, Contains(HasSubstr("App\\Server")));
  EXPECT_THAT(out_, Not(Contains(HasSubstr("Elsewhere"))));
  // Scratch itself, App and Other.
  EXPECT_THAT(out_, IsSupersetOf(
                        {"Hits: 2", "Keys examined: 3", "Keys not read: 0", "Values not read: 0"}));
  EXPECT_TRUE(err_.empty());
  // A start key without subkeys is examined too.
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Scratch\\App"}), kExitOk);
  EXPECT_THAT(out_, IsSupersetOf({"Hits: 2", "Keys examined: 1"}));

  EXPECT_EQ(Run({"/find", "not-there", "/root", "HKCU", "/quiet"}), kExitNothingFound);
  EXPECT_THAT(out_, Contains("Hits: 0"));
  EXPECT_THAT(out_, Not(Contains(HasSubstr("Checking Key"))));  // quiet: the summary alone

  // A key that cannot be opened.
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Missing"}), kExitSomeFailed);
  EXPECT_THAT(out_, Contains("Keys not read: 1"));
}

TEST_F(CommandJobTest, SimulateDeleteWithoutUndoAndReplaceNamingItsUndoFiles) {
  EXPECT_EQ(Run({"/find", "old-srv", "/replace", "x", "/simulate", "/root", "HKCU\\Software"}),
            kExitOk);
  EXPECT_THAT(out_, Contains(HasSubstr("SIMULATE ENABLED")));
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "old-srv.example");
  EXPECT_THAT(out_, Contains("Undo files written: 0"));

  const std::string log = folder_.Utf8() + "run.log";
  EXPECT_EQ(Run({"/find", "nothing here", "/delete", "/noundo", "/root", "HKCU\\Software\\Scratch",
                 "/log", log}),
            kExitOk);
  EXPECT_EQ(Read("\\Software\\Scratch\\Other", "Note"), "<no value>");
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "old-srv.example");
  EXPECT_THAT(out_, Contains("Undo files written: 0"));
  const std::string text = ReadBytes(base::PathFromUtf8(log));
  EXPECT_THAT(text, HasSubstr("Hits: 1\r\n"));
  EXPECT_THAT(text, HasSubstr("Finished, Deleted [1] Entries.\r\n"));

  const std::string undo = folder_.Utf8() + "undo here";
  EXPECT_EQ(Run({"/find", "old-srv", "/replace", "new-srv", "/root", "HKCU\\Software\\Scratch",
                 "/root", "HKCU\\Software\\Elsewhere", "/undo", undo}),
            kExitOk);
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "new-srv.example");
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Path"), "\\\\new-srv\\share");
  EXPECT_EQ(Read("\\Software\\Elsewhere", "Server"), "new-srv.example");
  EXPECT_THAT(
      out_, IsSupersetOf({"Hits: 3", "Changes: 3", "Failed changes: 0", "Undo files written: 1"}));
  EXPECT_THAT(out_, Contains(HasSubstr("  " + undo)));
  EXPECT_EQ(RegFiles(base::PathFromUtf8(undo)).size(), 1u) << "one undo file, beside the journal";
}

TEST_F(CommandJobTest, RefusalsGoToStandardErrorWithExitTwo) {
  EXPECT_EQ(Run({"/find", "a", "/nonsense"}), kExitNoRun);
  EXPECT_THAT(err_, Contains(HasSubstr("Unknown option /nonsense")));
  EXPECT_TRUE(out_.empty());
  // The engine's own validation refuses a request the window would refuse.
  EXPECT_EQ(Run({"/find", "abc", "/type", "REG_DWORD"}), kExitNoRun);
  EXPECT_THAT(err_, Contains("You cannot search for a Non-Numeric Value in Numeric Keys."));
  EXPECT_EQ(Run({"/find", "a", "/ini", folder_.Utf8() + "missing.ini"}), kExitNoRun);
  EXPECT_THAT(err_, Contains(HasSubstr("Settings file not found")));
  // Another computer's HKCU would be skipped: the run that found nothing there is refused.
  EXPECT_EQ(Run({"/find", "a", "/machine", "srv", "/root", "HKCU\\Software"}), kExitNoRun);
  EXPECT_THAT(err_, Contains(HasSubstr("cannot be searched on another computer")));
  EXPECT_EQ(Run({"/?"}), kExitOk);
  EXPECT_THAT(out_, Contains(HasSubstr("Exit codes:")));
}

TEST_F(CommandJobTest, CsvHoldsTheHitsAsTheExportWritesThem) {
  const std::string csv = folder_.Utf8() + "hits.csv";
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Scratch", "/csv", csv}), kExitOk);
  EXPECT_EQ(ReadBytes(base::PathFromUtf8(csv)),
            "\xEF\xBB\xBF"
            "HKEY_CURRENT_USER,\\Software\\Scratch\\App,Server,old-srv.example\r\n"
            "HKEY_CURRENT_USER,\\Software\\Scratch\\App,Path,\\\\old-srv\\share\r\n");

  // A file that cannot be written is found out before the run changes anything.
  const auto before = reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
  for (const std::string& bad : {folder_.Utf8() + "no/such/x.csv", folder_.Utf8()}) {
    EXPECT_EQ(Run({"/find", "old-srv", "/replace", "x", "/root", "HKCU", "/csv", bad}), kExitNoRun);
    EXPECT_THAT(err_, ElementsAre("The CSV file cannot be written: " + bad));
    EXPECT_TRUE(out_.empty());
  }
  EXPECT_EQ(reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software"), before);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "no"));
}

// A disk that fills while the run writes its /log or /csv file: the failure is on standard error
// with the file's name and the system's reason, the run ends with 5, and no file looks complete:
// the log keeps its whole lines and no summary, the CSV file is not there at all.
TEST_F(CommandJobTest, ADiskThatFillsDuringTheRunIsReportedAndLeavesNoFileLookingComplete) {
  const std::string log = folder_.Utf8() + "run.log";
  const std::string csv = folder_.Utf8() + "hits.csv";
  std::size_t room = 0;
  const auto disk = [&room](std::FILE* file, std::string_view bytes) {
    const std::size_t fits = std::min(room, bytes.size());
    room -= fits;
    if (std::fwrite(bytes.data(), 1, fits, file) != fits || std::fflush(file) != 0) return false;
    if (fits == bytes.size()) return true;
    errno = ENOSPC;
    return false;
  };
  const std::string full = keyloom::testing::DiskFullText();
  room = 150;  // the first lines of the log, then the disk is full
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Scratch", "/log", log}, nullptr, disk),
            kExitSomeFailed);
  EXPECT_THAT(err_, Contains("The log file could not be written: " + log + " [" + full + "]"));
  EXPECT_THAT(out_, Contains("Hits: 2"));  // the report itself is whole
  const std::string written = ReadBytes(base::PathFromUtf8(log));
  EXPECT_GT(written.size(), 0u);
  EXPECT_LE(written.size(), 150u);
  EXPECT_EQ(written.substr(written.size() - 2), "\r\n") << "whole lines only";
  EXPECT_EQ(written.find("Keys examined"), std::string::npos);

  std::filesystem::remove(base::PathFromUtf8(log));
  room = 1u << 20;  // the log fits; the CSV file is cut short
  std::size_t csv_room = 60;
  std::FILE* log_file = nullptr;  // the first file written to is the log
  const auto csv_disk = [&](std::FILE* file, std::string_view bytes) {
    if (log_file == nullptr) log_file = file;
    if (file == log_file) return disk(file, bytes);
    std::swap(room, csv_room);
    const bool ok = disk(file, bytes);
    std::swap(room, csv_room);
    return ok;
  };
  EXPECT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software\\Scratch", "/log", log, "/csv", csv},
                nullptr, csv_disk),
            kExitSomeFailed);
  EXPECT_THAT(err_, Contains(HasSubstr("The CSV file could not be written: " + csv)));
  EXPECT_FALSE(std::filesystem::exists(base::PathFromUtf8(csv)));
  EXPECT_FALSE(std::filesystem::exists(base::FileReplacement(base::PathFromUtf8(csv)).temp_path()));
  EXPECT_NE(ReadBytes(base::PathFromUtf8(log)).find("Keys examined"), std::string::npos);
}

// Ctrl+C as the run opens a key: the run stops at its next key, and its one undo file is complete.
class StopWhenOpening final : public reg::ForwardingRegApi {
 public:
  StopWhenOpening(reg::RegApi& target, std::atomic<bool>& stop, std::string name)
      : ForwardingRegApi(target), stop_(stop), name_(std::move(name)) {}
  reg::ErrorCode OpenKey(reg::KeyHandle parent, std::string_view path, std::uint32_t access,
                         reg::KeyHandle* result) override {
    if (path == name_) stop_ = true;
    return ForwardingRegApi::OpenKey(parent, path, access, result);
  }

 private:
  std::atomic<bool>& stop_;
  std::string name_;
};

TEST_F(CommandJobTest, StoppedRunsEndWithOneOrFourKeepWhatTheyDidAndTheirUndoFileTakesItBack) {
  stop_ = true;  // at once: nothing done, a summary all the same
  EXPECT_EQ(Run({"/find", "old-srv", "/replace", "x", "/root", "HKCU"}), kExitNothingFound);
  EXPECT_THAT(out_, Contains("Stopped before the end."));
  EXPECT_THAT(out_, Contains(HasSubstr("Changes: ")));

  stop_ = false;
  const auto before = reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
  StopWhenOpening api(*registry_, stop_, "App");
  EXPECT_EQ(Run({"/find", "old-srv", "/replace", "new-srv", "/root", "HKCU\\Software\\Scratch",
                 "/root", "HKCU\\Software\\Elsewhere"},
                &api),
            kExitStopped);
  EXPECT_THAT(out_, Contains("Stopped before the end."));
  EXPECT_THAT(out_, Contains("Changes: 2"));
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "new-srv.example");
  EXPECT_EQ(Read("\\Software\\Elsewhere", "Server"), "old-srv.example");
  EXPECT_THAT(out_, Not(Contains("Checking Key : HKEY_CURRENT_USER\\Software\\Elsewhere")));

  const auto files = RegFiles(folder_.path() / "UNDO");
  ASSERT_EQ(files.size(), 1u);
  files::testing::MergeRegFile(*registry_, files[0]);
  EXPECT_EQ(reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software"), before);
}

TEST(ExitCodeTest, FollowsTheRule) {
  struct Case {
    bool started, stopped;
    int hits, changes, failures, unreadable_keys, unreadable_values, code;
  };
  for (const Case& c : {
           Case{false, false, 0, 0, 0, 0, 0, kExitNoRun},
           Case{true, false, 3, 3, 0, 0, 0, kExitOk},
           Case{true, false, 0, 0, 0, 0, 0, kExitNothingFound},
           Case{true, true, 3, 0, 0, 0, 0, kExitNothingFound},  // stopped before any change
           Case{true, true, 3, 2, 0, 0, 0, kExitStopped},
           Case{true, true, 3, 2, 1, 0, 0, kExitSomeFailed},  // a failure says more
           Case{true, false, 3, 2, 1, 0, 0, kExitSomeFailed},
           Case{true, false, 0, 0, 0, 2, 0, kExitSomeFailed},
           Case{true, false, 3, 0, 0, 0, 1, kExitSomeFailed},
       }) {
    JobSummary summary;
    summary.started = c.started;
    summary.stopped = c.stopped;
    summary.hits = c.hits;
    summary.changes = c.changes;
    summary.failures = c.failures;
    summary.keys_unreadable = c.unreadable_keys;
    summary.values_unreadable = c.unreadable_values;
    EXPECT_EQ(ExitCodeFor(summary), c.code);
  }
}

// /only: the hits of an exported list, edited in a spreadsheet (a row deleted, fields quoted
// anew, a row that is no hit, a row with a user's fifth field), are the only items the run
// changes; a line that names no item refuses the whole run, with its number, before anything
// changes.
TEST_F(CommandJobTest, OnlyChangesTheHitsAnEditedListNamesAndRefusesAMalformedLine) {
  const std::string csv = folder_.Utf8() + "hits.csv";
  const std::string edited = folder_.Utf8() + "edited.csv";
  ASSERT_EQ(Run({"/find", "old-srv", "/root", "HKCU\\Software", "/csv", csv}), kExitOk);
  std::string list = ReadBytes(base::PathFromUtf8(csv));
  ASSERT_THAT(list, HasSubstr("HKEY_CURRENT_USER,\\Software\\Elsewhere,Server,"));
  const auto write = [&edited](std::string_view text) {
    keyloom::testing::WriteBytes(base::PathFromUtf8(edited), text);
  };
  // The Elsewhere row deleted; the rest as a spreadsheet saves it: every field quoted, LF endings.
  write("\"HKEY_CURRENT_USER\",\"\\Software\\Scratch\\App\",\"Server\",\"old-srv.example\"\n"
        "\n"
        "HKEY_CURRENT_USER,\\Software\\Scratch\\App,Path,\"a \"\"quoted\"\"\nsecond line\",ann\n"
        "HKEY_CURRENT_USER,\\Software\\Scratch\\Other,Note,nothing here\n");
  const std::vector<std::string> replace = {"/find", "old-srv", "/replace", "new-srv", "/only",
                                            edited, "/undo", folder_.Utf8() + "undo"};
  EXPECT_EQ(Run(replace), kExitOk);
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "new-srv.example");
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Path"), "\\\\new-srv\\share");
  EXPECT_EQ(Read("\\Software\\Elsewhere", "Server"), "old-srv.example");
  EXPECT_EQ(Read("\\Software\\Scratch\\Other", "Note"), "nothing here");
  EXPECT_THAT(out_, Contains("Skipped, it no longer holds the find text "
                             "[HKEY_CURRENT_USER\\Software\\Scratch\\Other\\Note]"));

  // Line 4 (the quoted field spans lines 2 and 3) names an unknown root: nothing changes.
  Write("\\Software\\Scratch\\App", "Server", "old-srv.example");
  write("HKEY_CURRENT_USER,\\Software\\Scratch\\App,Server,x\n"
        "HKEY_CURRENT_USER,\\Software\\Scratch\\App,Path,\"two\nlines\"\n"
        "HKEY_NOWHERE,\\Software,Server,x\n");
  EXPECT_EQ(Run(replace), kExitNoRun);
  EXPECT_THAT(err_, Contains(HasSubstr(edited + " line 4 does not name an item: the root "
                                                "\"HKEY_NOWHERE\" is unknown")));
  EXPECT_EQ(Read("\\Software\\Scratch\\App", "Server"), "old-srv.example");
  // An unclosed quote, and a list given to a search.
  write("HKEY_CURRENT_USER,\\Software\\Scratch\\App,\"Server\n");
  EXPECT_EQ(Run(replace), kExitNoRun);
  EXPECT_THAT(err_,
              Contains(HasSubstr("line 1 does not name an item: a quoted field is not closed")));
  EXPECT_EQ(Run({"/find", "old-srv", "/only", csv}), kExitNoRun);
  EXPECT_THAT(err_, Contains(HasSubstr("Option /only restricts a change")));
}

}  // namespace
}  // namespace keyloom::shell
