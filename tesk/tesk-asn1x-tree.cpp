// Definition tables and node trees: table navigation, tree creation and
// preparation, the tag rules, path lookup and the tree life cycle.

#include "tesk-asn1x-private.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

bool adef_is_terminator (const TeskAsn1xDef *def)
{
  return def->name == nullptr && def->type == 0 && def->value == nullptr;
}

GNode *anode_new (const TeskAsn1xDef *def)
{
  auto an = std::make_unique<Anode> ();
  an->def = def;
  return g_node_new (an.release ());
}

// Frees the node data of a subtree in order: the first child's subtree,
// the node, then the other children's subtrees.
void anode_free_in_order (GNode *node)
{
  GNode *child = node->children;
  if (child != nullptr) {
    anode_free_in_order (child);
    child = child->next;
  }
  std::unique_ptr<Anode> an (anode_of (node));
  node->data = nullptr;
  for (; child != nullptr; child = child->next)
    anode_free_in_order (child);
}

void anode_destroy (GNode *node)
{
  if (!G_NODE_IS_ROOT (node))
    g_node_unlink (node);
  anode_free_in_order (node);
  g_node_destroy (node);
}

// A fresh copy of a template subtree: same definitions and options, no
// content. Lists keep only their own template, since further elements
// would be copied without content anyway.
GNode *anode_copy_template (GNode *node)
{
  auto *from = anode_of (node);
  auto an = std::make_unique<Anode> ();
  an->def = from->def;
  an->join = from->join;
  an->opts = from->opts;
  GNode *copy = g_node_new (an.release ());

  const int type = anode_def_type (node);
  const bool list = type == TESK_ASN1X_SEQUENCE_OF || type == TESK_ASN1X_SET_OF;
  for (GNode *child = node->children; child != nullptr; child = list ? nullptr : child->next)
    g_node_append (copy, anode_copy_template (child));
  return copy;
}

// Builds one node per record of the definition's subtree.
GNode *build_nodes (const TeskAsn1xDef *def)
{
  GNode *node = anode_new (def);
  for (const TeskAsn1xDef *child = adef_first_child (def); child != nullptr;
       child = adef_next_sibling (child))
    g_node_append (node, build_nodes (child));
  return node;
}

bool is_oid_text (const gchar *text)
{
  bool digit_before = false;
  for (const gchar *p = text; *p; p++) {
    if (g_ascii_isdigit (*p)) {
      digit_before = true;
    } else if (*p == '.' && digit_before) {
      digit_before = false;
    } else {
      return false;
    }
  }
  return digit_before;
}

GNode *create_for_def (const TeskAsn1xDef *defs, const TeskAsn1xDef *def);

int compare_nodes_by_tag (GNode *na, GNode *nb)
{
  TESK_RETURN_VAL_IF_FAIL (anode_def_flags (na) & FLAG_TAG, 0);
  TESK_RETURN_VAL_IF_FAIL (anode_def_flags (nb) & FLAG_TAG, 0);
  const gulong taga = anode_calc_tag (na);
  TESK_RETURN_VAL_IF_FAIL (taga != G_MAXULONG, 0);
  const gulong tagb = anode_calc_tag (nb);
  TESK_RETURN_VAL_IF_FAIL (tagb != G_MAXULONG, 0);
  if (taga == tagb)
    return 0;
  return taga < tagb ? -1 : 1;
}

void sort_set_children (GNode *node)
{
  std::vector<GNode *> children;
  for (GNode *child = node->children; child != nullptr; child = child->next)
    children.push_back (child);
  std::stable_sort (children.begin (), children.end (),
                    [] (GNode *a, GNode *b) { return compare_nodes_by_tag (a, b) < 0; });
  for (GNode *child : children)
    g_node_unlink (child);
  for (GNode *child : children)
    g_node_append (node, child);
}

