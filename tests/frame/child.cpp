#include "child.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>

namespace frametest {

namespace {

struct GeneratedLocales {
  std::unique_ptr<testsupport::TempDir> dir;
  std::string path;

  GeneratedLocales() {
    dir = std::make_unique<testsupport::TempDir>();
    bool ok = true;
    for (const char *spec : {"en_US UTF-8 en_US.UTF-8", "zh_CN GB18030 zh_CN.GB18030"}) {
      char input[16], charmap[16], name[32];
      sscanf(spec, "%15s %15s %31s", input, charmap, name);
      testsupport::RunOptions options;
      options.timeout = 300;
      auto r = testsupport::run({"localedef", "-i", input, "-f", charmap, *dir / name}, options);
      if (r.status != 0) ok = false;
    }
    if (ok) path = dir->path();
  }
};

}  // namespace

const std::string &generated_locales() {
  static GeneratedLocales locales;
  return locales.path;
}

bool use_locale(const char *name) {
  const std::string &dir = generated_locales();
  if (!dir.empty()) setenv("LOCPATH", dir.c_str(), 1);
  bool ok = setlocale(LC_ALL, name) != nullptr;
  if (!ok) {
    // The built-in locales are found without the search path.
    unsetenv("LOCPATH");
    ok = setlocale(LC_ALL, name) != nullptr;
  }
  return ok;
}

}  // namespace frametest
