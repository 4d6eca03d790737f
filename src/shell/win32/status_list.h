// The status list (lstStatus): a list box that mirrors the StatusLines model, at most 80 lines with
// the last one selected. The model takes every line as it comes; the list box is brought to the
// model's state once per batch of output, with only the lines that changed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/status_log.h"

namespace keyloom::shell {

class StatusList {
 public:
  HWND Create(HWND parent, int id, HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  engine::StatusLines& model() { return model_; }

  // Deletes `removed_front` lines from the top of the list box, appends `appended` and selects the
  // last line.
  void Apply(std::size_t removed_front, const std::vector<std::string>& appended);

  // The lines the list box shows.
  std::vector<std::string> Lines() const;
  // The line the user selected; nullopt when none is.
  std::optional<std::string> SelectedLine() const;

 private:
  HWND hwnd_ = nullptr;
  engine::StatusLines model_;
};

}  // namespace keyloom::shell
