// Finding top-level definitions of a table by name and by the dotted text
// of the OID value that precedes them.
//
// Each thread indexes a table once, on first use: its top-level names and
// every OID text the multi-pass search can resolve. The tables are
// constant and live as long as the program, like the prepared types. A
// table that the index cannot cover exactly (a malformed record on the
// way, an OID arc that never resolves) is searched record by record on
// every call instead, so that it logs just what it always logged.

#include "tesk-asn1x-private.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace {

bool adef_is_terminator (const TeskAsn1xDef *def)
{
  return def->name == nullptr && def->type == 0 && def->value == nullptr;
}

// Walks records through the checked navigation functions, which log what
// they find wrong.
struct LoggingWalk {
  const TeskAsn1xDef *first_child (const TeskAsn1xDef *def) { return adef_first_child (def); }
  const TeskAsn1xDef *next_sibling (const TeskAsn1xDef *def) { return adef_next_sibling (def); }
};

// Walks records the same way without logging; where the checked functions
// would log or abort it stops and marks the walk as irregular.
struct QuietWalk {
  bool irregular = false;

  const TeskAsn1xDef *first_child (const TeskAsn1xDef *def)
  {
    if (adef_is_terminator (def))
      return fail ();
    if (!(def->type & FLAG_DOWN))
      return nullptr;
    const TeskAsn1xDef *child = def + 1;
    return adef_is_terminator (child) ? fail () : child;
  }

  const TeskAsn1xDef *next_sibling (const TeskAsn1xDef *def)
  {
    if (adef_is_terminator (def))
      return fail ();
    if (!(def->type & FLAG_RIGHT))
      return nullptr;
    if (def->type & FLAG_DOWN) {
      int depth = 1;
      do {
        def++;
        if (adef_is_terminator (def))
          return fail ();
        if (def->type & FLAG_DOWN)
          depth++;
        if (!(def->type & FLAG_RIGHT))
          depth--;
      } while (depth > 0);
    }
    const TeskAsn1xDef *next = def + 1;
    return adef_is_terminator (next) ? fail () : next;
  }

 private:
  const TeskAsn1xDef *fail ()
  {
    irregular = true;
    return nullptr;
  }
};

bool is_all_digits (const gchar *text)
{
  return std::strspn (text, "01234567890") == std::strlen (text);
}

// The multi-pass OID search. Each OID value's arcs are numbers or names of
// OID values resolved before; unresolved names are retried in later passes
// until a pass resolves nothing new. found() hears every OID value in the
// order it resolves, with its text, and ends the search by returning true;
// the search then gives the definition that follows that value.
//
// With the logging walk, problems are logged as they are met. With the
// quiet walk, the first problem ends the search with walk.irregular set.
template <typename Walk, typename Found>
const TeskAsn1xDef *resolve_oids (const TeskAsn1xDef *defs, Walk &walk, Found found)
{
  constexpr bool quiet = std::is_same_v<Walk, QuietWalk>;
  std::unordered_map<std::string_view, std::string> names;

  for (;;) {
    const gchar *problem = nullptr;
    bool progress = false;

    for (const TeskAsn1xDef *def = walk.first_child (defs); def != nullptr;
         def = walk.next_sibling (def)) {
      if (adef_type (def) != TESK_ASN1X_OBJECT_ID || def->name == nullptr)
        continue;
      if (names.contains (def->name))
        continue;

      std::string text;
      int arcs = 0;
      bool skip = false;
      for (const TeskAsn1xDef *odef = walk.first_child (def); odef != nullptr;
           odef = walk.next_sibling (odef)) {
        if (adef_type (odef) != TESK_ASN1X_CONSTANT)
          continue;
        if (!odef->value) {
          if constexpr (quiet) {
            walk.irregular = true;
            return nullptr;
          } else {
            tesk::note_warning ();
            g_return_if_fail_warning (nullptr, "match_oid_in_definitions", "odef->value");
          }
          skip = true;
          break;
        }
        std::string_view arc;
        if (is_all_digits (odef->value)) {
          arc = odef->value;
        } else {
          auto known = names.find (odef->value);
          if (known == names.end ()) {
            problem = odef->value;
            skip = true;
            break;
          }
          arc = known->second;
        }
        if (arcs++ > 0)
          text += '.';
        text += arc;
      }
      if constexpr (quiet) {
        if (walk.irregular)
          return nullptr;
      }
      if (skip || arcs == 0)
        continue;

      progress = true;
      const bool stop = found (def, text);
      names.emplace (def->name, std::move (text));
      if (stop)
        return walk.next_sibling (def);
      if constexpr (quiet) {
        if (walk.irregular)
          return nullptr;
      }
    }

    if constexpr (quiet) {
      if (walk.irregular)
        return nullptr;
    }
    if (problem == nullptr)
      return nullptr;
    if (!progress) {
      if constexpr (quiet) {
        walk.irregular = true;
      } else {
        g_warning ("couldn't find oid definition in ASN.1 for: %s", problem);
        TESK_NOT_REACHED ();
      }
      return nullptr;
    }
  }
}

