#include "quotearg.h"

#include <ctype.h>
#include <errno.h>
#include <langinfo.h>
#include <libintl.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <wchar.h>
#include <wctype.h>

#include <string_view>

#include "xalloc.h"

const char *const quoting_style_args[] = {
    "literal", "shell",  "shell-always", "shell-escape", "shell-escape-always",
    "c",       "c-maybe", "escape",      "locale",       "clocale",
    nullptr,
};

const enum quoting_style quoting_style_vals[] = {
    literal_quoting_style,      shell_quoting_style,  shell_always_quoting_style,
    shell_escape_quoting_style, shell_escape_always_quoting_style,
    c_quoting_style,            c_maybe_quoting_style, escape_quoting_style,
    locale_quoting_style,       clocale_quoting_style,
};

struct quote_settings default_quoting_options = {};
struct quote_settings quote_quoting_options = {locale_quoting_style, 0, {}, nullptr, nullptr};

namespace {

constexpr unsigned int word_bits = sizeof(unsigned int) * CHAR_BIT;

quote_settings &settings_or_default(struct quote_settings *o) {
  return o != nullptr ? *o : default_quoting_options;
}

bool extra_char(const unsigned int *extra, unsigned char c) {
  return extra != nullptr && ((extra[c / word_bits] >> (c % word_bits)) & 1) != 0;
}

// The opening (MSGID "`") or closing (MSGID "'") quotation mark of the
// locale styles: a translation when the catalogue has one, otherwise the
// marks of the locale's character set.
const char *locale_quote(const char *msgid, quoting_style style) {
  const char *translation = gettext(msgid);
  if (translation != msgid) return translation;

  const char *codeset = nl_langinfo(CODESET);
  if (*codeset == '\0') codeset = "ASCII";
  const bool opening = msgid[0] == '`';
  if (strcasecmp(codeset, "UTF-8") == 0) return opening ? "\xe2\x80\x98" : "\xe2\x80\x99";
  if (strcasecmp(codeset, "GB18030") == 0) return opening ? "\xa1\xae" : "\xa1\xaf";
  return style == clocale_quoting_style ? "\"" : "'";
}

// Where the output goes: writes what fits, counts everything.
struct Sink {
  char *buffer;
  size_t size;
  size_t len = 0;
  // False while a shell-family pass only measures (see Engine::run).
  bool writing = true;

  void put(char c) {
    if (writing && len < size) buffer[len] = c;
    ++len;
  }
  void put(std::string_view s) {
    for (char c : s) put(c);
  }
};

// What a pass ended with.
enum class Outcome {
  done,     // the result is in the sink
  restart,  // the argument needs its outer quotes after all
  as_c,     // a shell result is better shown in the c style
  rewrite,  // the measuring pass is over; write for real
};

// One run of the quoting engine over the whole argument with fixed
// settings. The style is one of the internal ones: the shell family is
// represented by shell_always_quoting_style, c_maybe by c_quoting_style.
class Engine {
 public:
  Engine(Sink &out, std::string_view arg, quoting_style style, int flags,
         const unsigned int *extra, const char *left_quote, const char *right_quote,
         bool measure_first)
      : out_(out), arg_(arg), style_(style), flags_(flags), extra_(extra),
        left_quote_(left_quote), right_quote_(right_quote), measure_first_(measure_first) {}

  Outcome run();

  // The style a restart continues in.
  quoting_style restart_style() const {
    return shell_ && backslash_escapes_ ? shell_escape_always_quoting_style : internal_style_;
  }

 private:
  bool start_escape();
  void end_escape();
  bool store_byte(unsigned char c, bool compatible);

  Sink &out_;
  std::string_view arg_;
  quoting_style style_;
  int flags_;
  const unsigned int *extra_;
  const char *left_quote_;
  const char *right_quote_;
  bool measure_first_;

