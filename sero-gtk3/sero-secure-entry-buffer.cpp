// The text of the entry lives in secure memory, in one allocation that
// starts at 16 bytes and doubles up to 65535 bytes; where memory cannot be
// locked, the allocator's fallback serves instead, so the entry still works.
#include "sero-gtk-build.h"

#include "sero-secure-entry-buffer.h"

#include "tesk-secure-memory.h"

#include <cstring>

namespace {

constexpr gsize MIN_SIZE = 16;
constexpr gsize MAX_SIZE = 65535;
constexpr const char *TAG = "secure_entry_buffer";

}  // namespace

struct _SeroSecureEntryBuffer {
  GtkEntryBuffer parent_instance;

  gchar *text;       // secure memory, terminated once allocated
  gsize text_size;   // bytes allocated
  gsize text_bytes;  // bytes of content, terminator excluded
  guint text_chars;  // characters of content
};

G_DEFINE_FINAL_TYPE (SeroSecureEntryBuffer, sero_secure_entry_buffer, GTK_TYPE_ENTRY_BUFFER)

namespace {

// Byte offset of a character position in the content.
gsize
byte_offset (const SeroSecureEntryBuffer *self, guint position)
{
  return static_cast<gsize> (g_utf8_offset_to_pointer (self->text, position) - self->text);
}

// The allocation size that holds `needed` bytes: 16, doubled as often as
// needed, never above the cap.
gsize
grown_size (gsize size, gsize needed)
{
  while (size < needed) {
    if (size == 0)
      size = MIN_SIZE;
    else if (size * 2 > MAX_SIZE - 1)
      return MAX_SIZE;
    else
      size *= 2;
  }
  return size;
}

// Keeps the owned copy of inserted characters that came from this very
// buffer's text, which a resize or the move below would change under us.
struct SecureText {
  gchar *text = nullptr;
  SecureText () = default;
  SecureText (const SecureText &) = delete;
  SecureText &operator= (const SecureText &) = delete;
  ~SecureText () { tesk_secure_strfree (text); }
};

const gchar *
sero_secure_entry_buffer_real_get_text (GtkEntryBuffer *buffer, gsize *n_bytes)
{
  auto *self = SERO_SECURE_ENTRY_BUFFER (buffer);
  if (n_bytes)
    *n_bytes = self->text_bytes;
  return self->text ? self->text : "";
}

guint
sero_secure_entry_buffer_real_get_length (GtkEntryBuffer *buffer)
{
  return SERO_SECURE_ENTRY_BUFFER (buffer)->text_chars;
}

guint
sero_secure_entry_buffer_real_insert_text (GtkEntryBuffer *buffer, guint position, const gchar *chars,
                                           guint n_chars)
{
  auto *self = SERO_SECURE_ENTRY_BUFFER (buffer);
  gsize n_bytes = static_cast<gsize> (g_utf8_offset_to_pointer (chars, n_chars) - chars);

  SecureText own_copy;
  if (self->text && chars >= self->text && chars < self->text + self->text_size) {
    own_copy.text = tesk_secure_strndup_full (TAG, chars, n_bytes, TESK_SECURE_USE_FALLBACK);
    if (!own_copy.text)
      return 0;
    chars = own_copy.text;
  }

  if (self->text_bytes + n_bytes + 1 > self->text_size) {
    const gsize size = grown_size (self->text_size, self->text_bytes + n_bytes + 1);
    const gsize room = size - 1 - self->text_bytes;
    if (n_bytes > room) {
      // Cut before the first character that would not fit whole.
      const gchar *cut = g_utf8_find_prev_char (chars, chars + room + 1);
      n_bytes = cut ? static_cast<gsize> (cut - chars) : 0;
      n_chars = static_cast<guint> (g_utf8_strlen (chars, static_cast<gssize> (n_bytes)));
    }
    auto *text = static_cast<gchar *> (
        tesk_secure_realloc_full (TAG, self->text, size, TESK_SECURE_USE_FALLBACK));
    if (!text)
      return 0;
    self->text = text;
    self->text_size = size;
  }

  position = MIN (position, self->text_chars);
  const gsize at = byte_offset (self, position);
  std::memmove (self->text + at + n_bytes, self->text + at, self->text_bytes - at);
  std::memcpy (self->text + at, chars, n_bytes);
  self->text_bytes += n_bytes;
  self->text_chars += n_chars;
  self->text[self->text_bytes] = '\0';

  gtk_entry_buffer_emit_inserted_text (buffer, position, chars, n_chars);
  return n_chars;
}

guint
sero_secure_entry_buffer_real_delete_text (GtkEntryBuffer *buffer, guint position, guint n_chars)
{
  auto *self = SERO_SECURE_ENTRY_BUFFER (buffer);
  position = MIN (position, self->text_chars);
  n_chars = MIN (n_chars, self->text_chars - position);
  if (n_chars == 0)
    return 0;

  const gsize start = byte_offset (self, position);
  const gsize end = byte_offset (self, position + n_chars);
  std::memmove (self->text + start, self->text + end, self->text_bytes + 1 - end);
  self->text_chars -= n_chars;
  self->text_bytes -= end - start;

  gtk_entry_buffer_emit_deleted_text (buffer, position, n_chars);
  return n_chars;
}

}  // namespace

static void
sero_secure_entry_buffer_init (SeroSecureEntryBuffer *)
{
}

static void
sero_secure_entry_buffer_finalize (GObject *object)
{
  auto *self = SERO_SECURE_ENTRY_BUFFER (object);
  if (self->text) {
    tesk_secure_strfree (self->text);
    self->text = nullptr;
  }
  self->text_size = 0;
  self->text_bytes = 0;
  self->text_chars = 0;

  G_OBJECT_CLASS (sero_secure_entry_buffer_parent_class)->finalize (object);
}

static void
sero_secure_entry_buffer_class_init (SeroSecureEntryBufferClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkEntryBufferClass *buffer_class = GTK_ENTRY_BUFFER_CLASS (klass);

  object_class->finalize = sero_secure_entry_buffer_finalize;

  buffer_class->get_text = sero_secure_entry_buffer_real_get_text;
  buffer_class->get_length = sero_secure_entry_buffer_real_get_length;
  buffer_class->insert_text = sero_secure_entry_buffer_real_insert_text;
  buffer_class->delete_text = sero_secure_entry_buffer_real_delete_text;
}

GtkEntryBuffer *
sero_secure_entry_buffer_new (void)
{
  return GTK_ENTRY_BUFFER (g_object_new (SERO_TYPE_SECURE_ENTRY_BUFFER, NULL));
}
