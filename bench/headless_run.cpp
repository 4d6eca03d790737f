#include "bench/headless_run.h"

#include <atomic>

namespace keyloom::bench {
namespace {

// Counts what a window would show.
class CountingOutput final : public engine::RunOutput {
 public:
  void AddStatusLine(std::string) override { ++lines; }
  void SetStatusBarText(const std::string&) override { ++bar_texts; }
  void AddKeyListEntry(std::string row) override {
    ++rows;
    row_bytes += row.size();
  }
  void ClearLists() override {}
  void RunFinished() override {}
  void RequestQuit() override {}

  std::atomic<std::uint64_t> lines{0}, bar_texts{0}, rows{0}, row_bytes{0};
};

}  // namespace

HeadlessResult RunHeadless(reg::RegApi& api, engine::PauseGate& gate,
                           const HeadlessOptions& options) {
  shell::JobRequest request;
  request.settings.simulate = options.simulate;
  request.settings.undodir = options.undo_folder;
  request.window.find = options.find;
  request.window.rules.mode = options.mode;
  request.window.replace = options.replace;
  request.window.searchkey = options.root_choice;
  request.window.searchvalues = options.include_values;
  request.window.searchkeys = options.include_value_names;
  request.window.searchtree = options.include_key_names;
  request.search_only = options.replace.empty();
  request.program.folder = options.undo_folder;
  request.program.user_name = "bench";
  request.program.is_64bit_windows = options.is_64bit_windows;
  request.silent = options.silent;

  CountingOutput output;
  HeadlessResult result;
  result.job = shell::RunJob(api, gate, request, output);
  result.rows = output.rows;
  result.row_bytes = output.row_bytes;
  result.status_lines = output.lines;
  result.status_bar_texts = output.bar_texts;
  return result;
}

}  // namespace keyloom::bench
