#include "modechange.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "xalloc.h"

namespace {

constexpr mode_t all_mode_bits = S_ISUID | S_ISGID | S_ISVTX | S_IRWXU | S_IRWXG | S_IRWXO;
constexpr mode_t set_id_bits = S_ISUID | S_ISGID;
constexpr mode_t read_bits = S_IRUSR | S_IRGRP | S_IROTH;
constexpr mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t exec_bits = S_IXUSR | S_IXGRP | S_IXOTH;

constexpr mode_t user_bits = S_ISUID | S_IRWXU;
constexpr mode_t group_bits = S_ISGID | S_IRWXG;
constexpr mode_t other_bits = S_ISVTX | S_IRWXO;

constexpr bool
is_octal_digit(char c)
{
  return '0' <= c && c <= '7';
}

constexpr bool
is_operator(char c)
{
  return c == '=' || c == '+' || c == '-';
}

// Reads the octal digits at *P into *VALUE, advancing *P; false when the
// number exceeds all_mode_bits.
bool
read_octal(const char **p, mode_t *value)
{
  mode_t octal = 0;
  const char *s = *p;
  do
    {
      octal = 8 * octal + (*s++ - '0');
      if (octal > all_mode_bits)
        return false;
    }
  while (is_octal_digit(*s));
  *p = s;
  *value = octal;
  return true;
}

}  // namespace

struct mode_edit *
mode_compile(const char *mode_string)
{
  if (is_octal_digit(*mode_string))
    {
      const char *p = mode_string;
      mode_t octal;
      if (!read_octal(&p, &octal) || *p)
        return nullptr;
      // A short number leaves the set-user-ID and set-group-ID bits of a
      // directory alone unless it sets them; five digits or more state
      // every bit.
      mode_t mentioned = p - mode_string < 5
                           ? (octal & set_id_bits) | S_ISVTX | S_IRWXU | S_IRWXG | S_IRWXO
                           : all_mode_bits;
      auto *edits = static_cast<mode_edit *>(xnmalloc(2, sizeof(mode_edit)));
      edits[0] = {'=', edit_ordinary, all_mode_bits, octal, mentioned};
      edits[1] = {'\0', edit_end, 0, 0, 0};
      return edits;
    }

  size_t needed = 1;
  for (const char *p = mode_string; *p; p++)
    needed += is_operator(*p);
  auto *edits = static_cast<mode_edit *>(xnmalloc(needed, sizeof(mode_edit)));
  size_t used = 0;

  const char *p = mode_string;
  for (;;)
    {
      mode_t affected = 0;
      for (; !is_operator(*p); p++)
        {
          switch (*p)
            {
            case 'u': affected |= user_bits; break;
            case 'g': affected |= group_bits; break;
            case 'o': affected |= other_bits; break;
            case 'a': affected |= all_mode_bits; break;
            default: goto invalid;
            }
        }

      do
        {
          char op = *p++;
          mode_t value = 0;
          mode_t mentioned = 0;
          char flag = edit_ordinary;

          if (is_octal_digit(*p))
            {
              if (affected || !read_octal(&p, &value) || (*p && *p != ','))
                goto invalid;
              affected = mentioned = all_mode_bits;
            }
          else if (*p == 'u' || *p == 'g' || *p == 'o')
            {
              value = *p == 'u' ? S_IRWXU : *p == 'g' ? S_IRWXG : S_IRWXO;
              flag = edit_copy_existing;
              p++;
            }
          else
            {
              for (;; p++)
                {
                  switch (*p)
                    {
                    case 'r': value |= read_bits; continue;
                    case 'w': value |= write_bits; continue;
                    case 'x': value |= exec_bits; continue;
                    case 'X': flag = edit_x_if_any_x; continue;
                    case 's': value |= set_id_bits; continue;
                    case 't': value |= S_ISVTX; continue;
                    default: break;
                    }
                  break;
                }
            }

          if (!mentioned)
            mentioned = affected ? affected & value : value;
          edits[used++] = {op, flag, affected, value, mentioned};
        }
      while (is_operator(*p));

      if (*p == ',')
        p++;
      else if (*p == '\0')
        break;
      else
        goto invalid;
    }

  edits[used] = {'\0', edit_end, 0, 0, 0};
  return edits;

invalid:
  free(edits);
  return nullptr;
}

mode_t
mode_adjust(mode_t oldmode, bool dir, mode_t umask_value,
            const struct mode_edit *edits, mode_t *mode_bits)
{
  mode_t newmode = oldmode & all_mode_bits;
  mode_t touched = 0;

  for (; edits->flag != edit_end; edits++)
    {
      mode_t affected = edits->affected;
      mode_t omit = (dir ? set_id_bits : 0) & ~edits->mentioned;
      mode_t value = edits->value;

      switch (edits->flag)
        {
        case edit_copy_existing:
          value &= newmode;
          value = ((value & read_bits) ? read_bits : 0)
                  | ((value & write_bits) ? write_bits : 0)
                  | ((value & exec_bits) ? exec_bits : 0);
          break;
        case edit_x_if_any_x:
          if ((newmode & exec_bits) || dir)
            value |= exec_bits;
          break;
        default:
          break;
        }

      value &= (affected ? affected : ~umask_value) & ~omit;

      switch (edits->op)
        {
        case '=':
          {
            mode_t preserved = (affected ? ~affected : 0) | omit;
            touched |= all_mode_bits & ~preserved;
            newmode = (newmode & preserved) | value;
            break;
          }
        case '+':
          touched |= value;
          newmode |= value;
          break;
        case '-':
          touched |= value;
          newmode &= ~value;
          break;
        default:
          break;
        }
    }

  if (mode_bits)
    *mode_bits = touched;
  return newmode;
}
