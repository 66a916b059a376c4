// Running a piece of this test binary in a child process, for code that
// ends the process (exit handlers, fatal errors, aborts) or that needs its
// own standard streams.
#pragma once

#include <functional>
#include <string>

#include "in-child.h"
#include "process.h"

namespace frametest {

using ChildStreams = testsupport::ChildOptions;

// Runs BODY in a forked child and collects its status and output. When
// BODY returns, the child flushes its streams and ends with status 0
// without running exit handlers.
inline testsupport::Outcome in_child(const std::function<void()> &body, const ChildStreams &streams = {}) {
  return testsupport::in_child(
      [&] {
        body();
        return 0;
      },
      streams);
}

// A directory holding the locales en_US.UTF-8 and zh_CN.GB18030, generated
// on first use; empty when they cannot be generated here. Switch to one
// with use_locale.
const std::string &generated_locales();

// Sets the whole locale to NAME (looking in the generated locales too) and
// returns whether that worked.
bool use_locale(const char *name);

}  // namespace frametest
