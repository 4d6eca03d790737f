// Opening the system's registry editor at a key (and value) from outside: the editor is found or
// started, then steered by the key strokes a user would type.
//
// How the steering works: Left arrows collapse the editor's key tree to its top item, a Right arrow
// expands the item reached so far, and the letters of a key name, typed quickly one after the
// other, select the matching child by the tree's incremental search. The search forgets what was
// typed after a short while (450 ms under Wine), so the letters of one name go without a pause and
// every level waits longer than that before its name is typed. The value list is steered the same
// way: Home, then the value name's letters.
//
// A newly started editor opens at the key it remembers in LastKey, which is written just before the
// start; key strokes are needed only when it did not honour it. At the end the tree's selection is
// read back, and a status line says so when it is not the wanted key.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::edit {

// The editor's panes that receive key strokes.
enum class EditorPane { kTree, kValues };

// The virtual keys the steering sends.
inline constexpr std::uint32_t kVkHome = 0x24;
inline constexpr std::uint32_t kVkLeft = 0x25;
inline constexpr std::uint32_t kVkRight = 0x27;

inline constexpr int kCollapseLefts = 30;
// After the tree moved (only on displays deeper than 8 bits per pixel, where it redraws slowly).
inline constexpr int kTreeSettleMs = 750;
// Between two levels of the path: longer than the incremental search's reset.
inline constexpr int kLevelPauseMs = 750;
// Before typing into the value list.
inline constexpr int kValueListPauseMs = 1000;

// One step of the steering.
struct SteerStep {
  enum class Kind {
    kFocus,    // bring `pane` to the foreground and give it the keyboard focus
    kKeyDown,  // a key press of virtual key `code` to `pane`
    kChar,     // the character `code` (one UTF-16 unit) typed into `pane`
    kPause,    // wait `code` milliseconds
  };
  Kind kind = Kind::kPause;
  EditorPane pane = EditorPane::kTree;
  std::uint32_t code = 0;
  bool operator==(const SteerStep&) const = default;
};

// The steps that take the tree from any selection to `tree_path` (the root's name, "\", the key
// path). `slow_display`: the display has more than 8 bits per pixel.
std::vector<SteerStep> TreeSteering(std::string_view tree_path, bool slow_display);
// The steps that select `value_name` in the value list.
std::vector<SteerStep> ValueSteering(std::string_view value_name);

// The key a tree path names, as the editor shows it ("My Computer\HKEY_LOCAL_MACHINE\SOFTWARE"):
// without the tree's top item when the text begins with it.
std::string KeyOfEditorPath(std::string_view shown);

// The registry editor as the steering sees it. The Windows one drives the real program; tests
// record what it is asked to do.
class RegistryEditor {
 public:
  virtual ~RegistryEditor() = default;
  // Whether the editor's main window exists.
  virtual bool IsRunning() = 0;
  // Starts the editor and waits, for a bounded time, until its main window exists and it is idle.
  // False when it could not be started or did not come up in time.
  virtual bool Start() = 0;
  // Shows the editor's main window and brings it to the foreground.
  virtual void Activate() = 0;
  virtual void Perform(const SteerStep& step) = 0;
  // The key selected in the tree as the editor shows it (see KeyOfEditorPath); nullopt when it
  // cannot be read.
  virtual std::optional<std::string> SelectedKey() = 0;
  // How the editor names its tree's top item in LastKey when no LastKey tells ("" when it writes
  // paths from the root's name on).
  virtual std::string TopItemName() = 0;
  // The display has more than 8 bits per pixel.
  virtual bool SlowDisplay() = 0;
};

// Where the editor keeps the key it opens at.
inline constexpr std::string_view kRegeditAppletKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";
inline constexpr std::string_view kLastKeyValue = "LastKey";

// Brings up `editor` at `key_path` below the root named `root_name` and, when `value_name` is not
// empty, at that value. The key is checked in the context's registry and the search's view; what
// goes wrong is a status log line, or `show_error` (a message box with the error icon) when the
// editor cannot be started.
void OpenRegeditAt(const engine::RunContext& context, RegistryEditor& editor,
                   const std::function<void(const std::string&)>& show_error,
                   std::string_view root_name, std::string_view value_name,
                   std::string_view key_path);

}  // namespace keyloom::edit
