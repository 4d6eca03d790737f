// The bare walk (the port walk): the least a search must do to see every key and every value
// through the registry port. Depth first, one open handle per level; every subkey enumerated and
// opened, every value read with its name and data into room reused for the whole walk, as the
// engine reads them; nothing matched, nothing shown. A search of the same tree through the same
// port cannot be faster, so it is the yardstick of the engine's speed.
#pragma once

#include <cstdint>

#include "registry/reg_api.h"

namespace keyloom::bench {

struct WalkCounts {
  std::uint64_t keys = 0;    // keys opened below the start key
  std::uint64_t values = 0;  // values read (with their data)
  std::uint64_t data_bytes = 0;
  std::uint64_t failures = 0;  // subkeys that could not be opened or read
  std::uint32_t max_depth = 0;
};

// Walks everything below the open key `start` (its own values are not read, as a search does not
// read those of a root). `access` is the mask every open uses (KEY_READ and the view flag).
WalkCounts BareWalk(reg::RegApi& api, reg::KeyHandle start, std::uint32_t access);

// The same walk with one open key at a time, as a walk that keeps a constant number of handles
// makes it: down into a subkey by a relative open, back up by opening the parent again by its
// absolute path after every subkey. Walks everything below `root`.
WalkCounts BareWalkReopening(reg::RegApi& api, reg::KeyHandle root, std::uint32_t access);

}  // namespace keyloom::bench
