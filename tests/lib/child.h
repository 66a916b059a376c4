// Running a piece of a test in a forked child: for code that ends the
// process (assertions, usage exits, fatal errors), for code that changes
// the working directory, and for code that must run without root's
// privileges.
#pragma once

#include <functional>
#include <string>

#include "in-child.h"

namespace libtest {

using ChildResult = testsupport::Outcome;

// Runs BODY in a child and returns what it did; BODY's result is the exit
// status. With AS_NOBODY the child first gives up root for the user
// "nobody" (status 99 when that fails).
ChildResult run_in_child(const std::function<int()> &body, bool as_nobody = false);

// User and group IDs of "nobody".
unsigned nobody_uid();
unsigned nobody_gid();

// Whether "nobody" can reach DIR (every directory above it searchable), as
// the tests that drop privileges need; false when the temporary directory
// lies under a private one.
bool nobody_can_enter(const std::string &dir);

// Removes the tree at NAME relative to the directory DIRFD, however deep,
// without building long names.
void remove_tree_at(int dirfd, const std::string &name);

}  // namespace libtest

// The usage routine the keyword matcher ends a program through: the
// try-help line and the status, as the programs print them.
void usage(int status);