// Resolves identifiers and folds options into the node they qualify.
bool traverse_and_prepare (GNode *node, const TeskAsn1xDef *defs)
{
  for (GNode *child = node->children; child != nullptr;) {
    GNode *next = child->next;
    if (!traverse_and_prepare (child, defs))
      return false;
    child = next;
  }

  Anode *an = anode_of (node);
  GNode *join = nullptr;
  bool ok = true;

  // Follow chains of identifiers to the definition they finally name.
  for (;;) {
    const TeskAsn1xDef *def = an->join ? an->join : an->def;
    if (adef_type (def) != TESK_ASN1X_IDENTIFIER)
      break;
    const gchar *identifier = def->value;
    if (!identifier) {
      tesk::note_warning ();
      g_return_if_fail_warning (nullptr, "traverse_and_prepare", "identifier");
      ok = false;
      break;
    }
    if (join)
      anode_destroy (join);
    join = tesk_asn1x_create (defs, identifier);
    if (!join) {
      tesk::note_warning ();
      g_return_if_fail_warning (nullptr, "traverse_and_prepare", "join");
      ok = false;
      break;
    }
    an->join = anode_of (join)->def;
  }

  if (ok && join) {
    while (GNode *child = join->children) {
      g_node_unlink (child);
      g_node_append (node, child);
    }
  }

  if (ok && anode_def_type (node) == TESK_ASN1X_SIZE) {
    const gchar *max = an->def->name;
    if (max && std::strcmp (max, "MAX") != 0 && g_ascii_isalpha (max[0])) {
      const TeskAsn1xDef *def = adefs_lookup_name (defs, max, TESK_ASN1X_INTEGER);
      if (!def) {
        tesk::note_warning ();
      g_return_if_fail_warning (nullptr, "traverse_and_prepare", "def");
        ok = false;
      } else {
        an->opts.push_back (def);
      }
    }
  }

  if (ok && anode_def_type_is_real (node)) {
    for (GNode *child = node->children; child != nullptr;) {
      GNode *next = child->next;
      if (!anode_def_type_is_real (child)) {
        Anode *can = anode_of (child);
        an->opts.push_back (can->def);
        an->opts.append (can->opts);
        anode_destroy (child);
      }
      child = next;
    }
  }

  if (join) {
    if (ok) {
      Anode *jan = anode_of (join);
      an->opts.append (jan->opts);
    }
    anode_destroy (join);
  }

  if (ok && anode_def_type (node) == TESK_ASN1X_SET)
    sort_set_children (node);

  return ok;
}

// A fresh copy of a whole prepared tree without content.
GNode *anode_copy_tree (GNode *node)
{
  auto *from = anode_of (node);
  auto an = std::make_unique<Anode> ();
  an->def = from->def;
  an->join = from->join;
  an->opts = from->opts;
  GNode *copy = g_node_new (an.release ());
  for (GNode *child = node->children; child != nullptr; child = child->next)
    g_node_append (copy, anode_copy_tree (child));
  return copy;
}

// Each type is prepared once per thread; trees are copies of it. The
// tables are constant, so a prepared type never changes.
class PreparedTypes {
 public:
  PreparedTypes () = default;
  PreparedTypes (const PreparedTypes &) = delete;
  PreparedTypes &operator= (const PreparedTypes &) = delete;
  ~PreparedTypes ()
  {
    for (auto &entry : types_)
      anode_destroy (entry.second);
  }

  GNode *lookup (const TeskAsn1xDef *def) const
  {
    auto found = types_.find (def);
    return found == types_.end () ? nullptr : found->second;
  }
  void insert (const TeskAsn1xDef *def, GNode *prepared) { types_.emplace (def, prepared); }

 private:
  std::unordered_map<const TeskAsn1xDef *, GNode *> types_;
};

thread_local PreparedTypes prepared_types;

GNode *create_for_def (const TeskAsn1xDef *defs, const TeskAsn1xDef *def)
{
  if (GNode *prepared = prepared_types.lookup (def))
    return anode_copy_tree (prepared);

  // A type whose preparation logged anything is prepared afresh each
  // time, so that every creation logs the same.
  const unsigned warnings = tesk::warnings_logged;
  GNode *root = build_nodes (def);
  if (traverse_and_prepare (root, defs) && warnings == tesk::warnings_logged)
    prepared_types.insert (def, anode_copy_tree (root));
  return root;
}

