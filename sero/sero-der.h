// A small reader of DER elements: tag, length and contents, nothing more.
// Everything works on borrowed byte views; nothing is copied.
#pragma once

#include <glib.h>

#include <optional>
#include <span>
#include <string>

namespace sero::der {

using Bytes = std::span<const guint8>;

enum class Class : guint8 { universal = 0, application = 1, context = 2, private_ = 3 };

namespace tag {
inline constexpr gulong boolean = 1, integer = 2, bit_string = 3, octet_string = 4, null = 5,
                        oid = 6, utf8_string = 12, sequence = 16, set = 17, numeric_string = 18,
                        printable_string = 19, teletex_string = 20, ia5_string = 22,
                        utc_time = 23, generalized_time = 24, visible_string = 26,
                        universal_string = 28, bmp_string = 30;
}

struct Element {
  Class cls = Class::universal;
  bool constructed = false;
  gulong tag = 0;
  Bytes contents;  // the contents octets
  Bytes whole;     // tag, length and contents

  bool is (Class c, gulong t) const { return cls == c && tag == t; }
  bool is_universal (gulong t) const { return is (Class::universal, t); }
  bool is_sequence () const { return constructed && is_universal (tag::sequence); }
};

// Reads the element at the front of data. Indefinite lengths and lengths
// that run past the data are errors.
std::optional<Element> read (Bytes data, Bytes *rest = nullptr);

// Reads data as exactly one element, with nothing after it.
std::optional<Element> read_only (Bytes data);

// Walks the elements inside a constructed element's contents.
class Reader {
 public:
  explicit Reader (Bytes contents) : rest_ (contents) {}

  bool at_end () const { return rest_.empty (); }
  // The next element, or none when the contents end or are damaged.
  std::optional<Element> next ();
  // The next element only if it has this class and tag.
  std::optional<Element> next_if (Class cls, gulong tag);
  bool failed () const { return failed_; }

 private:
  Bytes rest_;
  bool failed_ = false;
};

// The dotted text of an encoded OBJECT IDENTIFIER's contents, or none.
std::optional<std::string> oid_text (Bytes contents);
// Whether an OBJECT IDENTIFIER element holds the OID given as dotted text.
bool oid_equals (const Element &element, std::string_view dotted);

// The value of an INTEGER element that fits a gint64, or none.
std::optional<gint64> integer_value (const Element &element);
// Number of significant bits of a non-negative INTEGER's contents.
guint integer_bits (Bytes contents);

// Text of a string element, converted to UTF-8 from its encoding; none
// for non-string elements and for contents that do not convert.
std::optional<std::string> string_text (const Element &element);

}  // namespace sero::der
