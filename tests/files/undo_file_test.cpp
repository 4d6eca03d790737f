#include "files/undo_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>
#include <thread>

#include "files/reg_file_format.h"
#include "files/undo_fixture.h"
#include "registry/forwarding_reg_api.h"
#include "support/file_errors.h"

namespace keyloom::files::testing {
namespace {

using ::testing::ElementsAre;
using Kind = RecordKind;
using Phase = RecordPhase;
using Strings = std::vector<std::string>;

using UndoFileTest = UndoFixture;

TEST_F(UndoFileTest, NewFilesStartWithTheFourHeaderLines) {
  PutString("Software\\X", "A", u"a");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  const std::string bytes = keyloom::testing::ReadBytes(UndoPath(1));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), kUtf16Bom);
  EXPECT_THAT(UndoLines(1), ElementsAre("Windows Registry Editor Version 5.00", "",
                                        ";This registry file was created by Keyloom (keyloom.dev)",
                                        ";This undo file should be run on the [] machine", "",
                                        "[HKEY_CURRENT_USER\\Software\\X]", "\"A\"=\"a\""));
}

TEST_F(UndoFileTest, TheCounterSkipsTheDaysFilesAndGrowsToFourDigits) {
  PutString("Software\\X", "A", u"a");
  keyloom::testing::WriteBytes(UndoPath(1), "older");
  keyloom::testing::WriteBytes(UndoPath(2), "older");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_EQ(undo_.Counter(), 3);
  EXPECT_EQ(keyloom::testing::ReadBytes(UndoPath(1)), "older");  // never rewritten
  EXPECT_EQ(Body(3).size(), 3u);

  for (int n = 4; n <= 999; ++n) keyloom::testing::WriteBytes(UndoPath(n), "");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_TRUE(std::filesystem::exists(folder_.path() / "UNDO-20240131-1000.REG"));
}

TEST_F(UndoFileTest, WithSaundoOffARunsRecordsShareOneFile) {
  settings_.separate_undo_files = false;
  PutString("Software\\X", "A", u"a");
  PutString("Software\\X", "B", u"b");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "B"), "");
  EXPECT_FALSE(undo_.NewFileFlag());
  undo_.RaiseNewFileFlag();  // the next run
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"A\"=\"a\"", "",
                                   "[HKEY_CURRENT_USER\\Software\\X]", "\"B\"=\"b\""));
  EXPECT_EQ(Body(2).size(), 3u);
  // A run keeps its one file past midnight; the next run starts over in a file of the new day.
  date_ = "20240201";
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "B"), "");
  EXPECT_FALSE(std::filesystem::exists(UndoPath(2)));
  undo_.RaiseNewFileFlag();
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_EQ(Body(1).size(), 3u);
  date_ = kDate;
  EXPECT_EQ(Body(2).size(), 6u);
}

TEST_F(UndoFileTest, WithSaundoOnEveryChangeGetsAFileAndRenamesKeepTheirPair) {
  PutString("Software\\X", "A", u"a");
  PutString("Software\\X", "C", u"c");
  ASSERT_EQ(Record(Kind::kRename, Phase::kBefore, "\\Software\\X", "A"), "");
  ASSERT_EQ(Record(Kind::kRename, Phase::kAfter, "\\Software\\X", "B"), "");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "C"), "");
  // The pair of records of a value rename: the old line, then the new name's removal.
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"A\"=\"a\"",
                                   "[HKEY_CURRENT_USER\\Software\\X]", "\"B\"=-"));
  EXPECT_THAT(Body(2), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"C\"=\"c\""));
}

// DEFAULTUNDO 1 asks for .INF undo files, a form with no definition: the .REG files are written
// all the same (never no undo at all), and each run says so once.
TEST_F(UndoFileTest, DefaultUndoOtherThanZeroWritesRegFilesAndSaysSoOncePerRun) {
  settings_.default_undo = 1;
  PutString("Software\\X", "A", u"a");
  const std::string note =
      "DEFAULTUNDO=1 asks for undo files in a form Keyloom does not write: .REG undo files are "
      "written instead";
  EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"A\"=\"a\""));
  EXPECT_EQ(undo_.Counter(), 2);
  EXPECT_THAT(log_, ElementsAre(note));
  undo_.RaiseNewFileFlag();  // the next run says it again
  EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"), "");
  EXPECT_THAT(log_, ElementsAre(note, note));

}

