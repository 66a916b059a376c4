// Captures GLib log messages during a test, so that precondition warnings
// and other diagnostics can be checked instead of aborting the process.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

namespace teskmodules {

struct LoggedMessage {
  GLogLevelFlags level;
  std::string domain;
  std::string message;
};

class LogCapture {
 public:
  LogCapture ()
  {
    previous_ = g_log_set_default_handler (handler, this);
    fatal_ = g_log_set_always_fatal (GLogLevelFlags (G_LOG_FATAL_MASK & ~G_LOG_LEVEL_CRITICAL));
  }
  ~LogCapture ()
  {
    g_log_set_default_handler (previous_, nullptr);
    g_log_set_always_fatal (fatal_);
  }
  LogCapture (const LogCapture &) = delete;
  LogCapture &operator= (const LogCapture &) = delete;

  const std::vector<LoggedMessage> &messages () const { return messages_; }

  // Messages at the given level (debug messages are never kept).
  std::vector<std::string> at (GLogLevelFlags level) const
  {
    std::vector<std::string> found;
    for (const auto &m : messages_) {
      if (m.level & level)
        found.push_back (m.message);
    }
    return found;
  }

  void clear () { messages_.clear (); }

 private:
  static void handler (const gchar *domain, GLogLevelFlags level, const gchar *message,
                       gpointer data)
  {
    if (level & G_LOG_LEVEL_DEBUG)
      return;
    static_cast<LogCapture *> (data)->messages_.push_back (
        { GLogLevelFlags (level & G_LOG_LEVEL_MASK), domain ? domain : "", message ? message : "" });
  }

  GLogFunc previous_;
  GLogLevelFlags fatal_;
  std::vector<LoggedMessage> messages_;
};

} // namespace teskmodules
