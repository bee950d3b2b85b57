#include <csignal>
#include <iostream>
#include <vector>

#ifdef __linux__
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#endif

#include "cli/cli.h"

#ifdef _WIN32
#include <io.h>
#define QUORLIN_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QUORLIN_ISATTY(fd) isatty(fd)
#endif

#ifdef __linux__
// A command handles a few megabytes in buffers of up to a few: directories, the
// picture, the images it encodes. Served from the heap (never mapped and unmapped
// one by one), kept there when freed, and on huge pages where the kernel offers
// them, they cost a few page faults instead of thousands.
void PrepareHeap() {
  constexpr size_t kHeap = 24u << 20;
  constexpr uintptr_t kHuge = 2u << 20;
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  void* block = std::malloc(kHeap);
  if (!block) return;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + kHeap) & ~(kHuge - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  std::free(block);
}
#endif

int main(int argc, char** argv) {
#ifdef __linux__
  PrepareHeap();
#endif
#ifdef SIGXFSZ
  // A file-size limit makes a write fail with its error, which is then reported,
  // instead of killing the program half-way.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  return quorlin::RunCli(std::vector<const char*>(argv, argv + argc),
                         {std::cout, std::cerr, std::cin, QUORLIN_ISATTY(0) != 0}, quorlin::ProgramPictureCodecs());
}