TEST_F(UndoFileTest, KeyRenameRecordsTheTreeDepthFirstAndThenTheNewKeysRemoval) {
  PutString("Software\\X", "", u"top");
  Put("Software\\X", "n", {reg::kRegDword, {1, 0, 0, 0}});
  PutString("Software\\X\\B", "b", u"1");
  PutString("Software\\X\\A\\Deep", "d", u"2");
  PutString("Software\\X\\A", "a", u"3");
  MakeKey("Software\\X\\Empty");
  PutString("Software\\X\\Wow6432Node\\Hidden", "h", u"4");
  PutString("Software\\X\\B\\wow6432node", "w", u"5");
  ASSERT_EQ(Record(Kind::kRename, Phase::kBefore, "Software\\X"), "");
  ASSERT_EQ(Record(Kind::kRename, Phase::kAfter, "Software\\Y"), "");
  // Keys named Wow6432Node that lie below their parent are ordinary keys: the change moves them.
  const Strings tree = {"",
                        "[HKEY_CURRENT_USER\\Software\\X]",
                        "@=\"top\"",
                        "\"n\"=dword:00000001",
                        "",
                        "[HKEY_CURRENT_USER\\Software\\X\\A]",
                        "\"a\"=\"3\"",
                        "",
                        "[HKEY_CURRENT_USER\\Software\\X\\A\\Deep]",
                        "\"d\"=\"2\"",
                        "",
                        "[HKEY_CURRENT_USER\\Software\\X\\B]",
                        "\"b\"=\"1\"",
                        "",
                        "[HKEY_CURRENT_USER\\Software\\X\\B\\wow6432node]",
                        "\"w\"=\"5\"",
                        "",
                        "[HKEY_CURRENT_USER\\Software\\X\\Empty]"};
  Strings expected = tree;
  expected.insert(expected.end(), {"", "[HKEY_CURRENT_USER\\Software\\X\\Wow6432Node]", "",
                                   "[HKEY_CURRENT_USER\\Software\\X\\Wow6432Node\\Hidden]",
                                   "\"h\"=\"4\"", "", "[-HKEY_CURRENT_USER\\Software\\Y]"});
  EXPECT_EQ(Body(1), expected);

  // The system's node of the other view, which it keeps elsewhere, is left out with its subtree.
  struct Redirecting : reg::ForwardingRegApi {
    using ForwardingRegApi::ForwardingRegApi;
    reg::ErrorCode KeyRealName(reg::KeyHandle key, std::string* name) override {
      const reg::ErrorCode rc = target().KeyRealName(key, name);
      const std::string node = "\\Wow6432Node";
      if (rc == reg::kSuccess && name->size() > node.size() &&
          name->compare(name->size() - node.size(), node.size(), node) == 0) {
        *name = "\\REGISTRY\\MACHINE\\SOFTWARE\\Wow6432Node";
      }
      return rc;
    }
  } redirecting(*api_);
  UndoFile undo(
      redirecting, [](const std::string&) {}, [] { return std::string("20261207"); });
  UndoRequest request;
  request.root = reg::kCurrentUser;
  request.key_path = "\\Software\\X";
  ASSERT_EQ(undo.Record(request, settings_), "");
  expected = tree;
  const auto lines = ReadRegFileLines(keyloom::base::PathFromUtf8(undo.CurrentFileName(settings_)));
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(Strings(lines.begin() + 4, lines.end()), expected);
}

TEST_F(UndoFileTest, TheUnnamedValueIsRecordedForUpdatesAndRenames) {
  PutString("Software\\X", "", u"old default");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", ""), "");
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "@=\"old default\""));
  ASSERT_EQ(Record(Kind::kRename, Phase::kBefore, "\\Software\\X", "", true), "");
  ASSERT_EQ(Record(Kind::kRename, Phase::kAfter, "\\Software\\X", "Named"), "");
  EXPECT_THAT(Body(2), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "@=\"old default\"",
                                   "[HKEY_CURRENT_USER\\Software\\X]", "\"Named\"=-"));
}

TEST_F(UndoFileTest, AnUnreachableMachineIsLoggedAndTheUndoRecordRefused) {
  api_->AddMachine("\\\\FAR", false);
  machine_ = "\\\\FAR";
  const std::string reason = "The network path was not found";
  EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A", false, reg::kLocalMachine),
            "Unable to write to undo file in " + settings_.undo_folder + " [" + reason + "]");
  EXPECT_THAT(
      log_, ElementsAre("Error connecting to remote machine while saving UNDO: [" + reason + "]"));
}

