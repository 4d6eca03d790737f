#include "bench/win32/heap_count.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace keyloom::bench {
namespace {

std::atomic<std::int64_t> g_bytes{0};
std::atomic<std::int64_t> g_blocks{0};

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) {
    g_bytes += static_cast<std::int64_t>(_msize(block));
    ++g_blocks;
  }
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  g_bytes -= static_cast<std::int64_t>(_msize(block));
  --g_blocks;
  std::free(block);
}

}  // namespace

HeapCount LiveHeap() { return {g_bytes.load(), g_blocks.load()}; }

}  // namespace keyloom::bench

void* operator new(std::size_t size) {
  void* block = keyloom::bench::Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return keyloom::bench::Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return keyloom::bench::Allocate(size);
}
void operator delete(void* block) noexcept { keyloom::bench::Release(block); }
void operator delete[](void* block) noexcept { keyloom::bench::Release(block); }
void operator delete(void* block, std::size_t) noexcept { keyloom::bench::Release(block); }
void operator delete[](void* block, std::size_t) noexcept { keyloom::bench::Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  keyloom::bench::Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  keyloom::bench::Release(block);
}
