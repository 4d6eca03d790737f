// Value data for tests, written the way the registry stores it.
#pragma once

#include <string_view>

#include "base/text.h"
#include "registry/reg_api.h"

namespace keyloom::testing {

// UTF-16 units (NULs inside them kept) and one terminating NUL: the data of a string value.
inline reg::Bytes Utf16Z(std::u16string_view units) {
  reg::Bytes out = text::Utf16ToBytes(units);
  out.insert(out.end(), {0, 0});
  return out;
}

}  // namespace keyloom::testing
