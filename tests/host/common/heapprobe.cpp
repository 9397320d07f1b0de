// Loads the libraries named on its command line, then says where a block of 16 MiB came
// from: "mapped" (a mapping of its own, as the C library does by default) or "heap" (the heap
// the programs' own settings keep such blocks in).
#include <QLibrary>

#include <cstdio>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QLibrary library(QString::fromLocal8Bit(argv[i]));
        if (!library.load()) {
            std::fprintf(stderr, "heapprobe: %s\n", qPrintable(library.errorString()));
            return 2;
        }
    }
#if defined(__GLIBC__)
    const size_t before = mallinfo2().hblks;
    // Kept where the compiler cannot see it unused, or the pair would be left out.
    static void* volatile block = nullptr;
    block = std::malloc(16 * 1024 * 1024);
    const size_t after = mallinfo2().hblks;
    std::free(block);
    std::printf("%s\n", after > before ? "mapped" : "heap");
    return 0;
#else
    std::printf("unknown\n");
    return 0;
#endif
}
