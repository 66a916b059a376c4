#include "sero-private.h"

#include "sero-pem.h"

namespace sero::pem {

namespace {

constexpr std::string_view begin_mark = "-----BEGIN ";
constexpr std::string_view end_mark = "-----END ";
constexpr std::string_view dashes = "-----";

bool
is_space (char ch)
{
  return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

bool
is_base64 (char ch)
{
  return g_ascii_isalnum (ch) || ch == '+' || ch == '/';
}

// Decodes the body, skipping RFC 1421 header lines ("Name: value") that
// end at an empty line. Strict: only the base64 alphabet, whitespace and
// trailing padding.
bool
decode_body (std::string_view body, std::string &out, std::string &problem)
{
  if (body.find (':') != std::string_view::npos) {
    auto blank = body.find ("\n\n");
    auto blank_crlf = body.find ("\r\n\r\n");
    if (blank_crlf != std::string_view::npos && (blank == std::string_view::npos || blank_crlf < blank))
      body.remove_prefix (blank_crlf + 4);
    else if (blank != std::string_view::npos)
      body.remove_prefix (blank + 2);
    else {
      problem = "header lines without the blank line that ends them";
      return false;
    }
  }

  std::string text;
  size_t padding = 0;
  for (char ch : body) {
    if (is_space (ch))
      continue;
    if (ch == '=') {
      padding++;
    } else if (is_base64 (ch) && padding == 0) {
      text += ch;
      continue;
    } else {
      problem = "characters that are not base64 text";
      return false;
    }
    text += ch;
  }
  if (text.empty () || text.size () % 4 != 0 || padding > 2) {
    problem = "base64 text of the wrong length";
    return false;
  }

  gsize n_decoded = 0;
  guchar *decoded = g_base64_decode (text.c_str (), &n_decoded);
  out.assign (reinterpret_cast<const char *> (decoded), n_decoded);
  g_free (decoded);
  return true;
}

}  // namespace

bool
looks_like_pem (std::string_view text)
{
  return text.find (begin_mark) != std::string_view::npos;
}

std::vector<Block>
blocks (std::string_view text)
{
  std::vector<Block> found;
  size_t pos = 0;
  for (;;) {
    const size_t begin = text.find (begin_mark, pos);
    if (begin == std::string_view::npos)
      break;
    const size_t label_start = begin + begin_mark.size ();
    const size_t label_end = text.find (dashes, label_start);
    const size_t line_end = text.find ('\n', label_start);
    if (label_end == std::string_view::npos || (line_end != std::string_view::npos && line_end < label_end)) {
      pos = label_start;
      continue;
    }

    Block block;
    block.label = std::string (text.substr (label_start, label_end - label_start));
    const size_t body_start = label_end + dashes.size ();
    const std::string end_line = std::string (end_mark) + block.label + std::string (dashes);
    const size_t end = text.find (end_line, body_start);
    if (end == std::string_view::npos) {
      block.damaged = true;
      block.problem = "no end line";
      found.push_back (std::move (block));
      break;
    }
    if (!decode_body (text.substr (body_start, end - body_start), block.contents, block.problem)) {
      block.damaged = true;
      block.contents.clear ();
    }
    found.push_back (std::move (block));
    pos = end + end_line.size ();
  }
  return found;
}

}  // namespace sero::pem
