#include "common.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};

}  // namespace

krb5_pa_data *make_pa(const char *contents, std::size_t len) {
  // The host releases elements with free(), so they come from malloc.
  std::unique_ptr<krb5_pa_data, FreeDeleter> pa(
      static_cast<krb5_pa_data *>(std::calloc(1, sizeof(krb5_pa_data))));
  if (!pa) return nullptr;
  std::unique_ptr<krb5_octet, FreeDeleter> copy(
      static_cast<krb5_octet *>(std::malloc(len > 0 ? len : 1)));
  if (!copy) return nullptr;
  if (len > 0) std::memcpy(copy.get(), contents, len);
  pa->magic = KV5M_PA_DATA;
  pa->pa_type = TEST_PA_TYPE;
  pa->length = static_cast<unsigned int>(len);
  pa->contents = copy.release();
  return pa.release();
}

krb5_pa_data **make_pa_list(const char *contents, std::size_t len) {
  std::unique_ptr<krb5_pa_data *, FreeDeleter> list(
      static_cast<krb5_pa_data **>(std::calloc(2, sizeof(krb5_pa_data *))));
  if (!list) return nullptr;
  list.get()[0] = make_pa(contents, len);
  if (!list.get()[0]) return nullptr;
  return list.release();
}

void PaDataDeleter::operator()(krb5_pa_data *pa) const {
  if (!pa) return;
  std::free(pa->contents);
  std::free(pa);
}

void PaListDeleter::operator()(krb5_pa_data **list) const {
  if (!list) return;
  for (krb5_pa_data **pa = list; *pa; ++pa) PaDataDeleter()(*pa);
  std::free(list);
}