const char *type_dump_word (int type)
{
  switch (type) {
  case TESK_ASN1X_CONSTANT: return "CONSTANT ";
  case TESK_ASN1X_IDENTIFIER: return "IDENTIFIER ";
  case TESK_ASN1X_INTEGER: return "INTEGER ";
  case TESK_ASN1X_BOOLEAN: return "BOOLEAN ";
  case TESK_ASN1X_SEQUENCE: return "SEQUENCE ";
  case TESK_ASN1X_BIT_STRING: return "BIT_STRING ";
  case TESK_ASN1X_OCTET_STRING: return "OCTET_STRING ";
  case TESK_ASN1X_TAG: return "TAG ";
  case TESK_ASN1X_DEFAULT: return "DEFAULT ";
  case TESK_ASN1X_SIZE: return "SIZE ";
  case TESK_ASN1X_SEQUENCE_OF: return "SEQUENCE_OF ";
  case TESK_ASN1X_OBJECT_ID: return "OBJECT_ID ";
  case TESK_ASN1X_ANY: return "ANY ";
  case TESK_ASN1X_SET: return "SET ";
  case TESK_ASN1X_SET_OF: return "SET_OF ";
  case TESK_ASN1X_DEFINITIONS: return "DEFINITIONS ";
  case TESK_ASN1X_TIME: return "TIME ";
  case TESK_ASN1X_CHOICE: return "CHOICE ";
  case TESK_ASN1X_IMPORTS: return "IMPORTS ";
  case TESK_ASN1X_NULL: return "NULL ";
  case TESK_ASN1X_ENUMERATED: return "ENUMERATED ";
  case TESK_ASN1X_GENERAL_STRING: return "GENERAL_STRING ";
  case TESK_ASN1X_NUMERIC_STRING: return "NUMERIC_STRING ";
  case TESK_ASN1X_IA5_STRING: return "IA5_STRING ";
  case TESK_ASN1X_TELETEX_STRING: return "TELETEX_STRING ";
  case TESK_ASN1X_PRINTABLE_STRING: return "PRINTABLE_STRING ";
  case TESK_ASN1X_UNIVERSAL_STRING: return "UNIVERSAL_STRING ";
  case TESK_ASN1X_BMP_STRING: return "BMP_STRING ";
  case TESK_ASN1X_UTF8_STRING: return "UTF8_STRING ";
  case TESK_ASN1X_VISIBLE_STRING: return "VISIBLE_STRING ";
  case TESK_ASN1X_UTC_TIME: return "UTC_TIME ";
  case TESK_ASN1X_GENERALIZED_TIME: return "GENERALIZED_TIME ";
  default: return nullptr;
  }
}

struct FlagWord {
  int flag;
  const char *word;
};

constexpr FlagWord kFlagWords[] = {
  {FLAG_UNIVERSAL, "UNIVERSAL "},   {FLAG_PRIVATE, "PRIVATE "},
  {FLAG_APPLICATION, "APPLICATION "}, {FLAG_EXPLICIT, "EXPLICIT "},
  {FLAG_IMPLICIT, "IMPLICIT "},     {FLAG_TAG, "TAG "},
  {FLAG_OPTION, "OPTION "},         {FLAG_DEFAULT, "DEFAULT "},
  {FLAG_TRUE, "TRUE "},             {FLAG_FALSE, "FALSE "},
  {FLAG_LIST, "LIST "},             {FLAG_MIN_MAX, "MIN_MAX "},
  {FLAG_1_PARAM, "1_PARAM "},       {FLAG_SIZE, "SIZE "},
  {FLAG_DEFINED_BY, "DEFINED_BY "}, {FLAG_GENERALIZED, "GENERALIZED "},
  {FLAG_UTC, "UTC "},               {FLAG_IMPORTS, "IMPORTS "},
  {FLAG_NOT_USED, "NOT_USED "},     {FLAG_SET, "SET "},
  {FLAG_ASSIGN, "ASSIGN "},
};

std::string dump_words (int type, int flags)
{
  std::string words;
  if (const char *word = type_dump_word (type))
    words = word;
  else
    words = std::to_string (type) + " ";
  for (const auto &fw : kFlagWords) {
    if (flags & fw.flag)
      words += fw.word;
  }
  if (!words.empty () && words.back () == ' ')
    words.pop_back ();
  for (auto &c : words)
    c = g_ascii_tolower (c);
  return words;
}

