// The DER element layer: reading with its leniencies and failures, header
// writing, serialization, SET OF ordering, copying and the element header
// operations.

#include "tesk-asn1x-private.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

using namespace tesktest;

namespace {

struct AtlvFree {
  void operator() (Atlv *t) const { atlv_free (t); }
};
using AtlvPtr = std::unique_ptr<Atlv, AtlvFree>;

int count_children (const Atlv *tlv)
{
  int n = 0;
  for (const Atlv *c = tlv->child; c; c = c->next)
    n++;
  return n;
}

struct ReadCase {
  const char *input;
  const char *failure; // nullptr for success
  int cls = 0, tag = 0, off = 0, len = 0, children = 0, decoded = 0;
};

const ReadCase read_cases[] = {
  {"30 00", nullptr, 0x20, 16, 2, 0, 0, 2},
  {"30 80 02 01 05 00 00", nullptr, 0x20, 16, 2, -1, 1, 7},
  {"30 80 02 01 05", nullptr, 0x20, 16, 2, -1, 1, 5}, // no end marker: ends with the input
  {"04 80 00 00", "indefinite length on non-structured type"},
  {"30 03 02 01", "content is not encoded properly"},
  {"02 01 05 00", "extra unexpected trailing data"},
  {"02", "content is not encoded properly"},
  {"1F 1F 00", nullptr, 0x00, 31, 3, 0, 0, 3},
  {"30 81 00", nullptr, 0x20, 16, 3, 0, 0, 3},            // long form for a small length
  {"04 82 00 01 AA", nullptr, 0x00, 4, 4, 1, 0, 5},        // leading zero in the length
  {"04 84 80 00 00 00", "content is not encoded properly"}, // past a signed 32-bit length
  {"04 84 7F FF FF FF", "content is not encoded properly"}, // fits, but runs past the input
  {"1F 81", "content is not encoded properly"},             // long tag without its end
  {"1F 81 01", "content is not encoded properly"},          // no room for the length
  {"1F 88 80 80 80 00 00", "content is not encoded properly"}, // tag number overflows
  {"A3 05 30 03 02 01 07", nullptr, 0xA0, 3, 2, 5, 1, 7},
  {"30 04 04 80 00 00", "indefinite length on non-structured type"},
  {"30 03 02 05 00", "content is not encoded properly"},    // child runs past its parent
  {"E1 00", nullptr, 0xE0, 1, 2, 0, 0, 2},
};

TEST (AtlvRead, Cases)
{
  for (const auto &c : read_cases) {
    SCOPED_TRACE (c.input);
    std::string input = unhex (c.input);
    Bytes data = bytes_of (input);
    AtlvPtr tlv (atlv_new ());
    const gchar *failure = atlv_parse_der (data.get (), tlv.get ());
    if (c.failure) {
      ASSERT_STREQ (failure, c.failure);
      continue;
    }
    ASSERT_EQ (failure, nullptr);
    EXPECT_EQ (tlv->cls, c.cls);
    EXPECT_EQ (tlv->tag, static_cast<gulong> (c.tag));
    EXPECT_EQ (tlv->off, c.off);
    EXPECT_EQ (tlv->len, c.len);
    EXPECT_EQ (count_children (tlv.get ()), c.children);
    ASSERT_NE (tlv->decoded, nullptr);
    EXPECT_EQ (g_bytes_get_size (tlv->decoded), static_cast<gsize> (c.decoded));
  }
}

TEST (AtlvRead, ValuesAreViewsOfTheInput)
{
  Bytes data = bytes_of (unhex ("30 80 02 01 05 04 02 AA BB 00 00"));
  AtlvPtr tlv (atlv_new ());
  ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);

  gsize n = 0;
  auto *base = static_cast<const guchar *> (g_bytes_get_data (data.get (), &n));
  const Atlv *integer = tlv->child;
  const Atlv *octets = integer->next;
  ASSERT_NE (octets, nullptr);
  EXPECT_EQ (g_bytes_get_data (integer->value, nullptr), base + 4);
  EXPECT_EQ (g_bytes_get_data (octets->value, nullptr), base + 7);
  EXPECT_EQ (hex (octets->value), "AA BB");
  EXPECT_EQ (g_bytes_get_data (tlv->decoded, nullptr), base);
  EXPECT_EQ (tlv->child->next->next, nullptr);
  EXPECT_EQ (tlv->child->child, nullptr);
  EXPECT_EQ (tlv->value, nullptr);
}

TEST (AtlvRead, DeepNestingFailsInsteadOfOverflowing)
{
  std::string input;
  for (int i = 0; i < 100000; i++)
    input += unhex ("30 80");
  Bytes data = bytes_of (input);
  AtlvPtr tlv (atlv_new ());
  EXPECT_STREQ (atlv_parse_der (data.get (), tlv.get ()), "content is not encoded properly");
}

