#include "yesno.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>

#include "xalloc.h"

bool yesno(void) {
  char *raw = nullptr;
  size_t capacity = 0;
  ssize_t len = getline(&raw, &capacity, stdin);
  malloc_ptr<char> line(raw);
  if (len <= 0) return false;
  if (line.get()[len - 1] == '\n') line.get()[len - 1] = '\0';
  return rpmatch(line.get()) > 0;
}
