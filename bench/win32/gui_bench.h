// The GUI benchmark: a run that sends a million hits into the real main window against the same
// run with its output discarded, the window's responsiveness during the run (the longest gap
// between two answered messages, measured from another thread) and the memory each Key List row
// costs.
#pragma once

#include <windows.h>

#include <string>

namespace keyloom::bench {

struct GuiBenchOptions {
  int rows = 1000000;
  int repetitions = 3;
  // What each hit sends: its status bar text, its Key List row, its status line (all three by
  // default, as the key walk does); leaving some out shows what each costs.
  bool bar_texts = true;
  bool rows_out = true;
  bool lines = true;
};

// Runs the benchmark on this thread (which must be free to own windows) and returns its report,
// "key=value" pairs separated by blanks. Empty when the window could not be created.
std::string RunGuiBench(HINSTANCE instance, const GuiBenchOptions& options);

}  // namespace keyloom::bench
