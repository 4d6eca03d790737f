// The walk of a key tree during a run: depth first, every subkey matched by name (and renamed or
// deleted in replace and delete runs), its values checked, keys that refuse access repaired for
// the time of their walk, and every subtree descended into down to the depth limit.
//
// The walk holds one open handle per level (at most 41): the key being walked stays open while its
// subkeys are examined, instead of being re-opened by path after every subkey. A key that vanishes
// while its subkeys are walked ends that level's loop and abandons the pass, as a failed re-open
// would. The walk asks the registry only what reading every key and value needs: a deleted key's
// handle answers "key deleted" to every read, and its subkeys are gone with it, so the next open
// through it or the next read below it tells; only after a call below it failed is the key
// itself asked whether it is still there. A key deleted after the walk's last read below it is
// as one deleted after the walk left it. Pause points: the pause gate and the stop request before
// every subkey, and the stop request at the start of every level.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/match.h"
#include "engine/run_context.h"
#include "engine/pattern.h"
#include "engine/run_io.h"
#include "engine/search_session.h"
#include "registry/reg_api.h"

namespace keyloom::engine {

// The deepest level examined below a start key; subkeys of a key at level 41 are not visited.
inline constexpr int kDepthLimit = 40;

// What the walk knows of the run for the key being examined.
struct WalkFrame {
  SearchSession* session = nullptr;
  // The settings record, brought up to date at every key examined.
  config::Settings settings;
  std::uint64_t settings_seen = config::SettingsStore::kNeverSeen;
  reg::KeyHandle root = reg::kNullKey;  // the pass's root (a remote root after a connection)
  const char* root_name = "";
  // The start key of a follow-up pass (a key the run renamed), as the walk's paths spell it; "" in
  // the main pass.
  std::string renamed_start;
  std::uint64_t key_written = 0;  // last write time of the key being examined (0: unknown)
  // A call below the key of the level being walked failed (a read that answered "key deleted",
  // an open refused, a connection lost): the key is asked at the level's end whether it is
  // still there.
  bool call_failed = false;
  // The room every value of the walk is read into, and the find text made ready to match them
  // as they are read (CheckValues).
  reg::ValueBuffer value_room;
  std::optional<FindUnits> find_units;
  // The find text of the Wildcards, Regex and Hex modes, compiled for the case rule it holds.
  std::unique_ptr<const Pattern> pattern;
};

// The run's pattern for `case_sensitive`, compiled at its first use and again when the case rule
// changes; null in the Text mode. Throws std::runtime_error for a find text that does not compile
// (a run refuses one before it starts).
const Pattern* PatternOf(WalkFrame& frame, bool case_sensitive);

// Whether the session's filters let the walk look at a value of `kind` holding `size` bytes: the
// type filter (whose REG_BINARY item serves the Hex mode) and the size range.
bool ValueConsidered(const SearchSession& session, reg::DataKind kind, std::size_t size);

class RegistryWalker final : public KeyWalker {
 public:
  // `context` must outlive the walker.
  explicit RegistryWalker(const RunContext& context) : context_(context) {}

  void WalkKey(SearchEngine& engine, reg::TRegistry& reg) override;

 private:
  // `names`: the key's subkey names when the caller has read them already, else null.
  void WalkLevel(WalkFrame& frame, reg::KeyHandle key, const std::string& path,
                 std::vector<std::string>* names);
  // Examines subkey `name` of the key at `path`. False when the key at `path` is gone.
  bool ExamineSubkey(WalkFrame& frame, reg::KeyHandle parent, const std::string& path,
                     const std::string& name, const std::string& parent_display);
  // The names of at most `count` subkeys, in enumeration order.
  std::vector<std::string> SubkeyNames(WalkFrame& frame, reg::KeyHandle key,
                                       std::uint32_t count = 0xFFFFFFFF);
  bool KeyGone(reg::KeyHandle key);
  // The key-name check of the open subkey; closes `*child` when it renamed or deleted the key.
  void CheckKeyName(WalkFrame& frame, reg::UniqueKey* child, const std::string& parent_display,
                    const std::string& name);
  // The new path of the key at `full` in a replace run.
  std::string RenamedPath(WalkFrame& frame, const std::string& full) const;
  // Whether the key `name` below `parent_display` matches the find text; a pattern that gives up
  // on it is logged and counted, and does not match.
  bool KeyNameMatches(WalkFrame& frame, const std::string& parent_display,
                      const std::string& name);
  reg::KeyHandle OpenSubkey(reg::KeyHandle parent, const std::string& name);
  std::string ErrorText(reg::ErrorCode code);
  // A key whose examination an error ended: logged and counted among the keys not read.
  void NotExamined(SearchSession& session, const std::string& full, const std::exception& error);
  void Log(const std::string& text, bool debug_only = false) { context_.log(text, debug_only); }
  // The settings of the key examined now.
  void ReadSettings(WalkFrame& frame) const {
    context_.settings->Refresh(frame.settings, frame.settings_seen);
  }

  const RunContext& context_;
  SearchEngine* engine_ = nullptr;
  reg::RegView view_ = reg::RegView::kNone;
  reg::ErrorCode last_error_ = reg::kSuccess;
};

}  // namespace keyloom::engine