TEST (AtlvRead, EmptyInputIsAPreconditionFailure)
{
  Bytes data (g_bytes_new (nullptr, 0));
  AtlvPtr tlv (atlv_new ());
  LogCapture log;
  EXPECT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("atlv_parse_der", "dat != NULL")});
  EXPECT_EQ (tlv->cls, 0);
  EXPECT_EQ (tlv->tag, 0u);
  EXPECT_EQ (tlv->decoded, nullptr);
}

TEST (AtlvRead, KnownHeaderPastTheInputIsRefused)
{
  Bytes data = bytes_of (unhex ("02 05 01"));
  AtlvPtr tlv (atlv_new ());
  const guchar *at = static_cast<const guchar *> (g_bytes_get_data (data.get (), nullptr));
  LogCapture log;
  EXPECT_STREQ (atlv_parse_der_tag (0, 2, 2, 5, data.get (), &at, tlv.get ()),
                "invalid length of tlv");
  EXPECT_EQ (log.problems ().size (), 1u);
}

struct HeaderCase {
  guchar cls;
  gulong tag;
  gint len;
  const char *expected;
};

const HeaderCase header_cases[] = {
  {0x00, 30, 0, "1E 00"},
  {0x00, 31, 0, "1F 1F 00"},
  {0x80, 127, 1, "9F 7F 01"},
  {0x00, 128, 0, "1F 81 00 00"},
  {0x20, 16, 127, "30 7F"},
  {0x20, 16, 128, "30 81 80"},
  {0x00, 4, 255, "04 81 FF"},
  {0x00, 4, 256, "04 82 01 00"},
  {0x40, 2, 0x01000000, "42 84 01 00 00 00"},
};

TEST (AtlvWrite, MinimalHeaders)
{
  for (const auto &c : header_cases) {
    SCOPED_TRACE (c.expected);
    guchar buf[16];
    const gint n = atlv_unparse_cls_tag_len (buf, sizeof buf, c.cls, c.tag, c.len);
    EXPECT_EQ (n, atlv_unparse_cls_tag_len (nullptr, 0, c.cls, c.tag, c.len));
    EXPECT_EQ (hex (std::string_view (reinterpret_cast<char *> (buf), n)), c.expected);
  }
}

TEST (AtlvWrite, DerInputRoundTrips)
{
  const char *inputs[] = {
    "30 00",
    "30 06 02 01 05 01 01 FF",
    "A0 03 02 01 02",
    "1F 1F 00",
    "31 08 30 06 06 01 2A 13 01 41",
  };
  for (const char *input : inputs) {
    SCOPED_TRACE (input);
    Bytes data = bytes_of (unhex (input));
    AtlvPtr tlv (atlv_new ());
    ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);
    Bytes out (atlv_unparse_to_bytes (tlv.get (), nullptr));
    EXPECT_EQ (hex (out.get ()), hex (unhex (input)));
  }
}

TEST (AtlvWrite, BitStringClearsUnusedBits)
{
  Atlv tlv = {};
  tlv.cls = 0;
  tlv.tag = 3;
  tlv.value = g_bytes_new ("\x0F\xFF", 2);
  tlv.prefix_for_bit_string = 1;
  tlv.bits_empty = 3;
  tlv.len = 3;
  tlv.off = 2;
  Bytes out (atlv_unparse_to_bytes (&tlv, nullptr));
  EXPECT_EQ (hex (out.get ()), "03 03 03 0F F8");
  g_bytes_unref (tlv.value);
}

TEST (AtlvWrite, ZeroBytePrefix)
{
  Atlv tlv = {};
  tlv.tag = 2;
  tlv.value = g_bytes_new ("\x80", 1);
  tlv.prefix_with_zero_byte = 1;
  tlv.len = 2;
  tlv.off = 2;
  Bytes out (atlv_unparse_to_bytes (&tlv, nullptr));
  EXPECT_EQ (hex (out.get ()), "02 02 00 80");
  g_bytes_unref (tlv.value);
}

TEST (AtlvWrite, EmptyRecordGivesNothing)
{
  Atlv tlv = {};
  LogCapture log;
  EXPECT_EQ (atlv_unparse_to_bytes (&tlv, nullptr), nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("atlv_unparse_to_bytes", "len != 0")});
}

// An allocator that counts what it hands out and can be told to refuse.
struct Counting {
  static inline int live = 0;
  static inline gsize last_size = 0;
  static inline bool refuse = false;
  static gpointer alloc (gpointer p, gsize n)
  {
    if (n == 0) {
      live--;
      g_free (p);
      return nullptr;
    }
    if (refuse)
      return nullptr;
    live++;
    last_size = n;
    return g_realloc (p, n);
  }
};

