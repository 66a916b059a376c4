// What GLib and GTK log while a widget test runs, recorded so that a test
// can look at the messages it expects and fails on any other warning or
// critical; and GTK set up under the X server of the test program.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace widgettest {

// The log domain of the widget library under test.
#if GTK_CHECK_VERSION(4, 0, 0)
constexpr const char *domain = "SeroGtk4";
#else
constexpr const char *domain = "Sero";
#endif

struct LogRecord {
  std::string domain;
  GLogLevelFlags level;
  std::string message;
};

// Everything recorded since the running test began.
inline std::vector<LogRecord> logged;

inline void record_log(const gchar *log_domain, GLogLevelFlags level, const gchar *message, gpointer) {
  logged.push_back({log_domain ? log_domain : "", GLogLevelFlags(level & G_LOG_LEVEL_MASK), message});
}

// GTK also logs through the structured interface, which bypasses the
// handlers above; this writer records those messages as well.
inline GLogWriterOutput record_structured(GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                                          gpointer data) {
  if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL)) {
    std::string log_domain, message;
    for (gsize i = 0; i < n_fields; i++) {
      const std::string key = fields[i].key;
      const auto *value = static_cast<const char *>(fields[i].value);
      if (key == "GLIB_DOMAIN" && value) log_domain = value;
      if (key == "MESSAGE" && value) message = fields[i].length < 0 ? value : std::string(value, fields[i].length);
    }
    logged.push_back({log_domain, GLogLevelFlags(level & G_LOG_LEVEL_MASK), message});
  }
  return g_log_writer_default(level, fields, n_fields, data);
}

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_log_set_writer_func(record_structured, nullptr, nullptr);
#if GTK_CHECK_VERSION(4, 0, 0)
    // No accessibility bus here; GTK 4 would warn about the missing
    // session bus it looks for.
    g_setenv("GTK_A11Y", "none", TRUE);
    ASSERT_TRUE(gtk_init_check());
#else
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
#endif
  }
};

// Every test fails on a warning or critical that it did not take out of
// `logged` itself.
class LoggedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logged.clear();
    g_log_set_default_handler(record_log, nullptr);
    handler_ = g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL), record_log, nullptr);
    old_fatal_ = g_log_set_always_fatal(GLogLevelFlags(G_LOG_FATAL_MASK));
  }
  void TearDown() override {
    for (const auto &r : logged)
      if (r.level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL))
        ADD_FAILURE() << "unexpected message in '" << r.domain << "': " << r.message;
    g_log_remove_handler(domain, handler_);
    g_log_set_default_handler(g_log_default_handler, nullptr);
    g_log_set_always_fatal(old_fatal_);
  }

 private:
  guint handler_ = 0;
  GLogLevelFlags old_fatal_ = GLogLevelFlags(0);
};

}  // namespace widgettest
