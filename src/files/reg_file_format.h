// The registry editor's text format, version 5.00, as undo files and the REG export write it, and
// the plain value text of the CSV export.
//
// A value line is the value's name field, "=" and its data:
//   "Path"="C:\\Temp"              a string: backslashes and double quotes escaped
//   "Count"=dword:000000ff         a 4-byte integer
//   "x"=hex(2):25,00,41,00,00,00   every other kind: the exact bytes the registry holds
// The unnamed value's name field is "@", as the registry editor writes it itself. Every line that
// carries a byte list is wrapped at 79 characters: a line ends after a comma with "\", and the next
// one starts with two blanks. Lines are only ever cut inside the byte list, never inside a name.
//
// Nothing is lost on the way back: a string whose bytes are not exactly text plus one terminating
// NUL (data after the NUL, no terminator, an odd size, a line break inside) is written as
// hex(1) with its bytes, an integer of another size than 4 as hex(4), and REG_NONE and types
// without a name of their own as hex(<type>), so that merging the line stores the same type and
// the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

inline constexpr std::string_view kRegFileSignature = "Windows Registry Editor Version 5.00";
// The web-site domain the header's third line names.
inline constexpr std::string_view kProductDomain = "keyloom.dev";
inline constexpr std::string_view kCrLf = "\r\n";
// The longest a wrapped line gets before its "\".
inline constexpr std::size_t kWrapColumn = 79;

// Every backslash doubled, every double quote preceded by a backslash; nothing else changes.
std::string EscapeRegText(std::string_view text);

// "@" for the unnamed value (the empty name), else the escaped name in double quotes.
std::string ValueNameField(std::string_view name);

// Every byte as two lower-case hexadecimal digits, separated by ",".
std::string ByteList(const reg::Bytes& bytes);

// Wraps a value line: while the rest is longer than 79 characters (UTF-16 units, as the file
// holds them), it is cut after the last "," among its first 79 characters, the piece gets a "\"
// and the rest two leading blanks. A rest without such a comma stays whole. Pieces are joined by
// CR LF. The first `head_length` units (the name field and the prefix) are never cut.
std::string WrapValueLine(std::string_view line, std::size_t head_length = 0);

// The four header lines of a file Keyloom writes (undo files, the REG export) for `machine_name`
// ("" for the local registry).
std::vector<std::string> RegFileHeaderLines(std::string_view machine_name);

// The value line of a value (wrapped where the kind carries a byte list).
std::string RegValueLine(std::string_view name, const reg::RawValue& value);

// The line that removes a value when merged: the name field followed by "=-".
std::string RegRemoveValueLine(std::string_view name);

// The plain text of a value for the CSV export: strings as they read (cut at the first NUL), a
// 4-byte integer as its signed decimal value, every other kind as its byte list; REG_NONE and
// unknown types give "".
std::string PlainValueText(const reg::RawValue& value);

// Whether the bytes of a REG_SZ are exactly text plus one terminating NUL, with no line break in
// the text, so that the quoted form carries them; the text goes to `text` when wanted.
bool IsQuotableString(const reg::Bytes& data, std::string* text = nullptr);

// The file's bytes for a piece of text: UTF-16LE, as the registry editor writes version 5.00
// files. A file starts with kUtf16Bom.
inline constexpr std::string_view kUtf16Bom = "\xFF\xFE";
std::string EncodeUtf16Le(std::string_view utf8);

}  // namespace keyloom::files
