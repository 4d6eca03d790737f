// The registry port over advapi32's wide functions. Names and account texts cross the boundary
// through text.h's lossless UTF-8 <-> UTF-16 conversion; value data passes through as bytes.
#pragma once

#include <memory>

#include "registry/reg_api.h"

namespace keyloom::reg {

// The process-wide adapter over the real registry. Thread-safe: advapi32 is.
std::unique_ptr<RegApi> NewWin32RegApi();

}  // namespace keyloom::reg
