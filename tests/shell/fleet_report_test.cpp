// The parts of a report beside the status lines: the exit code over machines, /detect's answer,
// the one summary line's bound, and JSON text that stays valid for any registry text.
#include "shell/fleet_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/json_text.h"
#include "shell/exit_codes.h"
#include "support/json_reader.h"
#include "support/value_data.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::JsonReader;
using keyloom::testing::Utf16Z;
using ::testing::HasSubstr;
using ::testing::StartsWith;

MachineReport Machine(std::string name, int code) {
  MachineReport m;
  m.name = std::move(name);
  m.exit_code = code;
  return m;
}

TEST(FleetReportTest, TheWorstCodeWinsAndDetectAnswersWhetherTheTextIsThere) {
  const struct {
    std::vector<int> codes;
    int worst;
  } cases[] = {{{1, 1}, 1}, {{1, 0, 1}, 0}, {{0, 4}, 4}, {{4, 5, 0}, 5},
               {{5, 2}, 2}, {{3, 2, 5}, 3}, {{}, 1}};
  for (const auto& c : cases) {
    std::vector<MachineReport> machines;
    for (const int code : c.codes) machines.push_back(Machine("M", code));
    EXPECT_EQ(WorstExitCode(machines), c.worst);
  }
  EXPECT_EQ(DetectExitCode(kExitOk, true, false), 1);
  EXPECT_EQ(DetectExitCode(kExitNothingFound, false, false), 0);
  EXPECT_EQ(DetectExitCode(kExitNothingFound, false, true), kExitStopped);
  EXPECT_EQ(DetectExitCode(kExitNothingFound, true, true), 1);
  for (const int code : {kExitNoRun, kExitFailure, kExitStopped, kExitSomeFailed}) {
    EXPECT_EQ(DetectExitCode(code, true, false), code);
  }
}

TEST(FleetReportTest, TheSummaryLineStaysWithinItsBoundAndKeepsTheTotals) {
  std::vector<MachineReport> machines;
  for (int i = 0; i < 500; ++i) {
    MachineReport m = Machine("machine-with-a-long-name-" + std::to_string(i) + ".example", 5);
    m.reached = i % 2 == 0;
    m.summary.hits = 2;
    m.summary.failures = m.reached ? 1 : 0;
    machines.push_back(m);
  }
  const std::string folder = "C:\\" + std::string(3000, 'u') + "\\UNDO\\";
  const std::string line = OneLineSummary(machines, false, true, folder);
  EXPECT_LE(line.size(), kSummaryLineLimit);
  EXPECT_THAT(line, StartsWith("Keyloom: 500 machines, 250 reached; hits 500, changes 0, failed "
                               "250, not read 0, undo files 0 in C:\\uuu"));
  EXPECT_THAT(line, HasSubstr("u...u"));
  EXPECT_THAT(line, HasSubstr("u\\UNDO\\; not reached: machine-with-a-long-name-1.example, "));
  EXPECT_THAT(line, HasSubstr("; with failures: machine-with-a-long-name-0.example"));
  EXPECT_THAT(line, ::testing::EndsWith(" more"));
  // A single run: no machine counts, the folder whole.
  EXPECT_EQ(OneLineSummary({Machine("PC", 0)}, true, false, "C:\\UNDO\\"),
            "Keyloom: hits 0, not read 0");
}

TEST(FleetReportTest, JsonTextEscapesControlCharactersAndLoneSurrogates) {
  // "a" TAB, NUL, a lone high surrogate, a pair (U+1F600), a lone low one, quote and backslash.
  const std::u16string units = {u'a',   u'\t',  0,    0xD800, u'x', 0xD83D,
                                0xDE00, 0xDC00, u'"', u'\\',  0x7F, u'é'};
  const std::string utf8 = text::Utf16ToUtf8(units);
  const std::string json = text::JsonString(utf8);
  EXPECT_EQ(json, "\"a\\t\\u0000\\ud800x\xF0\x9F\x98\x80\\udc00\\\"\\\\\\u007f\xC3\xA9\"");
  const auto parsed = JsonReader::Parse("[" + json + "]");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ((*parsed)[0].string, units);
  // Bytes that are not UTF-8 at all still make valid JSON.
  EXPECT_TRUE(JsonReader::Parse(text::JsonString("\xFF\xC0 bad")).has_value());
}

// A string value's bytes, its terminating NUL included.
std::string Z(std::u16string_view units) {
  const reg::Bytes bytes = Utf16Z(units);
  return {bytes.begin(), bytes.end()};
}

TEST(FleetReportTest, JsonHitsCarryTheirValuesWholeInTheFormOfTheirKind) {
  using namespace std::string_literals;  // a literal keeps the NULs inside it
  const std::string long_x(300, 'x');
  std::string long_hex = "ab";
  for (int i = 1; i < 300; ++i) long_hex += " ab";
  const struct {
    std::uint32_t type;
    std::string bytes;
    std::string json;  // the data as written
  } cases[] = {
      {reg::kRegSz, Z(u"old-" + std::u16string(300, u'x') + u"\r\n\tend"),
       "\"old-" + long_x + "\\r\\n\\tend\""},
      {reg::kRegExpandSz, Z(u"old\xDC00"), "\"old\\udc00\""},  // a lone surrogate
      // Whatever follows a string's end is not part of its text.
      {reg::kRegSz, Z(u"old-a\0tail"s), "\"old-a\""},
      {reg::kRegMultiSz, Z(u"a\0old-b\0"s), "[\"a\", \"old-b\"]"},
      {reg::kRegMultiSz, "", "[]"},
      {reg::kRegDword, "\x1a\0\0\x80"s, "2147483674"},
      {reg::kRegQword, "\x01\0\0\0\0\0\0\x80"s, "9223372036854775809"},
      // A number of the wrong size, an empty binary and other kinds: their bytes, all of them.
      {reg::kRegDword, "\x01\x02\x03", "\"01 02 03\""},
      {reg::kRegBinary, "", "\"\""},
      {reg::kRegNone, "\x0f\xf0", "\"0f f0\""},
      {reg::kRegBinary, std::string(300, '\xAB'), "\"" + long_hex + "\""},
  };
  KeyListRows rows;
  std::vector<std::optional<reg::RawValue>> values;
  for (const auto& c : cases) {
    ASSERT_TRUE(
        rows.Append("HKEY_CURRENT_USER\t\\Software\\K\tV", engine::HitDetails{"REG", "preview"}));
    values.emplace_back(reg::RawValue{c.type, reg::Bytes(c.bytes.begin(), c.bytes.end())});
  }
  ASSERT_TRUE(rows.Append("HKEY_CURRENT_USER\t\\Software\\old-key\t", engine::HitDetails{}));
  values.emplace_back(std::nullopt);  // a key-name hit
  MachineReport machine = Machine("PC", 0);
  machine.rows = &rows;
  machine.values = &values;
  const std::string document = JsonReport({}, {machine});
  ASSERT_TRUE(JsonReader::Parse(document).has_value()) << document;
  for (const auto& c : cases) {
    EXPECT_THAT(document, HasSubstr("\"data\": " + c.json + ", \"found_in\""));
  }
  EXPECT_THAT(document, HasSubstr("\"data\": null"));
  // Without the values, the data is the Key List's.
  machine.values = nullptr;
  EXPECT_THAT(JsonReport({}, {machine}), HasSubstr("\"data\": \"preview\""));
}

}  // namespace
}  // namespace keyloom::shell
