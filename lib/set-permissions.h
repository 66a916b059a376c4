// Setting the permission bits of a file in a way that respects access
// control lists: a file that inherited extended entries from its
// directory's default ACL gets a minimal ACL equal to the wanted bits, and
// file systems without ACLs get a plain mode change.
#pragma once

#include <sys/acl.h>
#include <sys/types.h>

struct permission_context {
  mode_t ctx_mode = 0;          // the wanted mode, file type bits included when known
  acl_t access_acl = nullptr;   // access ACL to apply, or none
  acl_t default_acl = nullptr;  // default ACL for a directory, or none
  bool acls_unsupported = false;
};

// Releases both ACLs of the context.
void free_permission_context(permission_context *ctx);

// Applies the context's mode and ACLs to the open descriptor desc, or to
// name when desc is -1. Returns 0, or -1 with errno.
int set_permissions(permission_context *ctx, const char *name, int desc);

// One step of set_permissions: with from_mode, builds the access ACL from
// the mode first. *acls_set tells whether an ACL was applied.
int set_acls(permission_context *ctx, const char *name, int desc, bool from_mode,
             bool *acls_set);

// Gives the file the mode as a minimal ACL (or plain bits); silent.
int qset_acl(const char *name, int desc, mode_t mode);
// The same, reporting a failure as "setting permissions for NAME".
int set_acl(const char *name, int desc, mode_t mode);

// fchmod when desc is not -1, else chmod of name.
int chmod_or_fchmod(const char *name, int desc, mode_t mode);

// False for the errors that mean the file system has no ACLs.
bool acl_errno_valid(int err);
// 1 when the access ACL has entries beyond owner, group and other; 0 when
// not; -1 when an entry's tag cannot be read.
int acl_access_nontrivial(acl_t acl);
// True when the default ACL has any entry at all.
bool acl_default_nontrivial(acl_t acl);
