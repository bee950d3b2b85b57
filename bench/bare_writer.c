/* The least a later insert can cost: keep what the ranges held in a new file of
   their length, flushed with its folder (as a slot's history keeps it), write the
   given byte ranges into the given files (each file opened once), flush each file to
   the disk, as Quorlin flushes the archives it writes, and remove the kept file (as
   the oldest version goes).
     bare-writer KEPT-FILE FILE OFFSET LENGTH [FILE OFFSET LENGTH]...  */
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static unsigned char data[1 << 20];
  int fds[16], count = 0;
  const char* names[16];
  size_t kept = 0;
  memset(data, 0x5A, sizeof data);
  if (argc < 2) return fputs("usage: bare-writer KEPT-FILE FILE OFFSET LENGTH...\n", stderr), 2;
  for (int i = 2; i + 2 < argc; i += 3) kept += strtoull(argv[i + 2], NULL, 10);
  const int keep = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  for (size_t done = 0; keep >= 0 && done < kept;) {
    const size_t n = kept - done < sizeof data ? kept - done : sizeof data;
    if (write(keep, data, n) != (ssize_t)n) return perror("write"), 1;
    done += n;
  }
  char folder[4096];
  strncpy(folder, argv[1], sizeof folder - 1);
  const int dir = open(dirname(folder), O_RDONLY | O_DIRECTORY);
  if (keep < 0 || fdatasync(keep) != 0 || dir < 0 || fsync(dir) != 0) return perror(argv[1]), 1;
  close(keep);
  for (int i = 2; i + 2 < argc; i += 3) {
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
  unlink(argv[1]);
  close(dir);
  return 0;
}
