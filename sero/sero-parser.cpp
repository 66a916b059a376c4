#include "sero-private.h"

#include "sero-parser.h"
#include "sero-pem.h"
#include "sero-x509.h"

#include <glib/gi18n-lib.h>

#include <memory>
#include <string>
#include <vector>

struct _SeroParser {
  GObject parent_instance;
  TaboAttributes *current;  // the item being announced, or NULL
};

enum { SIGNAL_PARSED, N_SIGNALS };
static guint signals[N_SIGNALS];

G_DEFINE_FINAL_TYPE (SeroParser, sero_parser, G_TYPE_OBJECT)

G_DEFINE_QUARK (sero-data-error, sero_data_error)

static void
sero_parser_init (SeroParser *)
{
}

static void
sero_parser_class_init (SeroParserClass *klass)
{
  signals[SIGNAL_PARSED] = g_signal_new ("parsed", G_TYPE_FROM_CLASS (klass), G_SIGNAL_RUN_FIRST,
                                         0, NULL, NULL, NULL, G_TYPE_NONE, 0);
}

namespace {

using AttributesPtr = std::unique_ptr<TaboAttributes, decltype (&tabo_attributes_unref)>;

constexpr std::string_view certificate_labels[] = {
  "CERTIFICATE",
  "X509 CERTIFICATE",
  // A certificate followed by trust settings of its own.
  "TRUSTED CERTIFICATE",
};

bool
is_certificate_label (std::string_view label)
{
  for (auto known : certificate_labels)
    if (label == known)
      return true;
  return false;
}

AttributesPtr
certificate_item (sero::der::Bytes der, const sero::x509::Certificate &cert)
{
  AttributesPtr attrs (tabo_attributes_new (), tabo_attributes_unref);
  tabo_attributes_add_ulong (attrs.get (), CKA_CLASS, CKO_CERTIFICATE);
  tabo_attributes_add_ulong (attrs.get (), CKA_CERTIFICATE_TYPE, CKC_X_509);
  tabo_attributes_add_data (attrs.get (), CKA_VALUE, der.data (), der.size ());
  if (auto cn = sero::x509::name_part (cert.subject, "2.5.4.3"))
    tabo_attributes_add_data (attrs.get (), CKA_LABEL, cn->data (), cn->size ());
  return attrs;
}

// The certificate at the front of der: the whole of it, or, for a trusted
// certificate, its first element.
std::optional<sero::der::Bytes>
certificate_der (sero::der::Bytes der, bool first_element_only)
{
  if (first_element_only) {
    auto element = sero::der::read (der);
    if (!element)
      return std::nullopt;
    der = element->whole;
  }
  if (!sero::x509::parse (der))
    return std::nullopt;
  return der;
}

bool
collect (GBytes *data, std::vector<AttributesPtr> &items, GError **error)
{
  gsize n_data = 0;
  const auto *bytes = static_cast<const guint8 *> (g_bytes_get_data (data, &n_data));
  const sero::der::Bytes all (bytes, n_data);
  const std::string_view text (reinterpret_cast<const char *> (bytes), n_data);

  if (!sero::pem::looks_like_pem (text)) {
    auto cert = sero::x509::parse (all);
    if (!cert) {
      g_set_error_literal (error, SERO_DATA_ERROR, SERO_ERROR_UNRECOGNIZED,
                           _("The data holds no certificate"));
      return false;
    }
    items.push_back (certificate_item (all, *cert));
    return true;
  }

  guint number = 0;
  for (const auto &block : sero::pem::blocks (text)) {
    number++;
    if (!is_certificate_label (block.label))
      continue;
    if (block.damaged) {
      g_set_error (error, SERO_DATA_ERROR, SERO_ERROR_FAILURE,
                   _("The certificate in PEM block %u is damaged: %s"), number, block.problem.c_str ());
      return false;
    }
    const sero::der::Bytes der (reinterpret_cast<const guint8 *> (block.contents.data ()),
                                block.contents.size ());
    auto cert_der = certificate_der (der, block.label == "TRUSTED CERTIFICATE");
    if (!cert_der) {
      g_set_error (error, SERO_DATA_ERROR, SERO_ERROR_FAILURE,
                   _("The certificate in PEM block %u is damaged: %s"), number,
                   "not a DER-encoded certificate");
      return false;
    }
    items.push_back (certificate_item (*cert_der, *sero::x509::parse (*cert_der)));
  }
  if (items.empty ()) {
    g_set_error_literal (error, SERO_DATA_ERROR, SERO_ERROR_UNRECOGNIZED,
                         _("The data holds no certificate"));
    return false;
  }
  return true;
}

}  // namespace

SeroParser *
sero_parser_new (void)
{
  return SERO_PARSER (g_object_new (SERO_TYPE_PARSER, NULL));
}

gboolean
sero_parser_parse_bytes (SeroParser *self, GBytes *data, GError **error)
{
  g_return_val_if_fail (SERO_IS_PARSER (self), FALSE);
  g_return_val_if_fail (data != NULL, FALSE);
  g_return_val_if_fail (error == NULL || *error == NULL, FALSE);

  std::vector<AttributesPtr> items;
  if (!collect (data, items, error))
    return FALSE;

  // A handler may drop the last outside reference, or parse again.
  g_autoptr (SeroParser) hold = SERO_PARSER (g_object_ref (self));
  TaboAttributes *outer = self->current;
  for (auto &item : items) {
    self->current = item.get ();
    g_signal_emit (self, signals[SIGNAL_PARSED], 0);
  }
  self->current = outer;
  return TRUE;
}

TaboAttributes *
sero_parser_get_parsed_attributes (SeroParser *self)
{
  g_return_val_if_fail (SERO_IS_PARSER (self), NULL);
  return self->current;
}
