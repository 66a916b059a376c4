#include "peer-io.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace agenttest {
namespace {

struct CommandWatch {
  GMainLoop *loop;
  std::function<void(const std::string &)> handler;
  std::string pending;
};

gboolean on_stdin(GIOChannel *, GIOCondition, gpointer data) {
  auto *watch = static_cast<CommandWatch *>(data);
  char buf[4096];
  ssize_t n = read(0, buf, sizeof buf);
  if (n <= 0) {
    g_main_loop_quit(watch->loop);
    return G_SOURCE_REMOVE;
  }
  watch->pending.append(buf, static_cast<std::size_t>(n));
  std::size_t nl;
  while ((nl = watch->pending.find('\n')) != std::string::npos) {
    std::string line = watch->pending.substr(0, nl);
    watch->pending.erase(0, nl + 1);
    watch->handler(line);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

void emit_line(const std::string &line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string escape(std::string_view text) {
  std::string result;
  for (char c : text) {
    switch (c) {
      case '\n': result += "\\n"; break;
      case '\t': result += "\\t"; break;
      case '\\': result += "\\\\"; break;
      default: result += c;
    }
  }
  return result;
}

std::vector<std::string> split_fields(const std::string &line, std::size_t max_fields) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (fields.size() + 1 < max_fields) {
    std::size_t space = line.find(' ', start);
    if (space == std::string::npos) break;
    fields.push_back(line.substr(start, space - start));
    start = space + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

void watch_commands(GMainLoop *loop, std::function<void(const std::string &)> handler) {
  // Lives as long as the process: the peers watch their input until they end.
  static auto watch = std::make_unique<CommandWatch>();
  watch->loop = loop;
  watch->handler = std::move(handler);
  GIOChannel *channel = g_io_channel_unix_new(0);
  g_io_add_watch(channel, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), on_stdin,
                 watch.get());
  g_io_channel_unref(channel);
}

std::string describe_error(const GError *error) {
  g_autoptr(GError) copy = g_error_copy(error);
  g_autofree gchar *name = g_dbus_error_get_remote_error(copy);
  g_dbus_error_strip_remote_error(copy);
  return std::string(name ? name : "(local)") + " " + escape(copy->message);
}

}  // namespace agenttest
