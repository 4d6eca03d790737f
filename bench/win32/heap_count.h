// Counts the program's live C++ heap blocks (every operator new and delete of the bench tool goes
// through the counting versions in heap_count.cpp), so the memory a Key List row costs can be
// measured exactly rather than read off the process's page counts.
#pragma once

#include <cstdint>

namespace keyloom::bench {

struct HeapCount {
  std::int64_t bytes = 0;   // usable bytes of the live blocks
  std::int64_t blocks = 0;  // live blocks
  // What the blocks cost the heap: their bytes and, per block, the 8-byte header of the 32-bit
  // Windows heap.
  std::int64_t Cost() const { return bytes + 8 * blocks; }
};

HeapCount LiveHeap();

}  // namespace keyloom::bench
