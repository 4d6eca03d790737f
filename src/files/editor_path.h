// The path a registry editor file names a key by.
//
// On 64-bit Windows a double click on a .REG file starts the 64-bit registry editor, which reaches
// every key through the 64-bit view. A key of the 32-bit view that the system keeps elsewhere
// (HKEY_LOCAL_MACHINE\Software\X of the 32-bit view is HKEY_LOCAL_MACHINE\Software\Wow6432Node\X)
// must therefore be written under that other path: under its own, merging the file would change
// the key's 64-bit twin and leave the key itself as it is. Which keys the system keeps elsewhere
// differs between Windows versions, so no list is kept here: the system names the key a handle
// reached (RegApi::KeyRealName), and the nearest ancestor whose 64-bit key's name begins that name
// gives the path. Keys of the 64-bit view, keys both views share, and every key on 32-bit Windows
// keep the path they were opened by, letter for letter, and cost no question at all.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

class EditorPaths {
 public:
  // A key as a file names it.
  struct Named {
    std::string path;       // below the root, beginning with "\"
    std::string real_name;  // the system's name of the key; "" when not asked or not known
  };

  // Keys are opened below `base` (a root, or a remote machine's root after a connection) in
  // `view`; `root_name` is the root's long name for messages. `note` receives one debug log line
  // when the system cannot name a key, which then keeps the path it was opened by.
  EditorPaths(reg::RegApi& api, reg::KeyHandle base, reg::RegView view, std::string root_name,
              std::function<void(const std::string&)> note);

  // The key at `path` (beginning with "\"), opened here. A key that cannot be opened keeps its
  // path: whatever reads it next reports why. The same path again (the next value of the same key
  // in an export) gets the same name without a question.
  // A key that does not exist (yet: the one a rename is about to create) is named as a subkey of
  // its nearest ancestor that does.
  Named NameOf(const std::string& path);

  // Subkey `name` of `parent`, opened by `path` as `key`: named after its parent when the system
  // puts it below its parent's key, as it does almost always.
  Named NameSubkey(const Named& parent, const std::string& path, std::string_view name,
                   reg::KeyHandle key);

 private:
  bool Asks() const { return view_ == reg::RegView::k32; }
  Named Name(const std::string& path, reg::KeyHandle key);
  Named NameAbsent(const std::string& path);
  // The system's name of the 64-bit view's key at `path` below the base; "" when there is none.
  std::string TwinName(std::string_view path);
  // The path under which the 64-bit view reaches `real_name`; "" when no ancestor of `path` says.
  std::string Search(const std::string& path, const std::string& real_name);
  void Note(const std::string& path, const std::string& reason);

  reg::RegApi* api_;
  reg::KeyHandle base_;
  reg::RegView view_;
  std::string root_name_;
  std::function<void(const std::string&)> note_;
  bool noted_ = false;
  std::string last_path_;  // the path NameOf named last, and its name
  std::optional<Named> last_;
};

}  // namespace keyloom::files
