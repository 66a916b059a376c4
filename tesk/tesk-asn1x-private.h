// Internal interface shared by the modules of the ASN.1 toolkit.
#pragma once

#include "tesk-asn1x.h"

#include <cstddef>
#include <ctime>
#include <memory>
#include <span>
#include <vector>

// All toolkit messages use the default log domain.
#undef G_LOG_DOMAIN
#define G_LOG_DOMAIN nullptr

namespace tesk {

// Source path named by the toolkit's "should not be reached" messages.
inline constexpr const char *kAsn1xSourcePath = "tesk/tesk-asn1x";

// Logs the critical "should not be reached" message for a place in the
// toolkit.
void log_not_reached (int line, const char *func);

// Counts the warnings and criticals the toolkit logged on this thread, so
// that work whose messages matter can tell whether any were logged.
extern thread_local unsigned warnings_logged;
inline void note_warning () { warnings_logged++; }

}  // namespace tesk

// Precondition checks in the style of g_return_val_if_fail(), naming the
// plain function name and the expression text exactly as written.
#define TESK_RETURN_VAL_IF_FAIL(expr, val)                            \
  do {                                                                \
    if (G_LIKELY (expr)) {                                            \
    } else {                                                          \
      tesk::note_warning ();                                          \
      g_return_if_fail_warning (nullptr, __func__, #expr);            \
      return (val);                                                   \
    }                                                                 \
  } while (0)

#define TESK_RETURN_IF_FAIL(expr)                                     \
  do {                                                                \
    if (G_LIKELY (expr)) {                                            \
    } else {                                                          \
      tesk::note_warning ();                                          \
      g_return_if_fail_warning (nullptr, __func__, #expr);            \
      return;                                                         \
    }                                                                 \
  } while (0)

#define TESK_NOT_REACHED() tesk::log_not_reached (__LINE__, __func__)

#define TESK_ASSERT(expr)                                                             \
  do {                                                                                \
    if (G_LIKELY (expr)) {                                                            \
    } else {                                                                          \
      g_assertion_message_expr (nullptr, tesk::kAsn1xSourcePath, __LINE__, __func__, \
                                #expr);                                               \
    }                                                                                 \
  } while (0)

// ---------------------------------------------------------------------------
// Element layer

Atlv *atlv_new (void);
void atlv_free (Atlv *tlv);
Atlv *atlv_dup (const Atlv *tlv, gboolean with_siblings);

gboolean atlv_parse_cls_tag (const guchar *at, const guchar *end, guchar *cls, gulong *tag,
                             gint *off);
gint atlv_parse_length (const guchar *at, const guchar *end, gint *off);
gboolean atlv_parse_cls_tag_len (const guchar *at, const guchar *end, guchar *cls, gulong *tag,
                                 gint *off, gint *len);
const gchar *atlv_parse_der_tag (guchar cls, gulong tag, gint off, gint len, GBytes *data,
                                 const guchar **at, Atlv *tlv);
const gchar *atlv_parse_der (GBytes *data, Atlv *tlv);

gint atlv_unparse_cls_tag_len (guchar *data, gsize n_data, guchar cls, gulong tag, gint len);
void atlv_unparse_der (const Atlv *tlv, guchar **at, guchar *end);
GBytes *atlv_unparse_to_bytes (const Atlv *tlv, TeskAllocator allocator);
void atlv_sort_perform (Atlv *tlv, TeskAllocator allocator);

// Deepest nesting of constructed elements that the reader accepts.
inline constexpr int kAtlvMaxDepth = 256;

// ---------------------------------------------------------------------------
// Nodes

// The option records folded into a node. Preparation fills them; the
// copies of a prepared tree share them, and a change after copying
// gives the changed node a list of its own.
class AnodeOpts {
 public:
  using List = std::vector<const TeskAsn1xDef *>;

  List::const_iterator begin () const { return list_ ? list_->begin () : empty ().begin (); }
  List::const_iterator end () const { return list_ ? list_->end () : empty ().end (); }
  std::size_t size () const { return list_ ? list_->size () : 0; }
  const TeskAsn1xDef *operator[] (std::size_t i) const { return (*list_)[i]; }

  void push_back (const TeskAsn1xDef *def) { own ().push_back (def); }
  void append (const AnodeOpts &more)
  {
    if (more.begin () == more.end ())
      return;
    const List copy (more.begin (), more.end ());
    own ().insert (own ().end (), copy.begin (), copy.end ());
  }

 private:
  static const List &empty ()
  {
    static const List none;
    return none;
  }
  List &own ()
  {
    if (!list_)
      list_ = std::make_shared<List> ();
    else if (list_.use_count () > 1)
      list_ = std::make_shared<List> (*list_);
    return *list_;
  }

  std::shared_ptr<List> list_;
};

struct Anode {
  const TeskAsn1xDef *def = nullptr;
  const TeskAsn1xDef *join = nullptr;
  AnodeOpts opts;
  GBytes *value = nullptr;
  Atlv *parsed = nullptr;
  gchar *failure = nullptr;
  guint chosen : 1 = 0;
  guint bits_empty : 3 = 0;
  guint guarantee_unsigned : 1 = 0;

  Anode () = default;
  Anode (const Anode &) = delete;
  Anode &operator= (const Anode &) = delete;
  ~Anode ();
};

inline Anode *anode_of (GNode *node) { return static_cast<Anode *> (node->data); }

// Definition records and their tree structure.
int adef_type (const TeskAsn1xDef *def);
int adef_flags (const TeskAsn1xDef *def);
const TeskAsn1xDef *adef_first_child (const TeskAsn1xDef *def);
const TeskAsn1xDef *adef_next_sibling (const TeskAsn1xDef *def);

// The first top-level definition of the table with the name (and, unless
// type is 0, the type code), or NULL.
const TeskAsn1xDef *adefs_lookup_name (const TeskAsn1xDef *defs, const gchar *name, int type);
// The definition that follows the OID value whose arcs give the dotted
// text, or NULL.
const TeskAsn1xDef *adefs_lookup_oid (const TeskAsn1xDef *defs, const gchar *oid);

int anode_def_type (GNode *node);
int anode_def_flags (GNode *node);
const gchar *anode_def_name (GNode *node);
gboolean anode_def_type_is_real (GNode *node);
gulong anode_def_value_as_ulong (const TeskAsn1xDef *def);
const TeskAsn1xDef *anode_opt_lookup (GNode *node, int type, const gchar *name);

// The no-tag value: matches any element.
inline constexpr gulong kNoTag = G_MAXULONG;
gulong anode_calc_tag_for_flags (GNode *node, int flags);
gulong anode_calc_tag (GNode *node);
gboolean anode_calc_explicit_for_flags (GNode *node, int flags, guchar *cls_type);
gboolean anode_calc_explicit (GNode *node, guchar *cls_type);

// Records "label: message" on the node; always gives false.
gboolean anode_failure (GNode *node, const gchar *failure);
// Stores a text as it is (no label), as for failures of the element reader.
void anode_failure_raw (GNode *node, const gchar *failure);

void anode_clr_value (GNode *node);
// Takes over the reference to value; drops parsed.
void anode_take_value (GNode *node, GBytes *value);
// Replaces parsed (taking tlv) and keeps value.
void anode_take_parsed (GNode *node, Atlv *tlv);

gboolean anode_is_string_type (int type);
gboolean anode_is_time_type (int type);

// Decoding and validation internals.
gboolean anode_decode_anything (GNode *node, Atlv *tlv);
gboolean anode_validate_anything (GNode *node, gint options);

// Value reading internals.
gboolean anode_read_integer_ulong (GNode *node, GBytes *data, gulong *value);
GBytes *anode_write_integer_ulong (gulong value);
// Checks the encoding and, unless oid is NULL, gives the dotted text.
gboolean anode_read_object_id (GNode *node, GBytes *data, gchar **oid);
gboolean anode_write_object_id (const gchar *oid, std::vector<guchar> *out);
gboolean anode_read_time (GNode *node, GBytes *data, struct tm *when, gint *offset);
GBytes *anode_default_integer (GNode *node);
gboolean anode_default_boolean (GNode *node, gboolean *value);

// Building element trees for writing.
Atlv *anode_build_anything (GNode *node, gboolean want);

// Time parsing.
gboolean parse_utc_time (const gchar *time, gsize n_time, struct tm *when, gint *offset);
gboolean parse_general_time (const gchar *time, gsize n_time, struct tm *when, gint *offset);
int two_to_four_digit_year (int year);
// The same against a given current UTC year.
int two_to_four_digit_year_at (int year, int current_year);

// A one-node tree for a lone definition record.
GNode *_tesk_asn1x_create_from_def (const TeskAsn1xDef *def);

// Rewrites the headers of a copied element tree in minimal definite form.
void atlv_make_definite (Atlv *tlv);

// Views of buffers.
inline std::span<const guchar> bytes_span (GBytes *bytes)
{
  gsize n = 0;
  auto *p = static_cast<const guchar *> (g_bytes_get_data (bytes, &n));
  return {p, n};
}
