/* The least an in-place insert can cost: write the given byte ranges into the
   given files (each file opened once), then flush each file to the disk, as
   Quorlin flushes the archives it writes.
     bare-writer FILE OFFSET LENGTH [FILE OFFSET LENGTH]...  */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static unsigned char data[1 << 20];
  int fds[16], count = 0;
  const char* names[16];
  memset(data, 0x5A, sizeof data);
  for (int i = 1; i + 2 < argc; i += 3) {
    int k = 0;
    while (k < count && strcmp(names[k], argv[i]) != 0) ++k;
    if (k == count) {
      names[count] = argv[i];
      fds[count] = open(argv[i], O_RDWR);
      if (fds[count] < 0 || ++count == 16) return perror(argv[i]), 1;
    }
    const off_t offset = strtoll(argv[i + 1], NULL, 10);
    const size_t length = strtoull(argv[i + 2], NULL, 10);
    if (length > sizeof data || pwrite(fds[k], data, length, offset) != (ssize_t)length) return perror("pwrite"), 1;
  }
  for (int k = 0; k < count; ++k) {
    if (fdatasync(fds[k]) != 0) return perror("fdatasync"), 1;
    close(fds[k]);
  }
  return 0;
}
