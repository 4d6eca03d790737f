// JSON strings from the program's UTF-8 text. Registry names and data may hold control
// characters and lone UTF-16 surrogates (kept in their three-byte form inside the program), which
// a JSON document cannot hold as they are: both are written as \u escapes, so the document is
// always valid UTF-8 and valid JSON, and a reader gets the registry's UTF-16 units back.
#pragma once

#include <string>
#include <string_view>

namespace keyloom::text {

// `utf8` as a JSON string, quotes included. Bytes that are not UTF-8 at all become U+FFFD.
std::string JsonString(std::string_view utf8);

}  // namespace keyloom::text
