// A failed undo record names its reason in the system's words, the ones the registry's failures
// use too, and not in the C library's.
#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "base/text.h"
#include "base/utf8_path.h"
#include "files/undo_fixture.h"
#include "registry/win32/win32_reg_api.h"

namespace keyloom::files::testing {
namespace {

using UndoErrorTextTest = UndoFixture;

TEST_F(UndoErrorTextTest, AMissingUndoFolderIsReportedByTheSystemsMessage) {
  PutString("Software\\X", "A", u"a");
  settings_.undo_folder =
      keyloom::base::PathToUtf8(folder_.path() / "missing") + keyloom::base::kPathSeparator;
  const auto system = reg::NewWin32RegApi();
  const std::string reason = text::TrimMessage(system->ErrorMessage(reg::kPathNotFound));
  EXPECT_EQ(Record(RecordKind::kUpdate, RecordPhase::kBefore, "\\Software\\X", "A"),
            "Unable to write to undo file in " + settings_.undo_folder + " [" + reason + "]");
  EXPECT_NE(reason, std::generic_category().message(ENOENT));
}

}  // namespace
}  // namespace keyloom::files::testing
