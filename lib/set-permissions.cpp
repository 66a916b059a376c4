#include "set-permissions.h"

#include <acl/libacl.h>
#include <cerrno>
#include <sys/stat.h>

#include <error.h>
#include <libintl.h>
#include "quotearg.h"

void free_permission_context(permission_context *ctx)
{
  if (ctx->access_acl) {
    acl_free(ctx->access_acl);
    ctx->access_acl = nullptr;
  }
  if (ctx->default_acl) {
    acl_free(ctx->default_acl);
    ctx->default_acl = nullptr;
  }
}

bool acl_errno_valid(int err)
{
  switch (err) {
  case EBUSY:
  case EINVAL:
  case ENOSYS:
  case EOPNOTSUPP:
    return false;
  default:
    return true;
  }
}

int acl_access_nontrivial(acl_t acl)
{
  acl_entry_t entry;
  int got = acl_get_entry(acl, ACL_FIRST_ENTRY, &entry);
  for (; got > 0; got = acl_get_entry(acl, ACL_NEXT_ENTRY, &entry)) {
    acl_tag_t tag;
    if (acl_get_tag_type(entry, &tag) < 0)
      return -1;
    if (!(tag == ACL_USER_OBJ || tag == ACL_GROUP_OBJ || tag == ACL_OTHER))
      return 1;
  }
  return got;
}

bool acl_default_nontrivial(acl_t acl)
{
  return acl_entries(acl) > 0;
}

int chmod_or_fchmod(const char *name, int desc, mode_t mode)
{
  return desc != -1 ? fchmod(desc, mode) : chmod(name, mode);
}

int set_acls(permission_context *ctx, const char *name, int desc, bool from_mode,
             bool *acls_set)
{
  if (ctx->acls_unsupported)
    return 0;

  if (from_mode) {
    if (ctx->access_acl)
      acl_free(ctx->access_acl);
    ctx->access_acl = acl_from_mode(ctx->ctx_mode);
    if (!ctx->access_acl)
      return -1;
  } else if (!ctx->access_acl) {
    return 0;
  }

  int ret = desc != -1 ? acl_set_fd(desc, ctx->access_acl)
                       : acl_set_file(name, ACL_TYPE_ACCESS, ctx->access_acl);
  if (ret != 0) {
    if (acl_errno_valid(errno))
      return ret;
    ctx->acls_unsupported = true;
    if (from_mode || acl_access_nontrivial(ctx->access_acl) == 0)
      return 0;
    return ret;
  }

  *acls_set = true;
  if (S_ISDIR(ctx->ctx_mode)) {
    if (!from_mode && ctx->default_acl && acl_default_nontrivial(ctx->default_acl))
      return acl_set_file(name, ACL_TYPE_DEFAULT, ctx->default_acl);
    return acl_delete_def_file(name);
  }
  return 0;
}

int set_permissions(permission_context *ctx, const char *name, int desc)
{
  bool acls_set = false;
  bool early_chmod = (ctx->ctx_mode & (S_ISUID | S_ISGID | S_ISVTX)) != 0;
  int saved_errno = 0;
  int ret = 0;

  // Some systems clear the special bits when an ACL is set, others refuse
  // them in an ACL: set them through the mode first.
  if (early_chmod) {
    ret = chmod_or_fchmod(name, desc, ctx->ctx_mode & 07777);
    if (ret != 0)
      return -1;
  }

  ret = set_acls(ctx, name, desc, false, &acls_set);
  if (acls_set)
    return ret;
  if (ret != 0)
    saved_errno = errno;

  ret = set_acls(ctx, name, desc, true, &acls_set);
  if (acls_set) {
    if (saved_errno) {
      errno = saved_errno;
      return -1;
    }
    return ret;
  }

  if (early_chmod) {
    if (saved_errno) {
      errno = saved_errno;
      return -1;
    }
    return ret;
  }

  ret = chmod_or_fchmod(name, desc, ctx->ctx_mode & 07777);
  if (saved_errno) {
    errno = saved_errno;
    return -1;
  }
  return ret;
}

int qset_acl(const char *name, int desc, mode_t mode)
{
  permission_context ctx;
  ctx.ctx_mode = mode;
  int ret = set_permissions(&ctx, name, desc);
  int saved_errno = errno;
  free_permission_context(&ctx);
  errno = saved_errno;
  return ret;
}

int set_acl(const char *name, int desc, mode_t mode)
{
  int ret = qset_acl(name, desc, mode);
  if (ret != 0)
    error(0, errno, gettext("setting permissions for %s"), quote(name));
  return ret;
}
