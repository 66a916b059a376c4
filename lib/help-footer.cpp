#include "help-footer.h"

#include <libintl.h>
#include <locale.h>
#include <stdio.h>
#include <string.h>

#include <array>
#include <string_view>

#include "package.h"

namespace {

struct ManualNode {
  std::string_view program;
  const char *node;
};

// Programs documented under a shared manual node. Neither program of this
// package needs one.
constexpr std::array<ManualNode, 0> manual_nodes{};

const char *manual_node(const char *program) {
  for (const ManualNode &row : manual_nodes)
    if (row.program == program) return row.node;
  return program;
}

}  // namespace

void emit_help_footer(const char *program) {
  const char *node = manual_node(program);

  printf(gettext("\n%s online help: <%s>\n"), package_name, package_home_page);

  // Readers of a translation are asked to report its mistakes; readers of
  // the original English are not.
  const char *lc_messages = setlocale(LC_MESSAGES, nullptr);
  if (lc_messages != nullptr && strncmp(lc_messages, "en_", 3) != 0) {
    // The address is part of the message id so that a team may point to
    // its own page.
    fputs(gettext("Report any translation bugs to "
                  "<https://www.varnet.org/software/tullwerk/translations/>\n"),
          stdout);
  }

  printf(gettext("Full documentation <%s%s>\n"), package_home_page, program);
  printf(gettext("or available locally via: info '(tullwerk) %s%s'\n"), node,
         node == program ? gettext(" invocation") : "");
}
