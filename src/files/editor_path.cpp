#include "files/editor_path.h"

#include <optional>
#include <utility>
#include <vector>

#include "base/text.h"

namespace keyloom::files {
namespace {

// What the questions open keys with: the least that any key that can be read at all allows.
constexpr std::uint32_t kNameAccess = reg::access::kQueryValue;

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    if (!part.empty()) parts.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

bool SameName(std::string_view a, std::string_view b) {
  return text::CompareNamesIgnoringCase(text::Utf8ToUtf16(a), text::Utf8ToUtf16(b)) == 0;
}

// The part of the system's name `name` below `base`: "" for `base` itself, else beginning with
// "\"; nullopt when `name` does not lie there. Letter case is ignored, as the registry ignores it.
std::optional<std::string> Below(std::string_view name, std::string_view base) {
  const std::u16string whole = text::Utf8ToUtf16(name);
  const std::u16string start = text::Utf8ToUtf16(base);
  if (start.empty() || whole.size() < start.size()) return std::nullopt;
  const std::u16string_view head = std::u16string_view(whole).substr(0, start.size());
  if (text::CompareNamesIgnoringCase(head, start) != 0) return std::nullopt;
  const std::u16string_view rest = std::u16string_view(whole).substr(start.size());
  if (!rest.empty() && rest.front() != u'\\') return std::nullopt;
  return text::Utf16ToUtf8(rest);
}

std::string Join(const std::string& parent, std::string_view name) {
  std::string path = parent;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += name;
  return path;
}

// "\" + the first `kept` components of the opened path, then the components of the system's
// `rest`, spelled as the opened path spells them where the two agree (the system adds keys such
// as Wow6432Node; it never drops one).
std::string Compose(const std::vector<std::string_view>& opened, std::size_t kept,
                    std::string_view rest) {
  const std::vector<std::string_view> added = Components(rest);
  std::vector<std::string_view> spelled;
  std::size_t next = kept;
  for (const std::string_view part : added) {
    if (next < opened.size() && SameName(part, opened[next])) {
      spelled.push_back(opened[next++]);
    } else {
      spelled.push_back(part);
    }
  }
  if (next != opened.size()) spelled = added;
  std::string path;
  for (std::size_t i = 0; i < kept; ++i) path = Join(path, opened[i]);
  for (const std::string_view part : spelled) path = Join(path, part);
  return path.empty() ? "\\" : path;
}

}  // namespace

EditorPaths::EditorPaths(reg::RegApi& api, reg::KeyHandle base, reg::RegView view,
                         std::string root_name, std::function<void(const std::string&)> note)
    : api_(&api),
      base_(base),
      view_(view),
      root_name_(std::move(root_name)),
      note_(std::move(note)) {}

EditorPaths::Named EditorPaths::NameOf(const std::string& path) {
  if (!Asks()) return {path, ""};
  if (last_ && last_path_ == path) return *last_;
  reg::KeyHandle key = reg::kNullKey;
  const reg::ErrorCode rc = api_->OpenKey(base_, reg::WithoutLeadingBackslash(path),
                                          kNameAccess | reg::ViewFlag(view_), &key);
  if (rc == reg::kFileNotFound) return NameAbsent(path);
  if (rc != reg::kSuccess) return {path, ""};
  reg::UniqueKey guard(*api_, key);
  last_ = Name(path, key);
  last_path_ = path;
  return *last_;
}

EditorPaths::Named EditorPaths::NameAbsent(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos || slash == 0) return {path, ""};
  const Named parent = NameOf(path.substr(0, slash));
  return {Join(parent.path, std::string_view(path).substr(slash + 1)), ""};
}

EditorPaths::Named EditorPaths::NameSubkey(const Named& parent, const std::string& path,
                                           std::string_view name, reg::KeyHandle key) {
  if (!Asks()) return {path, ""};
  std::string real;
  if (!parent.real_name.empty() && api_->KeyRealName(key, &real) == reg::kSuccess) {
    const auto rest = Below(real, parent.real_name);
    if (rest && rest->size() == name.size() + 1 && SameName(rest->substr(1), name)) {
      return {Join(parent.path, name), real};
    }
  }
  return Name(path, key);
}

EditorPaths::Named EditorPaths::Name(const std::string& path, reg::KeyHandle key) {
  std::string real;
  const reg::ErrorCode rc = api_->KeyRealName(key, &real);
  if (rc != reg::kSuccess) {
    Note(path, "the system does not name it (" + text::TrimMessage(api_->ErrorMessage(rc)) + ")");
    return {path, ""};
  }
  std::string found = Search(path, real);
  if (found.empty()) {
    Note(path, "no key the 64-bit view reaches holds the system's key " + real);
    return {path, real};
  }
  return {std::move(found), std::move(real)};
}

std::string EditorPaths::TwinName(std::string_view path) {
  reg::KeyHandle key = reg::kNullKey;
  if (api_->OpenKey(base_, path, kNameAccess | reg::access::kWow64_64Key, &key) != reg::kSuccess) {
    return "";
  }
  reg::UniqueKey guard(*api_, key);
  std::string name;
  return api_->KeyRealName(key, &name) == reg::kSuccess ? name : "";
}

std::string EditorPaths::Search(const std::string& path, const std::string& real_name) {
  const std::vector<std::string_view> opened = Components(path);
  std::string prefix;
  std::vector<std::string> prefixes;
  for (const std::string_view part : opened) {
    prefix += prefix.empty() ? "" : "\\";
    prefix += part;
    prefixes.push_back(prefix);
  }
  // The nearest ancestor (the key itself first) whose 64-bit key holds the key.
  for (std::size_t kept = opened.size(); kept > 0; --kept) {
    const std::string twin = TwinName(prefixes[kept - 1]);
    if (twin.empty()) continue;
    if (const auto rest = Below(real_name, twin)) {
      if (kept == opened.size() && rest->empty()) return path;  // the 64-bit view's own key
      return Compose(opened, kept, *rest);
    }
    if (kept == 1) {
      // A predefined root has no name to ask for: its first key's name without that key is it.
      const std::size_t cut = twin.rfind('\\');
      if (cut != std::string::npos && cut > 0) {
        if (const auto rest = Below(real_name, std::string_view(twin).substr(0, cut))) {
          return Compose(opened, 0, *rest);
        }
      }
    }
  }
  // A remote machine's root is a key of its own.
  std::string root;
  if (!reg::IsPredefinedKey(base_) && api_->KeyRealName(base_, &root) == reg::kSuccess) {
    if (const auto rest = Below(real_name, root)) return Compose(opened, 0, *rest);
  }
  return "";
}

void EditorPaths::Note(const std::string& path, const std::string& reason) {
  if (noted_ || !note_) return;
  noted_ = true;
  note_("Undo record names key [" + root_name_ + path +
        "] by the path it was opened with: " + reason);
}

}  // namespace keyloom::files