  quoting_style internal_style_ = literal_quoting_style;
  bool shell_ = false;
  bool backslash_escapes_ = false;
  bool omit_ = false;
  std::string_view closing_;

  bool escaping_ = false;           // the current byte is part of an escape
  bool pending_dollar_end_ = false; // a $'...' is open
  bool all_compatible_ = true;      // every byte reads the same in "..." and '...'
  bool single_quote_seen_ = false;
};

// Begins an escape: false when that needs the outer quotes (restart).
bool Engine::start_escape() {
  if (omit_) return false;
  escaping_ = true;
  if (shell_ && !pending_dollar_end_) {
    out_.put("'$'");
    pending_dollar_end_ = true;
  }
  out_.put('\\');
  return true;
}

// Before a plain byte, closes an open $'...'.
void Engine::end_escape() {
  if (pending_dollar_end_ && !escaping_) {
    out_.put("''");
    pending_dollar_end_ = false;
  }
}

bool Engine::store_byte(unsigned char c, bool compatible) {
  end_escape();
  out_.put(static_cast<char>(c));
  if (!compatible) all_compatible_ = false;
  return true;
}

Outcome Engine::run() {
  omit_ = (flags_ & omit_outer_quotes) != 0;
  switch (style_) {
    case shell_escape_quoting_style:
      backslash_escapes_ = true;
      omit_ = true;
      shell_ = true;
      break;
    case shell_quoting_style:
      omit_ = true;
      shell_ = true;
      break;
    case shell_escape_always_quoting_style:
      backslash_escapes_ = !omit_;
      shell_ = true;
      break;
    case shell_always_quoting_style:
      shell_ = true;
      break;
    case c_maybe_quoting_style:
      omit_ = true;
      internal_style_ = c_quoting_style;
      backslash_escapes_ = true;
      closing_ = "\"";
      break;
    case c_quoting_style:
      internal_style_ = c_quoting_style;
      backslash_escapes_ = true;
      if (!omit_) out_.put('"');
      closing_ = "\"";
      break;
    case escape_quoting_style:
      internal_style_ = escape_quoting_style;
      backslash_escapes_ = true;
      omit_ = false;
      break;
    case locale_quoting_style:
    case clocale_quoting_style:
    case custom_quoting_style: {
      const char *left = left_quote_;
      const char *right = right_quote_;
      if (style_ != custom_quoting_style) {
        left = locale_quote("`", style_);
        right = locale_quote("'", style_);
      }
      internal_style_ = style_;
      backslash_escapes_ = true;
      if (!omit_) out_.put(left);
      closing_ = right;
      break;
    }
    case literal_quoting_style:
      internal_style_ = literal_quoting_style;
      omit_ = false;
      break;
    default:
      abort();
  }
  if (shell_) {
    internal_style_ = shell_always_quoting_style;
    if (!omit_) out_.put('\'');
    closing_ = "'";
  }

  const size_t n = arg_.size();
  for (size_t i = 0; i < n; ++i) {
    escaping_ = false;
    bool compatible = false;
    bool at_closing = false;
    unsigned char c = static_cast<unsigned char>(arg_[i]);
    unsigned char esc = 0;

    if (!shell_ && backslash_escapes_ && !closing_.empty() && arg_[i] == closing_[0] &&
        arg_.substr(i).starts_with(closing_)) {
      if (omit_) return Outcome::restart;
      at_closing = true;
    }

    // Each case either finishes the byte itself (continue), sends it to
    // the final test (break), or needs the outer quotes (restart).
    switch (c) {
      case '\0':
        if (backslash_escapes_) {
          if (!start_escape()) return Outcome::restart;
          if (!shell_ && i + 1 < n && arg_[i + 1] >= '0' && arg_[i + 1] <= '9') {
            out_.put('0');
            out_.put('0');
          }
          c = '0';
        } else if (flags_ & drop_null_bytes) {
          continue;
        }
        break;

      case '?':
        if (shell_) {
          if (omit_) return Outcome::restart;
        } else if (internal_style_ == c_quoting_style && (flags_ & break_trigraphs) &&
                   i + 2 < n && arg_[i + 1] == '?') {
          switch (arg_[i + 2]) {
            case '!': case '\'': case '(': case ')': case '-': case '/':
            case '<': case '=': case '>':
              c = static_cast<unsigned char>(arg_[i + 2]);
              i += 2;
              out_.put("?\"\"?");
              break;
            default:
              break;
          }
        }
        break;

      case '\a': esc = 'a'; goto c_escape;
      case '\b': esc = 'b'; goto c_escape;
      case '\f': esc = 'f'; goto c_escape;
      case '\n': esc = 'n'; goto c_and_shell_escape;
      case '\r': esc = 'r'; goto c_and_shell_escape;
      case '\t': esc = 't'; goto c_and_shell_escape;
      case '\v': esc = 'v'; goto c_escape;

      case '\\':
        esc = c;
        if (shell_) {
          if (omit_) return Outcome::restart;
          store_byte(c, compatible);
          continue;
        }
        if (backslash_escapes_ && omit_ && !closing_.empty()) {
          store_byte(c, compatible);
          continue;
        }
        goto c_escape;

      c_and_shell_escape:
        if (shell_ && omit_) return Outcome::restart;
      c_escape:
        if (backslash_escapes_) {
          if (!start_escape()) return Outcome::restart;
          store_byte(esc, compatible);
          continue;
        }
        break;

      case '{': case '}':
        // Special only as a whole word.
        if (n != 1) break;
        [[fallthrough]];
      case '#': case '~':
        // Special only at the start of a word.
        if (i != 0) break;
        [[fallthrough]];
      case ' ':
        compatible = true;
        [[fallthrough]];
      case '!': case '"': case '$': case '&': case '(': case ')': case '*':
      case ';': case '<': case '=': case '>': case '[': case '^': case '`': case '|':
        // Characters a shell would act on.
        if (shell_ && omit_) return Outcome::restart;
        break;

      case '\'':
        single_quote_seen_ = true;
        compatible = true;
        if (shell_) {
          if (omit_) return Outcome::restart;
          // The result may be shown in the c style instead; until that is
          // known, only measure.
          if (measure_first_) out_.writing = false;
          out_.put("'\\'");
          pending_dollar_end_ = false;
        }
        break;

      case '%': case '+': case ',': case '-': case '.': case '/':
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7':
      case '8': case '9': case ':':
      case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G': case 'H':
      case 'I': case 'J': case 'K': case 'L': case 'M': case 'N': case 'O': case 'P':
      case 'Q': case 'R': case 'S': case 'T': case 'U': case 'V': case 'W': case 'X':
      case 'Y': case 'Z': case ']': case '_':
      case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g': case 'h':
      case 'i': case 'j': case 'k': case 'l': case 'm': case 'n': case 'o': case 'p':
      case 'q': case 'r': case 's': case 't': case 'u': case 'v': case 'w': case 'x':
      case 'y': case 'z':
        compatible = true;
        break;

      default: {
        // The start of a character, possibly of several bytes.
        size_t m;
        bool printable;
        if (MB_CUR_MAX == 1) {
          m = 1;
          printable = isprint(c) != 0;
        } else {
          mbstate_t state = {};
          m = 0;
          printable = true;
          for (;;) {
            wchar_t w;
            size_t bytes = mbrtowc(&w, arg_.data() + i + m, n - (i + m), &state);
            if (bytes == 0) break;
            if (bytes == static_cast<size_t>(-1)) {
              // An invalid sequence: one unprintable byte.
              printable = false;
              if (m == 0) m = 1;
              break;
            }
            if (bytes == static_cast<size_t>(-2)) {
              // Cut off by the end of the argument: the rest is one run.
              printable = false;
              m = n - i;
              break;
            }
            if (shell_ && omit_) {
              // Some shells read later bytes of a character on their own.
              for (size_t j = 1; j < bytes; ++j) {
                switch (arg_[i + m + j]) {
                  case '[': case '\\': case '^': case '`': case '|':
                    return Outcome::restart;
                  default:
                    break;
                }
              }
            }
            if (!iswprint(static_cast<wint_t>(w))) printable = false;
            m += bytes;
            if (mbsinit(&state)) break;
          }
          if (m == 0) m = 1;
        }
        compatible = printable;

        if (m > 1 || (backslash_escapes_ && !printable)) {
          // Write the character byte by byte, escaping unprintable bytes.
          const size_t last = i + m - 1;
          for (;;) {
            if (backslash_escapes_ && !printable) {
              if (!start_escape()) return Outcome::restart;
              out_.put(static_cast<char>('0' + (c >> 6)));
              out_.put(static_cast<char>('0' + ((c >> 3) & 7)));
              c = static_cast<unsigned char>('0' + (c & 7));
            } else if (at_closing) {
              out_.put('\\');
              at_closing = false;
            }
            if (i >= last) break;
            end_escape();
            out_.put(static_cast<char>(c));
            c = static_cast<unsigned char>(arg_[++i]);
          }
          store_byte(c, compatible);
          continue;
        }
        break;
      }
    }

    // The final test: bytes the caller wants escaped, and the closing mark.
    if ((((backslash_escapes_ && !shell_) || omit_) && extra_char(extra_, c)) || at_closing) {
      if (!start_escape()) return Outcome::restart;
    }
    store_byte(c, compatible);
  }

  if (out_.len == 0 && shell_ && omit_) return Outcome::restart;

  if (shell_ && !omit_ && single_quote_seen_) {
    if (all_compatible_) return Outcome::as_c;
    if (!out_.writing) return Outcome::rewrite;
  }

  if (!omit_) out_.put(closing_);
  if (out_.len < out_.size) out_.buffer[out_.len] = '\0';
  return Outcome::done;
}

// The quoting engine: quotes ARG into BUFFER, returns the full length.
size_t quote_into(char *buffer, size_t size, std::string_view arg, quoting_style style,
                  int flags, const unsigned int *extra, const char *left_quote,
                  const char *right_quote) {
  bool measure_first = true;
  for (;;) {
    Sink out{buffer, size};
    Engine engine(out, arg, style, flags, extra, left_quote, right_quote, measure_first);
    switch (engine.run()) {
      case Outcome::done:
        return out.len;
      case Outcome::restart:
        style = engine.restart_style();
        flags &= ~omit_outer_quotes;
        extra = nullptr;
        break;
      case Outcome::as_c:
        style = c_quoting_style;
        break;
      case Outcome::rewrite:
        measure_first = false;
        break;
    }
  }
}

std::string_view argument(const char *arg, size_t argsize) {
  return argsize == SIZE_MAX ? std::string_view(arg) : std::string_view(arg, argsize);
}

size_t quote_with(char *buffer, size_t size, const char *arg, size_t argsize,
                  const quote_settings &o, int extra_flags = 0) {
  return quote_into(buffer, size, argument(arg, argsize), static_cast<quoting_style>(o.style),
                    o.flags | extra_flags, o.extra_chars, o.left_quote, o.right_quote);
}

// The slots: buffer sizes and buffers; slot 0 starts in static storage.
struct Slot {
  size_t size;
  char *val;
};
static_assert(sizeof(Slot) == 16);

char slot0[256];
Slot slotvec0 = {sizeof slot0, slot0};
Slot *slotvec = &slotvec0;
int nslots = 1;

char *quote_into_slot(int n, const char *arg, size_t argsize, const quote_settings &o) {
  const int saved_errno = errno;

  if (n < 0 || n == INT_MAX) abort();

  if (nslots <= n) {
    const bool was_static = slotvec == &slotvec0;
    // Count from zero for the static vector: the new one gets a copy of it.
    idx_t count = was_static ? 0 : nslots;
    void *grown = xpalloc(was_static ? nullptr : slotvec, &count, n + 1 - count, INT_MAX,
                          sizeof(Slot));
    slotvec = static_cast<Slot *>(grown);
    if (was_static) slotvec[0] = slotvec0;
    const idx_t first_new = was_static ? 1 : nslots;
    memset(slotvec + first_new, 0, static_cast<size_t>(count - first_new) * sizeof(Slot));
    nslots = static_cast<int>(count);
  }

  Slot &slot = slotvec[n];
  size_t needed = quote_with(slot.val, slot.size, arg, argsize, o, drop_null_bytes);
  if (slot.size <= needed) {
    slot.size = needed + 1;
    if (slot.val != slot0) free(slot.val);
    slot.val = xcharalloc(slot.size);
    quote_with(slot.val, slot.size, arg, argsize, o, drop_null_bytes);
  }

  errno = saved_errno;
  return slot.val;
}

quote_settings style_settings(quoting_style s) {
  if (s == custom_quoting_style) abort();
  quote_settings o = {};
  o.style = s;
  return o;
}

quote_settings custom_settings(const char *left_quote, const char *right_quote) {
  quote_settings o = default_quoting_options;
  set_custom_quoting(&o, left_quote, right_quote);
  return o;
}

quote_settings char_settings(char ch) {
  quote_settings o = default_quoting_options;
  set_char_quoting(&o, ch, 1);
  return o;
}

}  // namespace

