#include "engine/hit_details.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "base/text.h"

namespace keyloom::engine {
namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

// A preview being built: stops taking characters once it is full.
class Preview {
 public:
  bool Full() const { return full_; }

  // Appends UTF-8 text, a whole character at a time, control characters as blanks.
  void Add(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && !full_) {
      const auto lead = static_cast<unsigned char>(text[i]);
      std::size_t length = 1;
      if (lead >= 0xF0) {
        length = 4;
      } else if (lead >= 0xE0) {
        length = 3;
      } else if (lead >= 0xC0) {
        length = 2;
      }
      length = std::min(length, text.size() - i);
      if (characters_ == kPreviewCharacters) {
        full_ = true;
        break;
      }
      if (lead < 0x20 || lead == 0x7F) {
        out_.push_back(' ');
      } else {
        out_.append(text.substr(i, length));
      }
      ++characters_;
      i += length;
    }
  }

  std::string Take() {
    if (full_) out_.append(kEllipsis);
    return std::move(out_);
  }

 private:
  std::string out_;
  std::size_t characters_ = 0;
  bool full_ = false;
};

std::u16string_view UnitsOf(const std::vector<std::uint8_t>& data) {
  return {reinterpret_cast<const char16_t*>(data.data()), data.size() / 2};
}

std::string Hex(std::uint64_t number, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%0*llx", digits, static_cast<unsigned long long>(number));
  return buffer;
}

std::string Bytes(const std::vector<std::uint8_t>& data) {
  if (data.empty()) return "(zero-length binary value)";
  Preview preview;
  static const char* const kDigits = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size() && !preview.Full(); ++i) {
    const char pair[3] = {kDigits[data[i] >> 4], kDigits[data[i] & 15], ' '};
    preview.Add(std::string_view(pair, i + 1 < data.size() ? 3 : 2));
  }
  return preview.Take();
}

}  // namespace

std::string_view FoundInText(FoundIn found_in) {
  switch (found_in) {
    case FoundIn::kKeyName:
      return "Key name";
    case FoundIn::kValueName:
      return "Value name";
    case FoundIn::kData:
      return "Data";
  }
  return {};
}

std::string TypeName(std::uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < std::size(kNames)) return kNames[type];
  return Hex(type, 8);
}

std::string DataPreview(const reg::RawValue& value) {
  const auto& data = value.data;
  switch (value.type) {
    case reg::kRegSz:
    case reg::kRegExpandSz: {
      const std::u16string_view units = UnitsOf(data);
      Preview preview;
      // Read in pieces, so a long string costs no more than its preview.
      preview.Add(text::Utf16ToUtf8(
          units.substr(0, units.find(u'\0')).substr(0, kPreviewCharacters * 2 + 2)));
      return preview.Take();
    }
    case reg::kRegMultiSz: {
      std::u16string_view units = UnitsOf(data);
      Preview preview;
      bool first = true;
      while (!units.empty() && !preview.Full()) {
        const std::size_t nul = units.find(u'\0');
        const std::u16string_view item = units.substr(0, nul);
        // The list ends at an empty string (the terminating pair of NULs).
        if (item.empty() && nul != std::u16string_view::npos) break;
        if (!first) preview.Add(" | ");
        first = false;
        preview.Add(text::Utf16ToUtf8(item.substr(0, kPreviewCharacters * 2 + 2)));
        if (nul == std::u16string_view::npos) break;
        units.remove_prefix(nul + 1);
      }
      return preview.Take();
    }
    case reg::kRegDword:
      if (data.size() != 4) break;
      return Hex(reg::DwordOf(data), 8) + " (" + std::to_string(reg::DwordOf(data)) + ")";
    case reg::kRegQword:
      if (data.size() != 8) break;
      return Hex(reg::QwordOf(data), 16) + " (" + std::to_string(reg::QwordOf(data)) + ")";
    default:
      break;
  }
  return Bytes(data);
}

HitDetails ReadHitDetails(reg::RegApi& api, reg::KeyHandle key, const std::string* value_name,
                          FoundIn found_in, bool read_time) {
  HitDetails details;
  details.found_in = found_in;
  reg::KeyInfo info;
  if (read_time && api.QueryInfoKey(key, &info) == reg::kSuccess) {
    details.modified = info.last_write_time;
  }
  if (value_name == nullptr) return details;
  reg::RawValue raw;
  if (api.QueryValue(key, *value_name, &raw.type, &raw.data) == reg::kSuccess) {
    details.type = TypeName(raw.type);
    details.data = DataPreview(raw);
    details.value = std::move(raw);
  }
  return details;
}

}  // namespace keyloom::engine
