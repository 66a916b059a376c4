// The pa-data format shared by the client and KDC halves of the test
// mechanism, and the two helpers that build elements of it.
#pragma once

#include <krb5/krb5.h>

#include <cstddef>

// The only pa-type either half offers or accepts.
inline constexpr krb5_preauthtype TEST_PA_TYPE = -123;
// Key usage of the method data encrypted in the reply key.
inline constexpr krb5_keyusage TEST_KEY_USAGE = 1024;

// Returns a new element of type TEST_PA_TYPE holding a copy of the
// contents (a block of at least one byte, also when len is 0), allocated
// so that the host can free it; null when memory is exhausted.
krb5_pa_data *make_pa(const char *contents, std::size_t len);

// Returns a new null-terminated two-slot list holding make_pa of the
// contents, for the host to free; null when memory is exhausted.
krb5_pa_data **make_pa_list(const char *contents, std::size_t len);

// Releases an element made by make_pa the way the host would.
struct PaDataDeleter {
  void operator()(krb5_pa_data *pa) const;
};
// Releases a list made by make_pa_list the way the host would.
struct PaListDeleter {
  void operator()(krb5_pa_data **list) const;
};
