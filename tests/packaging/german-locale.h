// A German UTF-8 locale made for the test run, and the environment that
// makes a program speak German from the build tree's catalogues.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "process.h"

namespace packagingtest {

class GermanLocale {
 public:
  // Compiles de_DE.UTF-8 into a scratch directory. ok() tells whether that
  // worked; why() says what went wrong when it did not.
  GermanLocale();

  bool ok() const { return why_.empty(); }
  const std::string &why() const { return why_; }
  const std::string &locpath() const { return dir_.path(); }

  // LOCPATH, LC_ALL, LANGUAGE and each text domain's catalogue directory
  // in the build tree.
  std::map<std::string, std::optional<std::string>> env() const;
  // The same, set in this process.
  void apply() const;

 private:
  testsupport::TempDir dir_;
  std::string why_;
};

}  // namespace packagingtest
