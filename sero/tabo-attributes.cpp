#include "sero-private.h"

#include "tabo-attributes.h"

#include <cstring>

struct _TaboAttributes {
  GArray *items;  // of TaboAttribute, each value a g_malloc'd copy
};

namespace {

void clear_attribute (gpointer data)
{
  auto *attr = static_cast<TaboAttribute *> (data);
  g_free (attr->value);
  attr->value = nullptr;
}

void clear_attributes (gpointer data)
{
  auto *attrs = static_cast<TaboAttributes *> (data);
  g_array_unref (attrs->items);
}

TaboAttribute *lookup (TaboAttributes *attrs, gulong type)
{
  for (guint i = 0; i < attrs->items->len; i++) {
    auto &attr = g_array_index (attrs->items, TaboAttribute, i);
    if (attr.type == type)
      return &attr;
  }
  return nullptr;
}

}  // namespace

G_DEFINE_BOXED_TYPE (TaboAttributes, tabo_attributes, tabo_attributes_ref, tabo_attributes_unref)

TaboAttributes *
tabo_attributes_new (void)
{
  auto *attrs = g_atomic_rc_box_new0 (TaboAttributes);
  attrs->items = g_array_new (FALSE, TRUE, sizeof (TaboAttribute));
  g_array_set_clear_func (attrs->items, clear_attribute);
  return attrs;
}

TaboAttributes *
tabo_attributes_ref (TaboAttributes *attrs)
{
  g_return_val_if_fail (attrs != NULL, NULL);
  return static_cast<TaboAttributes *> (g_atomic_rc_box_acquire (attrs));
}

void
tabo_attributes_unref (gpointer attrs)
{
  if (attrs)
    g_atomic_rc_box_release_full (attrs, clear_attributes);
}

void
tabo_attributes_add_data (TaboAttributes *attrs, gulong type, gconstpointer value, gsize length)
{
  g_return_if_fail (attrs != NULL);
  g_return_if_fail (value != NULL || length == 0);

  // One spare zero byte, so that text values can be read as strings.
  auto *copy = static_cast<guchar *> (g_malloc0 (length + 1));
  if (length)
    std::memcpy (copy, value, length);

  if (TaboAttribute *old = lookup (attrs, type)) {
    g_free (old->value);
    old->value = copy;
    old->length = length;
    return;
  }
  TaboAttribute attr = { type, copy, static_cast<gulong> (length) };
  g_array_append_val (attrs->items, attr);
}

void
tabo_attributes_add_ulong (TaboAttributes *attrs, gulong type, gulong value)
{
  tabo_attributes_add_data (attrs, type, &value, sizeof value);
}

const TaboAttribute *
tabo_attributes_find (TaboAttributes *attrs, gulong type)
{
  g_return_val_if_fail (attrs != NULL, NULL);
  return lookup (attrs, type);
}

gboolean
tabo_attributes_find_ulong (TaboAttributes *attrs, gulong type, gulong *value)
{
  g_return_val_if_fail (attrs != NULL, FALSE);
  const TaboAttribute *attr = lookup (attrs, type);
  if (!attr || attr->length != sizeof (gulong))
    return FALSE;
  if (value)
    std::memcpy (value, attr->value, sizeof (gulong));
  return TRUE;
}

guint
tabo_attributes_count (TaboAttributes *attrs)
{
  g_return_val_if_fail (attrs != NULL, 0);
  return attrs->items->len;
}

const TaboAttribute *
tabo_attributes_at (TaboAttributes *attrs, guint index)
{
  g_return_val_if_fail (attrs != NULL, NULL);
  g_return_val_if_fail (index < attrs->items->len, NULL);
  return &g_array_index (attrs->items, TaboAttribute, index);
}