const char *text_or_null (const gchar *text)
{
  return text ? text : "(null)";
}

gboolean dump_func (GNode *node, gpointer data)
{
  auto *top = static_cast<GNode *> (data);
  const int depth = g_node_depth (node) - g_node_depth (top);
  const std::string indent (4 * depth, ' ');
  Anode *an = anode_of (node);

  const char *marker = an->value ? " *" : an->parsed ? " ." : "";
  std::string words = dump_words (anode_def_type (node), anode_def_flags (node));
  g_print ("%s+ %s: %s [%s]%s\n", indent.c_str (), text_or_null (an->def->name),
           text_or_null (an->def->value), words.c_str (), marker);

  for (const TeskAsn1xDef *opt : an->opts) {
    words = dump_words (adef_type (opt), adef_flags (opt));
    g_print ("%s    - %s: %s [%s]\n", indent.c_str (), text_or_null (opt->name),
             text_or_null (opt->value), words.c_str ());
  }
  return FALSE;
}

bool clear_node (GNode *node)
{
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (!clear_node (child))
      return false;
  }

  Anode *an = anode_of (node);
  anode_clr_value (node);
  g_clear_pointer (&an->failure, g_free);

  const int type = anode_def_type (node);
  if (type == TESK_ASN1X_SEQUENCE_OF || type == TESK_ASN1X_SET_OF) {
    GNode *child = node->children;
    if (!child) {
      g_return_if_fail_warning (nullptr, "tesk_asn1x_clear", "child");
      return false;
    }
    while (child->next)
      anode_destroy (child->next);
  }
  return true;
}

GNode *find_failure (GNode *node)
{
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (GNode *found = find_failure (child))
      return found;
  }
  return anode_of (node)->failure ? node : nullptr;
}

}  // namespace

Anode::~Anode ()
{
  if (value)
    g_bytes_unref (value);
  atlv_free (parsed);
  g_free (failure);
}

int adef_type (const TeskAsn1xDef *def)
{
  return static_cast<int> (def->type & 0xFF);
}

int adef_flags (const TeskAsn1xDef *def)
{
  return static_cast<int> (def->type & ~0xFFu);
}

const TeskAsn1xDef *adef_first_child (const TeskAsn1xDef *def)
{
  TESK_ASSERT (!adef_is_terminator (def));
  if (!(def->type & FLAG_DOWN))
    return nullptr;
  const TeskAsn1xDef *child = def + 1;
  TESK_RETURN_VAL_IF_FAIL (!adef_is_terminator (child), nullptr);
  return child;
}

const TeskAsn1xDef *adef_next_sibling (const TeskAsn1xDef *def)
{
  TESK_ASSERT (!adef_is_terminator (def));
  if (!(def->type & FLAG_RIGHT))
    return nullptr;

  if (def->type & FLAG_DOWN) {
    int depth = 1;
    do {
      def++;
      TESK_RETURN_VAL_IF_FAIL (!adef_is_terminator (def), nullptr);
      if (def->type & FLAG_DOWN)
        depth++;
      if (!(def->type & FLAG_RIGHT))
        depth--;
    } while (depth > 0);
  }

  const TeskAsn1xDef *next = def + 1;
  TESK_RETURN_VAL_IF_FAIL (!adef_is_terminator (next), nullptr);
  return next;
}

int anode_def_type (GNode *node)
{
  Anode *an = anode_of (node);
  return adef_type (an->join ? an->join : an->def);
}

int anode_def_flags (GNode *node)
{
  Anode *an = anode_of (node);
  int flags = adef_flags (an->def);
  if (an->join)
    flags |= adef_flags (an->join);
  return flags;
}

const gchar *anode_def_name (GNode *node)
{
  return anode_of (node)->def->name;
}

