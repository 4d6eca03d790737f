// The GUI benchmark: a run that sends a million hits into the real main window against the same
// run with its output discarded, the window's responsiveness during the run (the longest gap
// between two answered messages, measured from another thread) and the memory each Key List row
// costs; then sorting and filtering the list of those rows, each timed with the same measure of
// the window's answers.
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
  // After the runs, the Key List full of the last run's rows is sorted by header clicks (Data,
  // Modified, Modified again) and filtered by `filter_text` typed key by key, then Escape.
  bool sort_and_filter = true;
  std::string filter_text = "Vendor1";
};

// Runs the benchmark on this thread (which must be free to own windows) and returns its report,
// "key=value" pairs separated by blanks. Empty when the window could not be created.
std::string RunGuiBench(HINSTANCE instance, const GuiBenchOptions& options);

}  // namespace keyloom::bench