TEST (AtlvWrite, CustomAllocatorGetsOneExtraByteAndTheRelease)
{
  Bytes data = bytes_of (unhex ("30 03 02 01 05"));
  AtlvPtr tlv (atlv_new ());
  ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);

  Counting::live = 0;
  Bytes out (atlv_unparse_to_bytes (tlv.get (), Counting::alloc));
  ASSERT_NE (out, nullptr);
  EXPECT_EQ (Counting::last_size, 6u);
  EXPECT_EQ (g_bytes_get_size (out.get ()), 5u);
  EXPECT_EQ (Counting::live, 1);
  out.reset ();
  EXPECT_EQ (Counting::live, 0);

  Counting::refuse = true;
  LogCapture log;
  EXPECT_EQ (atlv_unparse_to_bytes (tlv.get (), Counting::alloc), nullptr);
  Counting::refuse = false;
  EXPECT_FALSE (log.problems ().empty ());
}

TEST (AtlvSort, SortedRecordsOrderChildrenByEncoding)
{
  // A sorted SET OF inside a SEQUENCE: only the marked record is reordered.
  Bytes data = bytes_of (unhex ("30 10 31 06 02 01 02 02 01 01 30 06 02 01 09 02 01 03"));
  AtlvPtr tlv (atlv_new ());
  ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);
  tlv->child->sorted = 1;
  atlv_sort_perform (tlv.get (), nullptr);
  Bytes out (atlv_unparse_to_bytes (tlv.get (), nullptr));
  EXPECT_EQ (hex (out.get ()), "30 10 31 06 02 01 01 02 01 02 30 06 02 01 09 02 01 03");
  EXPECT_EQ (tlv->child->child->next->next, nullptr);
}

TEST (AtlvSort, ShorterPrefixComesFirst)
{
  Bytes data = bytes_of (unhex ("31 07 04 02 41 41 04 01 41"));
  AtlvPtr tlv (atlv_new ());
  ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);
  tlv->sorted = 1;
  atlv_sort_perform (tlv.get (), nullptr);
  Bytes out (atlv_unparse_to_bytes (tlv.get (), nullptr));
  EXPECT_EQ (hex (out.get ()), "31 07 04 01 41 04 02 41 41");
}

TEST (AtlvDup, CopiesChildrenAndSiblingsOnRequest)
{
  Bytes data = bytes_of (unhex ("30 06 02 01 01 02 01 02"));
  AtlvPtr tlv (atlv_new ());
  ASSERT_EQ (atlv_parse_der (data.get (), tlv.get ()), nullptr);

  AtlvPtr one (atlv_dup (tlv->child, FALSE));
  EXPECT_EQ (one->next, nullptr);
  EXPECT_EQ (one->value, tlv->child->value); // shares the view
  AtlvPtr both (atlv_dup (tlv->child, TRUE));
  ASSERT_NE (both->next, nullptr);
  EXPECT_EQ (hex (both->next->value), "02");
  AtlvPtr whole (atlv_dup (tlv.get (), FALSE));
  EXPECT_EQ (count_children (whole.get ()), 2);
  EXPECT_NE (whole->child, tlv->child);
  EXPECT_EQ (atlv_dup (nullptr, TRUE), nullptr);
}

struct ElementCase {
  const char *input;
  glong length;   // -1 for refused
  int content_at; // offset of the content
};

const ElementCase element_cases[] = {
  {"30 03 02 01 05", 5, 2},
  {"04 00", 2, 2},
  {"04 81 01 AA FF", 4, 3},  // trailing bytes after the element are not its concern
  {"30 80 02 01 05 00 00", -1, 0},
  {"30 05 02 01", -1, 0},    // content runs past the bytes held
  {"30", -1, 0},
};

TEST (AtlvElement, LengthAndContent)
{
  for (const auto &c : element_cases) {
    SCOPED_TRACE (c.input);
    std::string input = unhex (c.input);
    auto *data = reinterpret_cast<const guchar *> (input.data ());
    EXPECT_EQ (tesk_asn1x_element_length (data, input.size ()), c.length);
    gsize n_content = 12345;
    gconstpointer content = tesk_asn1x_element_content (data, input.size (), &n_content);
    if (c.length < 0) {
      EXPECT_EQ (content, nullptr);
    } else {
      EXPECT_EQ (content, data + c.content_at);
      EXPECT_EQ (n_content, static_cast<gsize> (c.length - c.content_at));
    }
  }
}

TEST (AtlvElement, ContentNeedsItsArguments)
{
  guchar data[] = {0x04, 0x00};
  gsize n = 0;
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_element_content (nullptr, 2, &n), nullptr);
  EXPECT_EQ (tesk_asn1x_element_content (data, 2, nullptr), nullptr);
  EXPECT_EQ (log.problems (),
             (std::vector<std::string>{
               assertion ("tesk_asn1x_element_content", "data != NULL"),
               assertion ("tesk_asn1x_element_content", "n_content != NULL")}));
}

}  // namespace