struct quote_settings *clone_quoting_options(const struct quote_settings *o) {
  const int saved_errno = errno;
  const quote_settings &from = o != nullptr ? *o : default_quoting_options;
  auto *copy = static_cast<quote_settings *>(xmemdup(&from, sizeof from));
  errno = saved_errno;
  return copy;
}

enum quoting_style get_quoting_style(const struct quote_settings *o) {
  return static_cast<quoting_style>((o != nullptr ? *o : default_quoting_options).style);
}

void set_quoting_style(struct quote_settings *o, enum quoting_style s) {
  settings_or_default(o).style = s;
}

int set_char_quoting(struct quote_settings *o, char c, int on) {
  const unsigned char uc = static_cast<unsigned char>(c);
  unsigned int &word = settings_or_default(o).extra_chars[uc / word_bits];
  const unsigned int shift = uc % word_bits;
  const int old = (word >> shift) & 1;
  word ^= static_cast<unsigned int>((on & 1) ^ old) << shift;
  return old;
}

int set_quoting_flags(struct quote_settings *o, int flags) {
  quote_settings &s = settings_or_default(o);
  const int old = s.flags;
  s.flags = flags;
  return old;
}

void set_custom_quoting(struct quote_settings *o, const char *left_quote,
                        const char *right_quote) {
  if (left_quote == nullptr || right_quote == nullptr) abort();
  quote_settings &s = settings_or_default(o);
  s.style = custom_quoting_style;
  s.left_quote = left_quote;
  s.right_quote = right_quote;
}

size_t quotearg_buffer(char *buffer, size_t buffersize, const char *arg, size_t argsize,
                       const struct quote_settings *o) {
  const int saved_errno = errno;
  size_t len = quote_with(buffer, buffersize, arg, argsize,
                          o != nullptr ? *o : default_quoting_options);
  errno = saved_errno;
  return len;
}

char *quotearg_alloc(const char *arg, size_t argsize, const struct quote_settings *o) {
  return quotearg_alloc_mem(arg, argsize, nullptr, o);
}

char *quotearg_alloc_mem(const char *arg, size_t argsize, size_t *size,
                         const struct quote_settings *o) {
  const int saved_errno = errno;
  const quote_settings &s = o != nullptr ? *o : default_quoting_options;
  // Without a length to hand back, null bytes could not be told apart from
  // the terminator: leave them out.
  const int extra_flags = size == nullptr ? drop_null_bytes : 0;
  const size_t len = quote_with(nullptr, 0, arg, argsize, s, extra_flags);
  char *buffer = xcharalloc(len + 1);
  quote_with(buffer, len + 1, arg, argsize, s, extra_flags);
  errno = saved_errno;
  if (size != nullptr) *size = len;
  return buffer;
}

void quotearg_free(void) {
  for (int i = 1; i < nslots; ++i) free(slotvec[i].val);
  if (slotvec[0].val != slot0) free(slotvec[0].val);
  if (slotvec != &slotvec0) free(slotvec);
  slotvec0 = {sizeof slot0, slot0};
  slotvec = &slotvec0;
  nslots = 1;
}

char *quotearg_n(int n, const char *arg) {
  return quote_into_slot(n, arg, SIZE_MAX, default_quoting_options);
}

char *quotearg_n_mem(int n, const char *arg, size_t argsize) {
  return quote_into_slot(n, arg, argsize, default_quoting_options);
}

char *quotearg(const char *arg) { return quotearg_n(0, arg); }

char *quotearg_mem(const char *arg, size_t argsize) { return quotearg_n_mem(0, arg, argsize); }

char *quotearg_n_style(int n, enum quoting_style s, const char *arg) {
  return quote_into_slot(n, arg, SIZE_MAX, style_settings(s));
}

char *quotearg_n_style_mem(int n, enum quoting_style s, const char *arg, size_t argsize) {
  return quote_into_slot(n, arg, argsize, style_settings(s));
}

char *quotearg_style(enum quoting_style s, const char *arg) {
  return quotearg_n_style(0, s, arg);
}

char *quotearg_style_mem(enum quoting_style s, const char *arg, size_t argsize) {
  return quotearg_n_style_mem(0, s, arg, argsize);
}

char *quotearg_n_style_colon(int n, enum quoting_style s, const char *arg) {
  quote_settings o = style_settings(s);
  set_char_quoting(&o, ':', 1);
  return quote_into_slot(n, arg, SIZE_MAX, o);
}

char *quotearg_char_mem(const char *arg, size_t argsize, char ch) {
  return quote_into_slot(0, arg, argsize, char_settings(ch));
}

char *quotearg_char(const char *arg, char ch) { return quotearg_char_mem(arg, SIZE_MAX, ch); }

char *quotearg_colon(const char *arg) { return quotearg_char(arg, ':'); }

char *quotearg_colon_mem(const char *arg, size_t argsize) {
  return quotearg_char_mem(arg, argsize, ':');
}

char *quotearg_n_custom(int n, const char *left_quote, const char *right_quote,
                        const char *arg) {
  return quotearg_n_custom_mem(n, left_quote, right_quote, arg, SIZE_MAX);
}

char *quotearg_n_custom_mem(int n, const char *left_quote, const char *right_quote,
                            const char *arg, size_t argsize) {
  return quote_into_slot(n, arg, argsize, custom_settings(left_quote, right_quote));
}

char *quotearg_custom(const char *left_quote, const char *right_quote, const char *arg) {
  return quotearg_n_custom(0, left_quote, right_quote, arg);
}

char *quotearg_custom_mem(const char *left_quote, const char *right_quote, const char *arg,
                          size_t argsize) {
  return quotearg_n_custom_mem(0, left_quote, right_quote, arg, argsize);
}

const char *quote_n_mem(int n, const char *arg, size_t argsize) {
  return quote_into_slot(n, arg, argsize, quote_quoting_options);
}

const char *quote_mem(const char *arg, size_t argsize) { return quote_n_mem(0, arg, argsize); }

const char *quote_n(int n, const char *arg) { return quote_n_mem(n, arg, SIZE_MAX); }

const char *quote(const char *arg) { return quote_n(0, arg); }
