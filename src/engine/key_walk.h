// The walk of a key tree during a run: depth first, every subkey matched by name (and renamed or
// deleted in replace and delete runs), its values checked, keys that refuse access repaired for
// the time of their walk, and every subtree descended into down to the depth limit.
//
// The walk holds one open handle per level (at most 41): the key being walked stays open while its
// subkeys are examined, instead of being re-opened by path after every subkey. A key that vanishes
// while its subkeys are walked ends that level's loop and abandons the pass, as a failed re-open
// would. Pause points: the pause gate and the stop request before every subkey, and the stop
// request at the start of every level.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/globals.h"
#include "engine/match.h"
#include "engine/pattern.h"
#include "engine/run_io.h"
#include "engine/search_session.h"
#include "files/change_settings.h"
#include "files/kept_log.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "registry/reg_api.h"

namespace keyloom::engine {

// The deepest level examined below a start key; subkeys of a key at level 41 are not visited.
inline constexpr int kDepthLimit = 40;

struct WalkDeps {
  reg::RegApi* api = nullptr;
  Globals* globals = nullptr;
  RunControls* controls = nullptr;
  RunOutput* output = nullptr;
  files::UndoFile* undo = nullptr;
  // Told of each run's start and end; may be null.
  files::RunJournal* journal = nullptr;
  // Keeps each run's whole status log beside its undo files; may be null.
  files::KeptLog* kept_log = nullptr;
  reg::ProgramAccount* account = nullptr;
  LogFunction log;
  // Writes a line to the debug log file alone (also in silent mode), at logging level 2.
  std::function<void(const std::string&)> debug_file;
  std::function<RunSettings()> settings;
  // The settings a registry change is made with, read right before each change.
  std::function<files::ChangeSettings()> change_settings;
};

// What the walk knows of the run for the key being examined.
struct WalkFrame {
  SearchSession* session = nullptr;
  RunSettings settings;
  reg::KeyHandle root = reg::kNullKey;  // the pass's root (a remote root after a connection)
  const char* root_name = "";
  // The start key of a follow-up pass (a key the run renamed), as the walk's paths spell it; "" in
  // the main pass.
  std::string renamed_start;
  std::uint64_t key_written = 0;  // last write time of the key being examined (0: unknown)
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

// The run's dependencies, sharing with the walk its registry, globals, controls, output, log,
// settings and undo writer, for the given pause gate and walker.
EngineDeps EngineDepsFor(const WalkDeps& walk, PauseGate& gate, KeyWalker& walker);

class RegistryWalker final : public KeyWalker {
 public:
  explicit RegistryWalker(WalkDeps deps) : deps_(std::move(deps)) {}
  // The run's pause points and stop request.

  void WalkKey(SearchEngine& engine, reg::TRegistry& reg) override;

 private:
  // `names`: the key's subkey names when the caller has read them already, else null.
  void WalkLevel(WalkFrame& frame, reg::KeyHandle key, const std::string& path,
                 std::vector<std::string>* names);
  // Examines subkey `name` of the key at `path`. False when the key at `path` is gone.
  bool ExamineSubkey(WalkFrame& frame, reg::KeyHandle parent, const std::string& path,
                     const std::string& name, const std::string& parent_display);
  // The names of at most `count` subkeys, in enumeration order.
  std::vector<std::string> SubkeyNames(reg::KeyHandle key, std::uint32_t count = 0xFFFFFFFF);
  bool KeyGone(reg::KeyHandle key);
  // The key-name check of the open subkey; closes `*child` when it renamed or deleted the key.
  void CheckKeyName(WalkFrame& frame, reg::UniqueKey* child, const std::string& parent_display,
                    const std::string& name);
  // The new path of the key at `full` in a replace run.
  std::string RenamedPath(WalkFrame& frame, const std::string& full) const;
  // Whether the key `name` at `full` matches the find text; a pattern that gives up on it is
  // logged and counted, and does not match.
  bool KeyNameMatches(WalkFrame& frame, const std::string& full, const std::string& name);
  reg::KeyHandle OpenSubkey(reg::KeyHandle parent, const std::string& name);
  std::string ErrorText(reg::ErrorCode code);
  // A key whose examination an error ended: logged and counted among the keys not read.
  void NotExamined(SearchSession& session, const std::string& full, const std::exception& error);
  void Log(const std::string& text, bool debug_only = false) { deps_.log(text, debug_only); }

  WalkDeps deps_;
  SearchEngine* engine_ = nullptr;
  reg::RegView view_ = reg::RegView::kNone;
  reg::ErrorCode last_error_ = reg::kSuccess;
};

}  // namespace keyloom::engine
