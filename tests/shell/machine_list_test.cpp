// The /machines list: what a line names, what is left out, what is refused, and that /retry's
// list reads back as it was written.
#include "shell/machine_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace keyloom::shell {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(MachineListTest, ReadsNamesOnceInOrderAndRefusesWhatNoComputerIsCalled) {
  const struct {
    const char* text;
    std::vector<std::string> names;
    const char* error;  // a part of the refusal, "" when taken
  } cases[] = {
      {"SRV01\r\nSRV02\n", {"SRV01", "SRV02"}, ""},
      {"\xEF\xBB\xBF# fleet\n\n  SRV01  \n\t\n#SRV09\nsrv01\n\\\\SRV02\nSrv02\n",
       {"SRV01", "SRV02"},
       ""},
      {"srv-01.corp.example\n10.0.0.7\n", {"srv-01.corp.example", "10.0.0.7"}, ""},
      {"Ærø-PC\nÆRØ-PC\n", {"Ærø-PC"}, ""},  // letter case ignored beyond ASCII too
      {"", {}, "names no computer"},
      {"# only comments\n\n", {}, "names no computer"},
      {"SRV01\nSRV 02\n", {}, "line 2: \"SRV 02\" is not a computer's name"},
      {"SRV01\nC:\\x\n", {}, "line 2"},
      {"SRV01\n..\n", {}, "line 2: no computer's name"},
      {"\\\\\n", {}, "line 1: no computer's name"},
      {"SRV\x01\n", {}, "line 1"},
      {"SRV\xFF\n", {}, "not UTF-8"},
      {"a/b\n", {}, "line 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const MachineList list = ParseMachineList(c.text);
    EXPECT_THAT(list.names, ElementsAreArray(c.names));
    if (*c.error == '\0') {
      EXPECT_EQ(list.error, "");
    } else {
      EXPECT_THAT(list.error, HasSubstr(c.error));
    }
  }
  EXPECT_THAT(ParseMachineList(std::string(256, 'a')).error, HasSubstr("longer than 255"));

  const std::vector<std::string> names = {"SRV01", "srv-02.corp"};
  const std::string text = MachineListText(names, "2 machines to retry");
  EXPECT_EQ(text, "# 2 machines to retry\r\nSRV01\r\nsrv-02.corp\r\n");
  EXPECT_THAT(ParseMachineList(text).names, ElementsAreArray(names));
  EXPECT_THAT(ReadMachineList("/no/such/folder/list.txt").error, HasSubstr("cannot read"));
}

}  // namespace
}  // namespace keyloom::shell