gboolean anode_def_type_is_real (GNode *node)
{
  switch (anode_def_type (node)) {
  case TESK_ASN1X_INTEGER:
  case TESK_ASN1X_BOOLEAN:
  case TESK_ASN1X_SEQUENCE:
  case TESK_ASN1X_BIT_STRING:
  case TESK_ASN1X_OCTET_STRING:
  case TESK_ASN1X_SEQUENCE_OF:
  case TESK_ASN1X_OBJECT_ID:
  case TESK_ASN1X_ANY:
  case TESK_ASN1X_SET:
  case TESK_ASN1X_SET_OF:
  case TESK_ASN1X_TIME:
  case TESK_ASN1X_CHOICE:
  case TESK_ASN1X_NULL:
  case TESK_ASN1X_ENUMERATED:
  case TESK_ASN1X_GENERAL_STRING:
  case TESK_ASN1X_NUMERIC_STRING:
  case TESK_ASN1X_IA5_STRING:
  case TESK_ASN1X_TELETEX_STRING:
  case TESK_ASN1X_PRINTABLE_STRING:
  case TESK_ASN1X_UNIVERSAL_STRING:
  case TESK_ASN1X_BMP_STRING:
  case TESK_ASN1X_UTF8_STRING:
  case TESK_ASN1X_VISIBLE_STRING:
  case TESK_ASN1X_UTC_TIME:
  case TESK_ASN1X_GENERALIZED_TIME:
    return TRUE;
  case TESK_ASN1X_CONSTANT:
  case TESK_ASN1X_IDENTIFIER:
  case TESK_ASN1X_TAG:
  case TESK_ASN1X_DEFAULT:
  case TESK_ASN1X_SIZE:
  case TESK_ASN1X_DEFINITIONS:
  case TESK_ASN1X_IMPORTS:
    return FALSE;
  default:
    TESK_NOT_REACHED ();
    return FALSE;
  }
}

gboolean anode_is_string_type (int type)
{
  return type >= TESK_ASN1X_GENERAL_STRING && type <= TESK_ASN1X_VISIBLE_STRING;
}

gboolean anode_is_time_type (int type)
{
  return type == TESK_ASN1X_TIME || type == TESK_ASN1X_UTC_TIME ||
         type == TESK_ASN1X_GENERALIZED_TIME;
}

gulong anode_def_value_as_ulong (const TeskAsn1xDef *def)
{
  TESK_RETURN_VAL_IF_FAIL (def->value, G_MAXULONG);
  gchar *end = nullptr;
  gulong value = std::strtoul (def->value, &end, 10);
  TESK_RETURN_VAL_IF_FAIL (end && !end[0], G_MAXULONG);
  return value;
}

const TeskAsn1xDef *anode_opt_lookup (GNode *node, int type, const gchar *name)
{
  for (const TeskAsn1xDef *opt : anode_of (node)->opts) {
    if (adef_type (opt) != type)
      continue;
    if (name == nullptr || opt->name == nullptr || std::strcmp (opt->name, name) == 0)
      return opt;
  }
  return nullptr;
}

gulong anode_calc_tag_for_flags (GNode *node, int flags)
{
  if (flags & FLAG_TAG) {
    const TeskAsn1xDef *def = anode_opt_lookup (node, TESK_ASN1X_TAG, nullptr);
    TESK_RETURN_VAL_IF_FAIL (def, kNoTag);
    return anode_def_value_as_ulong (def);
  }

  switch (anode_def_type (node)) {
  case TESK_ASN1X_INTEGER: return 2;
  case TESK_ASN1X_BOOLEAN: return 1;
  case TESK_ASN1X_SEQUENCE: return 16;
  case TESK_ASN1X_BIT_STRING: return 3;
  case TESK_ASN1X_OCTET_STRING: return 4;
  case TESK_ASN1X_SEQUENCE_OF: return 16;
  case TESK_ASN1X_OBJECT_ID: return 6;
  case TESK_ASN1X_SET: return 17;
  case TESK_ASN1X_SET_OF: return 17;
  case TESK_ASN1X_NULL: return 5;
  case TESK_ASN1X_ENUMERATED: return 10;
  case TESK_ASN1X_GENERAL_STRING: return 27;
  case TESK_ASN1X_NUMERIC_STRING: return 18;
  case TESK_ASN1X_IA5_STRING: return 22;
  case TESK_ASN1X_TELETEX_STRING: return 20;
  case TESK_ASN1X_PRINTABLE_STRING: return 19;
  case TESK_ASN1X_UNIVERSAL_STRING: return 28;
  case TESK_ASN1X_BMP_STRING: return 30;
  case TESK_ASN1X_UTF8_STRING: return 12;
  case TESK_ASN1X_VISIBLE_STRING: return 26;
  case TESK_ASN1X_UTC_TIME: return 23;
  case TESK_ASN1X_GENERALIZED_TIME: return 24;
  case TESK_ASN1X_TIME:
    if (flags & FLAG_GENERALIZED)
      return 24;
    if (flags & FLAG_UTC)
      return 23;
    return kNoTag;
  case TESK_ASN1X_ANY:
  case TESK_ASN1X_CHOICE:
  case TESK_ASN1X_CONSTANT:
  case TESK_ASN1X_IDENTIFIER:
  case TESK_ASN1X_TAG:
  case TESK_ASN1X_DEFAULT:
  case TESK_ASN1X_SIZE:
  case TESK_ASN1X_DEFINITIONS:
  case TESK_ASN1X_IMPORTS:
    return kNoTag;
  default:
    TESK_NOT_REACHED ();
    return kNoTag;
  }
}