// What one thread knows about one table.
struct TableIndex {
  // False when the top-level records cannot be walked quietly.
  bool names_indexed = false;
  // Top-level definitions of each name, in table order.
  std::unordered_map<std::string_view, std::vector<const TeskAsn1xDef *>> by_name;

  // False until the OID texts are indexed, and for good when they cannot be.
  bool oids_tried = false;
  bool oids_indexed = false;
  // The definition that the search gives for each OID text (which may be
  // none, for an OID value that ends the module).
  std::unordered_map<std::string, const TeskAsn1xDef *> by_oid;
};

void index_names (const TeskAsn1xDef *defs, TableIndex &index)
{
  QuietWalk walk;
  for (const TeskAsn1xDef *def = walk.first_child (defs); def != nullptr;
       def = walk.next_sibling (def)) {
    if (def->name)
      index.by_name[def->name].push_back (def);
  }
  index.names_indexed = !walk.irregular;
  if (!index.names_indexed)
    index.by_name.clear ();
}

void index_oids (const TeskAsn1xDef *defs, TableIndex &index)
{
  index.oids_tried = true;

  // The first value to resolve to a text is the one the search gives.
  QuietWalk walk;
  std::vector<std::pair<std::string, const TeskAsn1xDef *>> resolved;
  resolve_oids (defs, walk, [&] (const TeskAsn1xDef *def, const std::string &text) {
    resolved.emplace_back (text, def);
    return false;
  });
  if (walk.irregular)
    return;

  for (auto &[text, def] : resolved) {
    if (index.by_oid.contains (text))
      continue;
    const TeskAsn1xDef *next = walk.next_sibling (def);
    if (walk.irregular) {
      index.by_oid.clear ();
      return;
    }
    index.by_oid.emplace (std::move (text), next);
  }
  index.oids_indexed = true;
}

class TableIndexes {
 public:
  TableIndex &of (const TeskAsn1xDef *defs)
  {
    if (defs == last_defs_)
      return *last_;
    auto &slot = indexes_[defs];
    if (!slot) {
      slot = std::make_unique<TableIndex> ();
      index_names (defs, *slot);
    }
    last_defs_ = defs;
    last_ = slot.get ();
    return *slot;
  }

 private:
  std::unordered_map<const TeskAsn1xDef *, std::unique_ptr<TableIndex>> indexes_;
  const TeskAsn1xDef *last_defs_ = nullptr;
  TableIndex *last_ = nullptr;
};

thread_local TableIndexes table_indexes;

const TeskAsn1xDef *scan_for_name (const TeskAsn1xDef *defs, const gchar *name, int type)
{
  for (const TeskAsn1xDef *def = adef_first_child (defs); def != nullptr;
       def = adef_next_sibling (def)) {
    if ((type == 0 || adef_type (def) == type) && def->name && std::strcmp (def->name, name) == 0)
      return def;
  }
  return nullptr;
}

}  // namespace

const TeskAsn1xDef *adefs_lookup_name (const TeskAsn1xDef *defs, const gchar *name, int type)
{
  TableIndex &index = table_indexes.of (defs);
  if (!index.names_indexed)
    return scan_for_name (defs, name, type);

  auto found = index.by_name.find (name);
  if (found == index.by_name.end ())
    return nullptr;
  for (const TeskAsn1xDef *def : found->second) {
    if (type == 0 || adef_type (def) == type)
      return def;
  }
  return nullptr;
}

const TeskAsn1xDef *adefs_lookup_oid (const TeskAsn1xDef *defs, const gchar *oid)
{
  TableIndex &index = table_indexes.of (defs);
  if (!index.oids_tried)
    index_oids (defs, index);
  if (!index.oids_indexed) {
    LoggingWalk walk;
    return resolve_oids (defs, walk, [oid] (const TeskAsn1xDef *, const std::string &text) {
      return text == oid;
    });
  }

  auto found = index.by_oid.find (oid);
  return found == index.by_oid.end () ? nullptr : found->second;
}
