// A throwaway Kerberos realm for the exchange tests: a database in a
// scratch directory, a KDC on a loopback port of its own with the test
// mechanism loaded from the build tree on both sides, and helpers that run
// the client programs against it.
#pragma once

#include "process.h"

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace preauthtest {

inline constexpr const char *REALM = "PREAUTH.TEST";

// The platform's Kerberos programs.
inline constexpr const char *KRB5KDC = "/usr/sbin/krb5kdc";
inline constexpr const char *KDB5_UTIL = "/usr/sbin/kdb5_util";
inline constexpr const char *KADMIN_LOCAL = "/usr/sbin/kadmin.local";
inline constexpr const char *KINIT = "/usr/bin/kinit";
inline constexpr const char *KLIST = "/usr/bin/klist";
inline constexpr const char *KVNO = "/usr/bin/kvno";

// A principal to create: its name, password (empty for random keys, or
// no keys at all with no_keys), flags such as "+requires_preauth" and
// string attributes.
struct NewPrincipal {
  std::string name;
  std::string password;
  std::vector<std::string> flags;
  std::map<std::string, std::string> strings;
  std::string enctypes;  // key/salt list for -e, empty for the default
  bool no_keys = false;
};

// The running KDC process; stopped (and reaped) on destruction.
class KdcProcess {
 public:
  KdcProcess() = default;
  ~KdcProcess();
  KdcProcess(const KdcProcess &) = delete;
  KdcProcess &operator=(const KdcProcess &) = delete;

  // Starts krb5kdc in the foreground with the given environment; its
  // standard output and error go to output_path.
  void start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
             const std::string &output_path);
  // True while the process has not exited.
  bool running();
  void stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

class KdcRealm {
 public:
  KdcRealm();
  ~KdcRealm();
  KdcRealm(const KdcRealm &) = delete;
  KdcRealm &operator=(const KdcRealm &) = delete;

  void add_principal(const NewPrincipal &principal);
  // Runs one kadmin.local query; throws when it fails.
  void kadmin(const std::string &query);

  // The environment that points the Kerberos programs at this realm.
  testsupport::RunOptions options(const std::string &stdin_data = "") const;
  // Runs a client program (kinit, klist, kvno or the test client) against
  // the realm.
  testsupport::Outcome run(const std::vector<std::string> &argv,
                           const std::string &stdin_data = "") const;
  // The pa-type the library recorded in the credential cache for the
  // mechanism that got the last ticket, or "" when there is none.
  std::string cached_pa_type() const;

  std::string kdc_log() const;
  std::string kdc_output() const;
  const std::string &dir() const { return dir_.path(); }
  pid_t kdc_pid() const { return kdc_.pid(); }
  // Writes a configuration file that is read before the realm's own, for
  // settings of one test (for example the requested encryption types).
  void set_client_overrides(const std::string &text);

 private:
  void write_config(int port);
  bool start_kdc(int port);

  testsupport::TempDir dir_;
  KdcProcess kdc_;
  std::string krb5_config_;
};

}  // namespace preauthtest
