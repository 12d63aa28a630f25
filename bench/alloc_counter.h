// Counts heap allocations (and frees) made anywhere in the process, so
// that a benchmark can report allocations per iteration, and the blocks
// an operation left behind, as counters. Include it
// in exactly one source file of a benchmark program: it defines the
// process's allocation functions.
//
// With glibc the C allocation functions themselves are replaced (and
// forward to glibc's own), which also catches operator new and every
// allocation the shared libraries make. Elsewhere only operator new is
// counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include <benchmark/benchmark.h>

namespace bench {

inline std::atomic<unsigned long> allocation_count{0};

inline std::atomic<unsigned long> release_count{0};

inline unsigned long allocations() { return allocation_count.load(std::memory_order_relaxed); }
// Blocks allocated and not yet freed, since the process began (as far as
// the counter sees them).
inline long live_blocks() {
  return static_cast<long>(allocations()) - static_cast<long>(release_count.load(std::memory_order_relaxed));
}

// Allocations made while the state's loop ran, divided by its iterations.
// Take `before` just ahead of the loop.
inline void report_allocations(benchmark::State& state, unsigned long before) {
  state.counters["allocs_per_iter"] =
      benchmark::Counter(static_cast<double>(allocations() - before), benchmark::Counter::kAvgIterations);
}

}  // namespace bench

#if defined(__GLIBC__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
  bench::allocation_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  bench::allocation_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  bench::allocation_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(pointer, size);
}
void free(void* pointer) {
  if (pointer != nullptr) bench::release_count.fetch_add(1, std::memory_order_relaxed);
  __libc_free(pointer);
}
}
#else
void* operator new(size_t size) {
  bench::allocation_count.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept {
  if (pointer != nullptr) bench::release_count.fetch_add(1, std::memory_order_relaxed);
  std::free(pointer);
}
void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }
#endif
