#include "yesno.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>

#include <memory>

bool yesno(void) {
  char *raw = nullptr;
  size_t capacity = 0;
  ssize_t len = getline(&raw, &capacity, stdin);
  std::unique_ptr<char, decltype(&free)> line(raw, &free);
  if (len <= 0) return false;
  if (line.get()[len - 1] == '\n') line.get()[len - 1] = '\0';
  return rpmatch(line.get()) > 0;
}