gulong anode_calc_tag (GNode *node)
{
  return anode_calc_tag_for_flags (node, anode_def_flags (node));
}

gboolean anode_calc_explicit_for_flags (GNode *node, int flags, guchar *cls_type)
{
  if (!(flags & FLAG_TAG))
    return FALSE;
  const TeskAsn1xDef *opt = anode_opt_lookup (node, TESK_ASN1X_TAG, nullptr);
  TESK_RETURN_VAL_IF_FAIL (opt, FALSE);
  if (cls_type) {
    if (opt->type & FLAG_UNIVERSAL)
      *cls_type = 0x00;
    else if (opt->type & FLAG_APPLICATION)
      *cls_type = 0x40;
    else if (opt->type & FLAG_PRIVATE)
      *cls_type = 0xC0;
    else
      *cls_type = 0x80;
  }
  return (opt->type & FLAG_IMPLICIT) ? FALSE : TRUE;
}

gboolean anode_calc_explicit (GNode *node, guchar *cls_type)
{
  return anode_calc_explicit_for_flags (node, anode_def_flags (node), cls_type);
}

gboolean anode_failure (GNode *node, const gchar *failure)
{
  Anode *an = anode_of (node);
  const gchar *label = an->def->name;
  if (!label && an->join)
    label = an->join->name;
  if (!label)
    label = an->def->value;
  if (!label && an->join)
    label = an->join->value;
  if (!label)
    label = "unknown";

  g_free (an->failure);
  an->failure = g_strconcat (label, ": ", failure, nullptr);
  g_debug ("%s %s", label, an->failure);
  return FALSE;
}

void anode_failure_raw (GNode *node, const gchar *failure)
{
  Anode *an = anode_of (node);
  g_free (an->failure);
  an->failure = g_strdup (failure);
}

void anode_clr_value (GNode *node)
{
  Anode *an = anode_of (node);
  g_clear_pointer (&an->value, g_bytes_unref);
  atlv_free (an->parsed);
  an->parsed = nullptr;
}

void anode_take_value (GNode *node, GBytes *value)
{
  anode_clr_value (node);
  anode_of (node)->value = value;
}

void anode_take_parsed (GNode *node, Atlv *tlv)
{
  Anode *an = anode_of (node);
  atlv_free (an->parsed);
  an->parsed = tlv;
}

GNode *tesk_asn1x_create (const TeskAsn1xDef *defs, const gchar *type)
{
  TESK_RETURN_VAL_IF_FAIL (defs, nullptr);
  TESK_RETURN_VAL_IF_FAIL (type, nullptr);

  const TeskAsn1xDef *def =
    is_oid_text (type) ? adefs_lookup_oid (defs, type) : adefs_lookup_name (defs, type, 0);
  if (def == nullptr || def->name == nullptr || def->type == 0)
    return nullptr;
  return create_for_def (defs, def);
}

GNode *tesk_asn1x_create_quark (const TeskAsn1xDef *defs, GQuark type)
{
  TESK_RETURN_VAL_IF_FAIL (type, nullptr);
  return tesk_asn1x_create (defs, g_quark_to_string (type));
}

