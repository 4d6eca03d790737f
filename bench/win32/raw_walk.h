// The raw walk: the registry API's own limit for seeing every key and value of a tree. The wide
// functions called directly, into buffers reused for every key and value: no port, no UTF-8, no
// copies. Depth first, one open handle per level, each key's counts asked once so that no read
// only answers "no more items".
#pragma once

#include <windows.h>

#include "bench/bare_walk.h"

namespace keyloom::bench {

// Walks everything below the open key `start` (its own values are not read). `access` is the mask
// every open uses (KEY_READ and the view flag).
WalkCounts RawWalk(HKEY start, REGSAM access);

}  // namespace keyloom::bench
