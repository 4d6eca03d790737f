// A strict reader of JSON documents for tests: it accepts exactly the grammar of RFC 8259 (UTF-8
// text only, no raw control characters in strings, no trailing commas) and gives a tree whose
// strings are UTF-16 units, so a test sees a lone surrogate escaped by the writer come back.
#pragma once

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace keyloom::testing {

struct Json {
  bool boolean = false;
  double number = 0;
  std::u16string string;
  std::vector<Json> array;
  std::map<std::string, Json> object;  // keys as UTF-8

  const Json& operator[](const std::string& key) const { return object.at(key); }
  const Json& operator[](std::size_t i) const { return array.at(i); }
  std::string Utf8() const { return text::Utf16ToUtf8(string); }
};

class JsonReader {
 public:
  // The document, or nullopt when `text` is not one.
  static std::optional<Json> Parse(std::string_view text) {
    if (!text::IsValidUtf8(text, false)) return std::nullopt;
    JsonReader reader(text);
    Json value;
    if (!reader.Value(value)) return std::nullopt;
    reader.Blank();
    if (reader.at_ != text.size()) return std::nullopt;
    return value;
  }

 private:
  explicit JsonReader(std::string_view text) : text_(text) {}

  void Blank() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }
  // Skips blanks, then takes `c` when it comes next.
  bool Eat(char c) {
    Blank();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Value(Json& out) {
    if (Eat('{')) return Object(out);
    if (Eat('[')) return Array(out);
    if (Eat('"')) return String(out.string);
    if (Word("true")) return out.boolean = true;
    return Word("false") || Word("null") || Number(out);
  }
  bool Number(Json& out) {
    const std::size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    const std::size_t digits = at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    if (at_ == digits || (text_[digits] == '0' && at_ - digits > 1)) return false;
    out.number = std::stod(std::string(text_.substr(start, at_ - start)));
    return true;
  }
  // After the opening quote.
  bool String(std::u16string& out) {
    std::string bytes;
    while (at_ < text_.size() && text_[at_] != '"') {
      const char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        bytes += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meant = "\"\\/\b\f\n\r\t";
      if (const std::size_t k = simple.find(e); k != std::string_view::npos) {
        bytes += meant[k];
      } else if (e == 'u' && at_ + 4 <= text_.size()) {
        out += text::Utf8ToUtf16(bytes);
        bytes.clear();
        out += static_cast<char16_t>(std::stoul(std::string(text_.substr(at_, 4)), nullptr, 16));
        at_ += 4;
      } else {
        return false;
      }
    }
    out += text::Utf8ToUtf16(bytes);
    return at_++ < text_.size();
  }
  bool Array(Json& out) {
    if (Eat(']')) return true;
    do {
      if (!Value(out.array.emplace_back())) return false;
    } while (Eat(','));
    return Eat(']');
  }
  bool Object(Json& out) {
    if (Eat('}')) return true;
    do {
      std::u16string key;
      if (!Eat('"') || !String(key) || !Eat(':')) return false;
      if (!Value(out.object[text::Utf16ToUtf8(key)])) return false;
    } while (Eat(','));
    return Eat('}');
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace keyloom::testing
