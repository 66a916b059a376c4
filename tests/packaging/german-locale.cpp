#include "german-locale.h"

#include <cstdlib>

namespace packagingtest {

GermanLocale::GermanLocale() {
  const auto made = testsupport::run({"localedef", "-i", "de_DE", "-f", "UTF-8", dir_ / "de_DE.UTF-8"});
  if (made.status != 0) why_ = "localedef failed (" + std::to_string(made.status) + "): " + made.err;
}

std::map<std::string, std::optional<std::string>> GermanLocale::env() const {
  return {
      {"LOCPATH", dir_.path()},
      {"LC_ALL", "de_DE.UTF-8"},
      {"LANG", std::nullopt},
      {"LANGUAGE", "de"},
      {"TULLWERK_LOCALEDIR", testsupport::build_path("po/tullwerk")},
      {"SERO_4_LOCALEDIR", testsupport::build_path("po/sero-4")},
      {"ZARFO_LOCALEDIR", testsupport::build_path("po/zarfo")},
  };
}

void GermanLocale::apply() const {
  for (const auto &[name, value] : env()) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
}

}  // namespace packagingtest
