// How the heap of a process that loads the host grows. Reading a workbook and building its
// request make a few hundred thousand small blocks in one burst: page by page, first touching
// them costs the kernel more than reading the file does. So the heap grows in huge pages where
// the kernel offers them on request, and what a reader frees stays for the request after it.
// Only programs link this (the demo client, the tools, the benchmarks), never a library: loading
// a plug-in must leave its host's allocator as the host set it. CREDITDATA_SYSTEM_HEAP=1 in the
// environment leaves the C library's defaults, to measure what these settings are worth.
#include <cstdint>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kHugePage = 2 * kMiB;
// Blocks below this come from the heap, not a mapping of their own: a workbook's bytes, freed
// once read, are then the pages the request is built in.
constexpr int kMapAbove = 64 * kMiB;
// Freed heap kept before it goes back to the system: a few uploads' worth, no more.
constexpr int kKeepUpTo = 64 * kMiB;
// Heap made ready for huge pages at start-up (below kMapAbove, so that it is heap); beyond it
// the heap grows as usual. A 100,000-row file read and its request built fit in it (about 50 MiB).
constexpr std::size_t kReady = 62 * kMiB;

struct CProcessHeap
{
    CProcessHeap()
    {
        const char* plain = std::getenv("CREDITDATA_SYSTEM_HEAP");
        if (plain && *plain && *plain != '0')
            return;
        mallopt(M_MMAP_THRESHOLD, kMapAbove);
        mallopt(M_TRIM_THRESHOLD, kKeepUpTo);
        void* block = std::malloc(kReady);
        if (!block)
            return;
        const auto from = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
        // Advice only: where the kernel has no huge page at hand, small ones serve as before.
        if (to > from)
            madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
        std::free(block);
    }
};

const CProcessHeap heap;

} // namespace
#endif
