#include "heap_counter.h"

#include <malloc.h>

#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define ORVANE_HEAP_COUNTED 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define ORVANE_HEAP_COUNTED 0
#endif
#endif
#ifndef ORVANE_HEAP_COUNTED
#define ORVANE_HEAP_COUNTED 1
#endif

namespace {
orvane_test::heap_figures figures;
}

namespace orvane_test {

bool heap_counted() { return ORVANE_HEAP_COUNTED != 0; }
heap_figures heap_now() { return figures; }
void reset_heap_peak() { figures.peak_bytes = figures.bytes; }

}  // namespace orvane_test

#if ORVANE_HEAP_COUNTED
// glibc's own entry points, under the names it exports for exactly this.
extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);
}

namespace {

void *counted(void *p) {
    if (p != nullptr) {
        figures.bytes += static_cast<long long>(malloc_usable_size(p));
        ++figures.blocks;
        if (figures.bytes > figures.peak_bytes) figures.peak_bytes = figures.bytes;
    }
    return p;
}

void uncount(void *p) {
    if (p == nullptr) return;
    figures.bytes -= static_cast<long long>(malloc_usable_size(p));
    --figures.blocks;
}

}  // namespace

extern "C" {
void *malloc(std::size_t n) { return counted(__libc_malloc(n)); }
void *calloc(std::size_t n, std::size_t size) { return counted(__libc_calloc(n, size)); }
void free(void *p) {
    uncount(p);
    __libc_free(p);
}
void *realloc(void *p, std::size_t n) {
    if (p == nullptr) return malloc(n);
    if (n == 0) {
        free(p);
        return nullptr;
    }
    long long before = static_cast<long long>(malloc_usable_size(p));
    void *q = __libc_realloc(p, n);
    if (q == nullptr) return nullptr;  // a failed growth leaves the block as it was
    figures.bytes += static_cast<long long>(malloc_usable_size(q)) - before;
    if (figures.bytes > figures.peak_bytes) figures.peak_bytes = figures.bytes;
    return q;
}
void *memalign(std::size_t alignment, std::size_t n) { return counted(__libc_memalign(alignment, n)); }
void *aligned_alloc(std::size_t alignment, std::size_t n) { return memalign(alignment, n); }
int posix_memalign(void **out, std::size_t alignment, std::size_t n) {
    void *p = memalign(alignment, n);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif
