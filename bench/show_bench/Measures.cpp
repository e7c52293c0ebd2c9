// The heap allocation counters, the clocks and the statistics of show_bench.
#include <malloc.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "ShowBench.h"

// ---------------------------------------------------------------------------------------
// Heap allocation counters. This executable's operator new and malloc family stand in
// front of libstdc++'s and glibc's, so every allocation of the process passes through
// here: C++ allocations (the show's own code and the C++ library) are counted apart from
// C allocations (SDL, Mesa, the X libraries, ...).

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

std::atomic<uint64_t> newCount{0};     // operator new, all threads
std::atomic<uint64_t> mallocCount{0};  // the malloc family, all threads
__thread uint64_t newCountThisThread = 0;

namespace {
inline void countMalloc() { mallocCount.fetch_add(1, std::memory_order_relaxed); }

void* countedNew(size_t size) {
  newCount.fetch_add(1, std::memory_order_relaxed);
  ++newCountThisThread;
  void* pointer = __libc_malloc(size ? size : 1);
  if (!pointer) throw std::bad_alloc();
  return pointer;
}
}  // namespace

void* operator new(size_t size) { return countedNew(size); }
void* operator new[](size_t size) { return countedNew(size); }
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { __libc_free(pointer); }

extern "C" {
void* malloc(size_t size) {
  countMalloc();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  countMalloc();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  countMalloc();
  return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
  countMalloc();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  countMalloc();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  countMalloc();
  void* pointer = __libc_memalign(alignment, size);
  if (!pointer) return ENOMEM;
  *out = pointer;
  return 0;
}
void free(void* pointer) { __libc_free(pointer); }
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // ru_maxrss is in KiB
}

const Scene* findScene(const std::string& name) {
  for (const Scene& scene : kScenes) {
    if (name == scene.name) return &scene;
  }
  return nullptr;
}
