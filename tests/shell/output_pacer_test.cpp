#include "shell/output_pacer.h"

#include <gtest/gtest.h>

namespace keyloom::shell {
namespace {

using std::chrono::milliseconds;

TEST(OutputPacerTest, NextUpdateWaitsTwentyTimesTheLastOneBetweenATenthAndOneSecond) {
  struct Case {
    milliseconds cost;
    milliseconds interval;
  };
  const Case cases[] = {
      {milliseconds(0), milliseconds(100)},    // a cheap update: ten a second
      {milliseconds(5), milliseconds(100)},    // still within a twentieth
      {milliseconds(12), milliseconds(240)},   // a slow display: a twentieth of the time
      {milliseconds(80), milliseconds(1000)},  // never a longer wait than a second
  };
  const OutputPacer::Clock::time_point start{std::chrono::seconds(50)};
  for (const Case& c : cases) {
    OutputPacer pacer;
    EXPECT_TRUE(pacer.Due(start)) << "the first update is due at once";
    pacer.Shown(start, start + c.cost);
    EXPECT_FALSE(pacer.Due(start + c.interval - milliseconds(1))) << c.cost.count();
    EXPECT_TRUE(pacer.Due(start + c.interval)) << c.cost.count();
  }
}

}  // namespace
}  // namespace keyloom::shell
