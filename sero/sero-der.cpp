#include "sero-private.h"

#include "sero-der.h"

namespace sero::der {

std::optional<Element>
read (Bytes data, Bytes *rest)
{
  size_t pos = 0;
  if (data.size () < 2)
    return std::nullopt;

  Element element;
  const guint8 first = data[pos++];
  element.cls = static_cast<Class> (first >> 6);
  element.constructed = (first & 0x20) != 0;
  element.tag = first & 0x1f;
  if (element.tag == 0x1f) {
    // High tag number: base-128 digits, the last without its top bit.
    gulong value = 0;
    for (;;) {
      if (pos >= data.size () || value > (G_MAXULONG >> 7))
        return std::nullopt;
      const guint8 byte = data[pos++];
      value = (value << 7) | (byte & 0x7f);
      if (!(byte & 0x80))
        break;
    }
    element.tag = value;
  }

  if (pos >= data.size ())
    return std::nullopt;
  size_t length = data[pos++];
  if (length & 0x80) {
    const size_t n_octets = length & 0x7f;
    // 0x80 is the indefinite form, which DER does not allow.
    if (n_octets == 0 || n_octets > sizeof (guint32))
      return std::nullopt;
    length = 0;
    for (size_t i = 0; i < n_octets; i++) {
      if (pos >= data.size ())
        return std::nullopt;
      length = (length << 8) | data[pos++];
    }
  }
  if (length > data.size () - pos)
    return std::nullopt;

  element.contents = data.subspan (pos, length);
  element.whole = data.first (pos + length);
  if (rest)
    *rest = data.subspan (pos + length);
  return element;
}

std::optional<Element>
read_only (Bytes data)
{
  Bytes rest;
  auto element = read (data, &rest);
  if (!element || !rest.empty ())
    return std::nullopt;
  return element;
}

std::optional<Element>
Reader::next ()
{
  if (failed_ || rest_.empty ())
    return std::nullopt;
  auto element = read (rest_, &rest_);
  if (!element)
    failed_ = true;
  return element;
}

std::optional<Element>
Reader::next_if (Class cls, gulong tag)
{
  if (failed_ || rest_.empty ())
    return std::nullopt;
  Bytes after;
  auto element = read (rest_, &after);
  if (!element) {
    failed_ = true;
    return std::nullopt;
  }
  if (!element->is (cls, tag))
    return std::nullopt;
  rest_ = after;
  return element;
}

std::optional<std::string>
oid_text (Bytes contents)
{
  if (contents.empty () || (contents.back () & 0x80))
    return std::nullopt;

  std::string text;
  guint64 arc = 0;
  bool first = true;
  for (size_t i = 0; i < contents.size (); i++) {
    const guint8 byte = contents[i];
    // A leading 0x80 would pad an arc, which DER forbids.
    if (arc == 0 && byte == 0x80)
      return std::nullopt;
    if (arc > (G_MAXUINT64 >> 7))
      return std::nullopt;
    arc = (arc << 7) | (byte & 0x7f);
    if (byte & 0x80)
      continue;
    if (first) {
      const guint64 top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      text = std::to_string (top) + "." + std::to_string (arc - top * 40);
      first = false;
    } else {
      text += "." + std::to_string (arc);
    }
    arc = 0;
  }
  return text;
}

bool
oid_equals (const Element &element, std::string_view dotted)
{
  if (!element.is_universal (tag::oid) || element.constructed)
    return false;
  auto text = oid_text (element.contents);
  return text && *text == dotted;
}

std::optional<gint64>
integer_value (const Element &element)
{
  if (!element.is_universal (tag::integer) || element.constructed)
    return std::nullopt;
  const Bytes c = element.contents;
  if (c.empty () || c.size () > sizeof (gint64))
    return std::nullopt;
  // Two's complement, sign taken from the first octet.
  guint64 value = (c[0] & 0x80) ? G_MAXUINT64 : 0;
  for (guint8 byte : c)
    value = (value << 8) | byte;
  return static_cast<gint64> (value);
}

guint
integer_bits (Bytes contents)
{
  size_t i = 0;
  while (i < contents.size () && contents[i] == 0)
    i++;
  if (i == contents.size ())
    return 0;
  guint bits = static_cast<guint> ((contents.size () - i - 1) * 8);
  for (guint8 top = contents[i]; top; top >>= 1)
    bits++;
  return bits;
}

namespace {

void
append_utf8 (std::string &out, gunichar c)
{
  char buffer[6];
  out.append (buffer, g_unichar_to_utf8 (c, buffer));
}

// Big-endian code units of 2 (BMP) or 4 (universal) octets.
std::optional<std::string>
wide_text (Bytes c, size_t unit)
{
  if (c.size () % unit)
    return std::nullopt;
  std::string out;
  for (size_t i = 0; i < c.size (); i += unit) {
    gunichar ch = 0;
    for (size_t j = 0; j < unit; j++)
      ch = (ch << 8) | c[i + j];
    if (unit == 2 && ch >= 0xd800 && ch <= 0xdfff) {
      // A surrogate pair in a BMPString: tolerate it, as writers emit them.
      if (ch > 0xdbff || i + 4 > c.size ())
        return std::nullopt;
      const gunichar low = (gunichar (c[i + 2]) << 8) | c[i + 3];
      if (low < 0xdc00 || low > 0xdfff)
        return std::nullopt;
      ch = 0x10000 + ((ch - 0xd800) << 10) + (low - 0xdc00);
      i += 2;
    }
    if (!g_unichar_validate (ch) || ch == 0)
      return std::nullopt;
    append_utf8 (out, ch);
  }
  return out;
}

}  // namespace

std::optional<std::string>
string_text (const Element &element)
{
  if (element.cls != Class::universal || element.constructed)
    return std::nullopt;
  const Bytes c = element.contents;
  const std::string raw (reinterpret_cast<const char *> (c.data ()), c.size ());
  const bool has_nul = raw.find ('\0') != std::string::npos;

  switch (element.tag) {
  case tag::utf8_string:
    if (has_nul || !g_utf8_validate (raw.data (), raw.size (), nullptr))
      return std::nullopt;
    return raw;
  case tag::printable_string:
  case tag::numeric_string:
  case tag::ia5_string:
  case tag::visible_string:
    for (char ch : raw)
      if (ch == '\0' || static_cast<guint8> (ch) > 0x7f)
        return std::nullopt;
    return raw;
  case tag::teletex_string: {
    // Read as Latin-1, which is what writers of this type put into it.
    if (has_nul)
      return std::nullopt;
    std::string out;
    for (guint8 ch : c)
      append_utf8 (out, ch);
    return out;
  }
  case tag::bmp_string:
    return wide_text (c, 2);
  case tag::universal_string:
    return wide_text (c, 4);
  default:
    return std::nullopt;
  }
}

}  // namespace sero::der