GNode *_tesk_asn1x_create_from_def (const TeskAsn1xDef *def)
{
  return anode_new (def);
}

GNode *tesk_asn1x_node (GNode *asn, ...)
{
  TESK_RETURN_VAL_IF_FAIL (asn, nullptr);

  va_list va;
  va_start (va, asn);
  GNode *node = asn;
  while (node != nullptr) {
    const int type = anode_def_type (node);
    if (type == TESK_ASN1X_SEQUENCE_OF || type == TESK_ASN1X_SET_OF) {
      const gint index = va_arg (va, gint);
      if (index == 0)
        break;
      GNode *found = nullptr;
      gint count = 0;
      for (GNode *child = node->children; child != nullptr; child = child->next) {
        if (tesk_asn1x_have (child) && ++count == index) {
          found = child;
          break;
        }
      }
      node = found;
    } else {
      const gchar *name = va_arg (va, const gchar *);
      if (name == nullptr)
        break;
      if (GPOINTER_TO_SIZE (name) <= 4096) {
        g_warning ("possible misuse of tesk_asn1x_node, expected a string, but got an index");
        node = nullptr;
        break;
      }
      GNode *found = nullptr;
      for (GNode *child = node->children; child != nullptr; child = child->next) {
        const gchar *child_name = anode_def_name (child);
        if (child_name && std::strcmp (child_name, name) == 0) {
          found = child;
          break;
        }
      }
      node = found;
    }
  }
  va_end (va);
  return node;
}

const gchar *tesk_asn1x_name (GNode *asn)
{
  TESK_RETURN_VAL_IF_FAIL (asn, nullptr);
  return anode_def_name (asn);
}

TeskAsn1xType tesk_asn1x_type (GNode *asn)
{
  TESK_RETURN_VAL_IF_FAIL (asn, static_cast<TeskAsn1xType> (0));
  return static_cast<TeskAsn1xType> (anode_def_type (asn));
}

gboolean tesk_asn1x_have (GNode *asn)
{
  TESK_RETURN_VAL_IF_FAIL (asn, FALSE);
  Anode *an = anode_of (asn);
  if (an->value || an->parsed)
    return TRUE;
  for (GNode *child = asn->children; child != nullptr; child = child->next) {
    if (tesk_asn1x_have (child))
      return TRUE;
  }
  return FALSE;
}

guint tesk_asn1x_count (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node, 0);
  const int type = anode_def_type (node);
  if (type != TESK_ASN1X_SEQUENCE_OF && type != TESK_ASN1X_SET_OF) {
    g_warning ("node passed to tesk_asn1x_count was not a sequence of or set of");
    return 0;
  }
  guint count = 0;
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (tesk_asn1x_have (child))
      count++;
  }
  return count;
}

GNode *tesk_asn1x_append (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node, nullptr);
  const int type = anode_def_type (node);
  if (type != TESK_ASN1X_SEQUENCE_OF && type != TESK_ASN1X_SET_OF) {
    g_warning ("node passed to tesk_asn1x_append was not a sequence of or set of");
    return nullptr;
  }
  GNode *child = node->children;
  TESK_RETURN_VAL_IF_FAIL (child, nullptr);

  GNode *copy = anode_copy_template (child);
  g_node_append (node, copy);
  return copy;
}

void tesk_asn1x_clear (GNode *asn)
{
  TESK_RETURN_IF_FAIL (asn);
  clear_node (asn);
}

void tesk_asn1x_destroy (gpointer data)
{
  auto *node = static_cast<GNode *> (data);
  if (node == nullptr)
    return;
  TESK_RETURN_IF_FAIL (G_NODE_IS_ROOT (node));
  anode_destroy (node);
}

const gchar *tesk_asn1x_message (GNode *asn)
{
  TESK_RETURN_VAL_IF_FAIL (asn, nullptr);
  GNode *node = find_failure (asn);
  return node ? anode_of (node)->failure : nullptr;
}

void tesk_asn1x_dump (GNode *asn)
{
  TESK_RETURN_IF_FAIL (asn);
  g_node_traverse (asn, G_PRE_ORDER, G_TRAVERSE_ALL, -1, dump_func, asn);
}
