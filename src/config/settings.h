// The settings record: the user's preferences that every run, every flow beside a run and the
// settings file share, and the one store they are read from.
//
// Every member of Settings is named after its key in KEYLOOM.INI in lower case (AUTOSTART ->
// autostart); the file itself is read and written by the shell. A new option of a run is one member
// here, read where it matters through the run's context.
//
// The run's worker reads the settings while the Options dialog may change them: SettingsStore hands
// out whole copies under a lock, so no reader ever sees a half-changed record, and a change saved
// during a run applies to the rest of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace keyloom::config {

// Bits of UNDO: which changes get undo records. A search run records its data replacements and
// value renames under kUndoEdits, its deletions and key renames under kUndoDeletes.
inline constexpr int kUndoEdits = 1;
inline constexpr int kUndoDeletes = 2;
inline constexpr int kUndoRenames = 4;

// Whether runs record their changes: the UNDO bits for edits and deletes, which runs use. The main
// window's "Create Registry Undo File" box shows it (greyed when only one of the two is set) and
// REGUNDO mirrors it in the file ("1" for all, else "0"); UNDO alone decides.
enum class RunUndoState { kNone, kAll, kPartial };
inline constexpr int kRunUndoBits = kUndoEdits | kUndoDeletes;

constexpr RunUndoState RunUndoStateOf(int undo) {
  const int bits = undo & kRunUndoBits;
  if (bits == 0) return RunUndoState::kNone;
  return bits == kRunUndoBits ? RunUndoState::kAll : RunUndoState::kPartial;
}

// UNDO after the box is checked (`on`) or cleared: both run bits change, the renames bit stays.
constexpr int WithRunUndo(int undo, bool on) {
  return on ? (undo | kRunUndoBits) : (undo & ~kRunUndoBits);
}

struct Settings {
  bool autostart = false;   // AUTOSTART: start a replace run by itself at start-up
  bool autoclose = false;   // AUTOCLOSE: quit when a run ends
  bool autohide = false;    // AUTOHIDE: with AUTOSTART and AUTOCLOSE, the silent unattended mode
  bool updateini = true;    // UPDATEINI: save the settings when the program exits
  bool enabledel = false;   // ENABLEDEL: search and delete instead of search and replace
  bool wholenum = true;     // WHOLENUM: numbers match only as whole numbers
  bool showpermerr = true;  // SHOWPERMERR: kept and shown in Options
  // WARN, first flag: the key-name warning is not shown.
  bool suppress_key_name_warning = false;
  bool warn_second_flag = false;  // WARN, second flag: kept and written back, nothing reads it
  std::string undodir;            // UNDODIR: folder of the undo files, ending in a path separator
  int undo = kUndoEdits | kUndoDeletes | kUndoRenames;  // UNDO: bit mask, see kUndo*
  bool smundo = true;                                   // SMUNDO: kept and shown in Options
  bool saundo = true;     // SAUNDO: a separate undo file for each automatic change
  int logging = 0;        // LOGGING: 0 Default, 1 Informational, 2 Debug
  int defaultundo = 0;    // DEFAULTUNDO: 0 REG undo files, 1 INF undo files
  int scanmethod = 0;     // SCANMETHOD: registry view on 64-bit Windows, 0 32-bit, 1 64-bit;
                          // also the item index of the main window's cmbScanMethod
  bool simulate = false;  // SIMULATE: change nothing; read, never written
  bool fixperms = false;  // FIXPERMS: repair the security of keys that refuse access

  bool operator==(const Settings&) const = default;
};

// The process-wide settings record, shared by the GUI thread and the run's worker.
class SettingsStore {
 public:
  SettingsStore() = default;
  explicit SettingsStore(Settings initial) : settings_(std::move(initial)) {}

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // A copy of the whole record as it is now.
  Settings Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
  }

  // Changes the record under the lock: fn(Settings&). Readers see all of the change or none of it.
  template <typename Fn>
  void Update(Fn&& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::forward<Fn>(fn)(settings_);
    version_.fetch_add(1, std::memory_order_release);
  }

  void Replace(Settings settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = std::move(settings);
    version_.fetch_add(1, std::memory_order_release);
  }

  // fn(const Settings&) under the lock, for readers that want a few fields rather than a copy of
  // the whole record (the status log asks at every line).
  template <typename Fn>
  auto Read(Fn&& fn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<Fn>(fn)(std::as_const(settings_));
  }

  // Brings `copy` up to date for a reader that consults the record at every step (the walk, at
  // every key): copies only when the record changed since `*seen`, the version of the copy it
  // holds (start from kNeverSeen). A change made meanwhile is seen at the next call.
  static constexpr std::uint64_t kNeverSeen = ~std::uint64_t{0};
  void Refresh(Settings& copy, std::uint64_t& seen) const {
    if (version_.load(std::memory_order_acquire) == seen) return;
    std::lock_guard<std::mutex> lock(mutex_);
    copy = settings_;
    seen = version_.load(std::memory_order_relaxed);
  }

  int LoggingLevel() const {
    return Read([](const Settings& s) { return s.logging; });
  }

 private:
  mutable std::mutex mutex_;
  Settings settings_;
  std::atomic<std::uint64_t> version_{0};
};

}  // namespace keyloom::config
