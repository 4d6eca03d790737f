#include "edit/open_regedit.h"

#include <algorithm>

#include "base/text.h"
#include "files/editor_path.h"

namespace keyloom::edit {
namespace {

SteerStep Focus(EditorPane pane) { return {SteerStep::Kind::kFocus, pane, 0}; }
SteerStep KeyDown(EditorPane pane, std::uint32_t key) {
  return {SteerStep::Kind::kKeyDown, pane, key};
}
SteerStep Pause(int ms) {
  return {SteerStep::Kind::kPause, EditorPane::kTree, static_cast<std::uint32_t>(ms)};
}

// The characters of `text` as typed: a to z upper-cased, everything else as it is.
void Type(std::vector<SteerStep>& steps, EditorPane pane, std::u16string_view text) {
  for (char16_t unit : text) {
    const char16_t typed = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    steps.push_back({SteerStep::Kind::kChar, pane, typed});
  }
}

bool SameKey(std::string_view a, std::string_view b) {
  while (!a.empty() && a.back() == '\\') a.remove_suffix(1);
  while (!b.empty() && b.back() == '\\') b.remove_suffix(1);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

std::string_view FirstName(std::string_view path) { return path.substr(0, path.find('\\')); }

// LastKey for a newly started editor: its top item's name as the editor writes it (taken from the
// LastKey it left, or else its usual one), then the tree path.
void WriteLastKey(reg::RegApi& api, std::string_view tree_path, std::string_view default_top) {
  reg::KeyHandle key = reg::kNullKey;
  if (api.CreateKey(reg::kCurrentUser, kRegeditAppletKey, reg::kOptionNonVolatile,
                    reg::access::kQueryValue | reg::access::kSetValue, &key,
                    nullptr) != reg::kSuccess) {
    return;  // the steering by key strokes still follows
  }
  reg::UniqueKey guard(api, key);
  std::string top(default_top);
  std::uint32_t type = 0;
  reg::Bytes data;
  if (api.QueryValue(key, kLastKeyValue, &type, &data) == reg::kSuccess && type == reg::kRegSz) {
    const std::string last = reg::StringOf(data);
    if (!last.empty()) {
      const std::string_view first = FirstName(last);
      top = reg::RootByName(first) != nullptr ? std::string() : std::string(first);
    }
  }
  const std::string text =
      top.empty() ? std::string(tree_path) : top + "\\" + std::string(tree_path);
  api.SetValue(key, kLastKeyValue, reg::kRegSz, reg::StringData(text));
}

}  // namespace

std::vector<SteerStep> TreeSteering(std::string_view tree_path, bool slow_display) {
  std::vector<SteerStep> steps{Focus(EditorPane::kTree)};
  steps.insert(steps.end(), kCollapseLefts, KeyDown(EditorPane::kTree, kVkLeft));
  if (slow_display) steps.push_back(Pause(kTreeSettleMs));
  steps.push_back(KeyDown(EditorPane::kTree, kVkRight));
  const std::u16string path = text::Utf8ToUtf16(tree_path);
  std::size_t begin = 0;
  while (true) {
    const std::size_t end = std::min(path.find(u'\\', begin), path.size());
    Type(steps, EditorPane::kTree, std::u16string_view(path).substr(begin, end - begin));
    if (end == path.size()) break;
    // Expand the item reached; the next name is typed after the search forgot this one.
    steps.push_back(KeyDown(EditorPane::kTree, kVkRight));
    steps.push_back(Pause(kLevelPauseMs));
    begin = end + 1;
  }
  return steps;
}

std::vector<SteerStep> ValueSteering(std::string_view value_name) {
  std::vector<SteerStep> steps{Focus(EditorPane::kValues), Pause(kValueListPauseMs),
                               KeyDown(EditorPane::kValues, kVkHome)};
  Type(steps, EditorPane::kValues, text::Utf8ToUtf16(value_name));
  return steps;
}

std::string KeyOfEditorPath(std::string_view shown) {
  const std::string_view first = FirstName(shown);
  if (reg::RootByName(first) != nullptr) return std::string(shown);
  // The top item itself, or a key below it.
  return first.size() == shown.size() ? std::string() : std::string(shown.substr(first.size() + 1));
}

void OpenRegeditAt(const engine::RunContext& context, RegistryEditor& editor,
                   const std::function<void(const std::string&)>& show_error,
                   std::string_view root_name, std::string_view value_name,
                   std::string_view key_path) {
  reg::RegApi& api = *context.api;
  const reg::RegView view = context.TargetNow().view;
  const std::function<void(const std::string&)> log = [&context](const std::string& line) {
    context.log(line, false);
  };
  const reg::RootKey* root = reg::RootByName(root_name);
  bool exists = false;
  if (root != nullptr) {
    reg::TRegistry reg(api);
    reg.SetRootKey(root->handle);
    reg.SetAccessMode(1);
    reg.SetView(view);
    exists = reg.OpenKey(key_path);
  }
  if (!exists) {
    log("Registry Key no longer exists?");
    return;
  }
  // The system's editor shows every key as the 64-bit view reaches it: a key of the 32-bit view
  // that the system keeps elsewhere is found under that other path.
  std::string shown_path(key_path);
  if (shown_path.empty() || shown_path.front() != '\\') shown_path.insert(0, 1, '\\');
  shown_path = files::EditorPaths(api, root->handle, view, std::string(root_name), log)
                   .NameOf(shown_path)
                   .path;
  const std::string tree_path = std::string(root_name) + shown_path;

  bool started = false;
  if (!editor.IsRunning()) {
    WriteLastKey(api, tree_path, editor.TopItemName());
    if (!editor.Start()) {
      show_error("Keyloom was unable to launch Regedit.");
      return;
    }
    started = true;
  }
  editor.Activate();
  const auto at_key = [&] {
    const std::optional<std::string> shown = editor.SelectedKey();
    return shown && SameKey(*shown, tree_path);
  };
  if (!started || !at_key()) {
    for (const SteerStep& step : TreeSteering(tree_path, editor.SlowDisplay())) {
      editor.Perform(step);
    }
  }
  if (!value_name.empty()) {
    for (const SteerStep& step : ValueSteering(value_name)) editor.Perform(step);
  }
  const std::optional<std::string> shown = editor.SelectedKey();
  if (shown && !SameKey(*shown, tree_path)) {
    log("Regedit could not reach [" + tree_path + "], it stopped at [" + *shown + "]");
  }
  editor.Activate();
}

}  // namespace keyloom::edit
