/* The floor under the engine's run with an old report, for the benchmark:
   what any program must do to give the same result, without scanning.

       floor NEW_REPORT LOG OUTPUT

   reads LOG to its end, then writes NEW_REPORT's bytes and OUTPUT's old bytes
   into a temporary file beside OUTPUT, flushes it to disk, renames it over
   OUTPUT and flushes the folder, as the engine's run does. With NEW_REPORT
   holding the engine's report without an old one, OUTPUT ends with the same
   bytes as the engine's. Exit code 1 with a line on stderr on failure. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kChunk = 1 << 20 };  /* the engine's read size */
static char buffer[kChunk];

static int fail(const char* what, const char* path) {
  fprintf(stderr, "floor: %s %s: %s\n", what, path, strerror(errno));
  return 1;
}

/* Copies all of PATH to OUT (or only reads it when OUT is -1). */
static int pass(const char* path, int out) {
  int in = open(path, O_RDONLY);
  if (in < 0) return fail("open", path);
  for (;;) {
    ssize_t got = read(in, buffer, kChunk);
    if (got < 0) return fail("read", path);
    if (got == 0) break;
    for (ssize_t done = 0; out >= 0 && done < got;) {
      ssize_t put = write(out, buffer + done, (size_t)(got - done));
      if (put < 0) return fail("write", path);
      done += put;
    }
  }
  close(in);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: floor NEW_REPORT LOG OUTPUT\n");
    return 2;
  }
  const char* output = argv[3];
  if (pass(argv[2], -1)) return 1;

  size_t length = strlen(output);
  char* temp = malloc(length + sizeof ".floor");
  char* folder = malloc(length + 2);
  if (!temp || !folder) return 1;
  memcpy(temp, output, length);
  memcpy(temp + length, ".floor", sizeof ".floor");
  memcpy(folder, output, length + 1);
  char* slash = strrchr(folder, '/');
  if (slash) slash[1] = '\0'; else strcpy(folder, ".");

  int out = open(temp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return fail("create", temp);
  if (pass(argv[1], out)) return 1;
  if (access(output, F_OK) == 0 && pass(output, out)) return 1;
  if (fsync(out) != 0) return fail("flush", temp);
  close(out);
  if (rename(temp, output) != 0) return fail("rename", temp);
  int dir = open(folder, O_RDONLY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  free(temp);
  free(folder);
  return 0;
}
