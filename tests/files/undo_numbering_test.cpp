#include "files/undo_numbering.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "files/reg_file_format.h"
#include "files/run_journal.h"
#include "files/undo_fixture.h"
#include "registry/registry_contract.h"

namespace keyloom::files::testing {
namespace {

using keyloom::testing::WriteBytes;

TEST(UndoNumbering, ReadsNumbersOfTheDayOnly) {
  EXPECT_EQ(UndoFileNumber("UNDO-20240131-007.REG", "20240131"), 7);
  EXPECT_EQ(UndoFileNumber("UNDO-20240131-1000.reg", "20240131"), 1000);
  for (const char* other : {"UNDO-20240130-007.REG", "UNDO-20240131-.REG", "UNDO-20240131-0x7.REG",
                            "UNDO-20240131-007.TXT", "UNDO-20240131_007.REG", "UNDO-RUNS.TXT"}) {
    EXPECT_EQ(UndoFileNumber(other, "20240131"), 0) << other;
  }
}

class UndoNumberingTest : public UndoFixture {
 protected:
  void Change(UndoFile& undo, int key, int value) {
    UndoRequest request;
    request.root = reg::kCurrentUser;
    request.key_path = "\\Software\\W" + std::to_string(key);
    request.value_name = "v" + std::to_string(value);
    request.kind = RecordKind::kUpdate;
    ASSERT_EQ(undo.Record(request, settings_), "");
    // The change the record takes back.
    PutString("Software\\W" + std::to_string(key), "v" + std::to_string(value), u"changed");
  }

  // The undo files of the folder, by number.
  std::map<int, std::filesystem::path> Files() const {
    std::map<int, std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      const int number = UndoFileNumber(entry.path().filename().string(), kDate);
      if (number != 0) files[number] = entry.path();
    }
    return files;
  }
};

// Numbers are never used twice in one folder: the next file goes past every number the folder's
// files and its journal have used that day, also one whose file the user deleted.
TEST_F(UndoNumberingTest, TheNextNumberGoesPastDeletedFilesAndFilesTheJournalNames) {
  PutString("Software\\W0", "v0", u"x");
  Change(undo_, 0, 0);
  Change(undo_, 0, 0);  // SAUNDO on: 001 and 002 (the second records nothing new but starts 002)
  ASSERT_EQ(undo_.Counter(), 2);
  std::filesystem::remove(UndoPath(1));
  std::filesystem::remove(UndoPath(2));
  undo_.RaiseNewFileFlag();
  Change(undo_, 0, 0);
  EXPECT_EQ(undo_.Counter(), 3) << "this writer's own numbers stay used";

  // Another program start: only the folder tells. The journal names 007, which is gone.
  WriteBytes(folder_.path() / std::string(kRunJournalName),
             "\r\n[Run]\r\nDate=2024-01-31 10:00:00\r\nFile=UNDO-20240131-007.REG\r\n"
             "Continues=UNDO-20240131-007.REG\r\nFile=UNDO-20240130-050.REG\r\n");
  UndoFile next(*api_, nullptr, [this] { return date_; });
  Change(next, 0, 0);
  EXPECT_EQ(next.Counter(), 8);
  std::filesystem::remove(folder_.path() / std::string(kRunJournalName));
  std::filesystem::remove(UndoPath(8));
  UndoFile after_deletes(*api_, nullptr, [this] { return date_; });
  Change(after_deletes, 0, 0);
  EXPECT_EQ(after_deletes.Counter(), 4) << "003 still there";
  EXPECT_EQ(HighestUsedUndoNumber(folder_.Utf8(), kDate), 4);
}

// Two runs writing to one folder at once (two writers, two threads, as two processes do): every
// file is created by one writer alone and holds only its records with one header, no record is
// lost, and merging every file newest first brings the registry back.
TEST_F(UndoNumberingTest, TwoWritersOnOneFolderNeverShareAFile) {
  constexpr int kValues = 40;
  for (const bool separate : {true, false}) {
    SCOPED_TRACE(separate ? "one file per change" : "one file per run");
    for (const auto& [number, file] : Files()) std::filesystem::remove(file);
    settings_.separate_undo_files = separate;
    for (int key = 0; key < 2; ++key) {
      for (int value = 0; value < kValues; ++value) {
        PutString("Software\\W" + std::to_string(key), "v" + std::to_string(value),
                  u"original " + std::u16string(1, static_cast<char16_t>(u'a' + value)));
      }
    }
    const auto before = reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
    UndoFile writers[] = {UndoFile(*api_, nullptr, [this] { return date_; }),
                          UndoFile(*api_, nullptr, [this] { return date_; })};
    std::set<std::string> written[2];
    std::vector<std::thread> threads;
    for (int key = 0; key < 2; ++key) {
      writers[key].SetWrittenObserver([&written, key](const std::string& f) {
        written[key].insert(f);
      });
      threads.emplace_back([&, key] {
        for (int value = 0; value < kValues; ++value) Change(writers[key], key, value);
      });
    }
    for (auto& thread : threads) thread.join();

    const auto files = Files();
    EXPECT_EQ(files.size(), separate ? 2u * kValues : 2u);
    int records = 0;
    for (const auto& [number, file] : files) {
      const auto lines = ReadRegFileLines(file);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), "Windows Registry Editor Version 5.00"), 1)
          << file;
      const std::string bytes = keyloom::testing::ReadBytes(file);
      EXPECT_EQ(bytes.find(kUtf16Bom, 2), std::string::npos) << file;
      std::set<std::string> keys;
      for (const auto& line : lines) {
        if (line.rfind("[HKEY", 0) == 0) keys.insert(line);
        if (line.rfind("\"v", 0) == 0) ++records;
      }
      EXPECT_EQ(keys.size(), 1u) << file << ": one writer's key only";
      EXPECT_EQ(written[0].count(keyloom::base::PathToUtf8(file)) +
                    written[1].count(keyloom::base::PathToUtf8(file)),
                1u)
          << file;
    }
    EXPECT_EQ(records, 2 * kValues);
    for (auto it = files.rbegin(); it != files.rend(); ++it) MergeRegFile(*api_, it->second);
    EXPECT_EQ(reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software"), before);
  }
}

}  // namespace
}  // namespace keyloom::files::testing