TEST_F(UndoFileTest, RemoteRecordsReadTheMachinesRegistryAndNameItInTheHeader) {
  PutRemoteString("\\\\NEAR", "Software\\X", "A", u"far away");

  machine_ = "\\\\NEAR";
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A", false, reg::kLocalMachine),
            "");
  EXPECT_THAT(UndoLines(1),
              ElementsAre("Windows Registry Editor Version 5.00", "",
                          ";This registry file was created by Keyloom (keyloom.dev)",
                          ";This undo file should be run on the [\\\\NEAR] machine", "",
                          "[HKEY_LOCAL_MACHINE\\Software\\X]", "\"A\"=\"far away\""));
  // A before-state that cannot be read is no undo record: the change must not go ahead.
  EXPECT_EQ(
      Record(Kind::kRename, Phase::kBefore, "\\Software\\Gone", "", false, reg::kLocalMachine),
      "Unable to write to undo file in " + settings_.undo_folder +
          " [The system cannot find the file specified]");
  EXPECT_TRUE(log_.empty());
}

TEST_F(UndoFileTest, AWriteFailureIsReportedAndLeavesNoFileBehind) {
  PutString("Software\\X", "A", u"a");
  settings_.undo_folder =
      keyloom::base::PathToUtf8(folder_.path() / "missing") + keyloom::base::kPathSeparator;
  EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "A"),
            "Unable to write to undo file in " + settings_.undo_folder + " [" +
                keyloom::testing::MissingFolderText() + "]");
  EXPECT_FALSE(std::filesystem::exists(UndoPath(1)));
  EXPECT_TRUE(log_.empty());  // the action reports it
}

TEST_F(UndoFileTest, AppendingContinuesTheFilesEncoding) {
  PutString("Software\\X", "Grüße", u"ä");
  settings_.separate_undo_files = false;
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "Grüße"), "");
  undo_.RaiseNewFileFlag();
  PutString("Software\\X", "second", u"b");
  ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\X", "second"), "");
  ASSERT_EQ(Record(Kind::kRename, Phase::kAfter, "\\Software\\X", "neu"), "");
  const std::string bytes = keyloom::testing::ReadBytes(UndoPath(2));
  EXPECT_EQ(bytes.find(kUtf16Bom, 2), std::string::npos);  // one mark only
  EXPECT_EQ(Body(2).back(), "\"neu\"=-");

  // An 8-bit file from elsewhere takes ASCII only; anything else is refused, the file untouched.
  const auto file = folder_.path() / "old.reg";
  keyloom::testing::WriteBytes(file, "REGEDIT4\r\n");
  const std::string path = keyloom::base::PathToUtf8(file);
  EXPECT_EQ(AppendRegLines(path, {}, {"[HKEY_CURRENT_USER\\A]"}), "");
  EXPECT_NE(AppendRegLines(path, {}, {"\"Grüße\"=-"}), "");
  EXPECT_EQ(keyloom::testing::ReadBytes(file), "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n");
  keyloom::testing::WriteBytes(file, "\xEF\xBB\xBF;utf-8\r\n");
  EXPECT_EQ(AppendRegLines(path, {}, {"ä"}), "");
  EXPECT_EQ(keyloom::testing::ReadBytes(file), "\xEF\xBB\xBF;utf-8\r\nä\r\n");
}

TEST_F(UndoFileTest, ConcurrentWritersNeverShareANumberOrInterleave) {
  constexpr int kThreads = 6;
  constexpr int kEach = 20;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEach; ++i) {
      PutString("Software\\T" + std::to_string(t), "v" + std::to_string(i), u"x");
    }
  }
  auto run = [&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kEach; ++i) {
          EXPECT_EQ(Record(Kind::kUpdate, Phase::kBefore, "\\Software\\T" + std::to_string(t),
                           "v" + std::to_string(i)),
                    "");
        }
      });
    }
    for (auto& thread : threads) thread.join();
  };
  run();  // SAUNDO on: one file each
  EXPECT_EQ(undo_.Counter(), kThreads * kEach);
  for (int n = 1; n <= kThreads * kEach; ++n) ASSERT_EQ(Body(n).size(), 3u) << n;

  settings_.separate_undo_files = false;
  undo_.RaiseNewFileFlag();
  run();  // SAUNDO off: one file, every record whole
  const int shared = kThreads * kEach + 1;
  const auto body = Body(shared);
  ASSERT_EQ(body.size(), 3u * kThreads * kEach);
  for (std::size_t i = 0; i < body.size(); i += 3) {
    EXPECT_EQ(body[i], "");
    EXPECT_EQ(body[i + 1].rfind("[HKEY_CURRENT_USER\\Software\\T", 0), 0u);
    EXPECT_EQ(body[i + 2].substr(0, 2), "\"v");
  }
}

}  // namespace
}  // namespace keyloom::files::testing
