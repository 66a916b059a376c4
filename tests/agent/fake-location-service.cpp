// A stand-in for the system location service, for the agent's tests.
//
// Owns "org.freedesktop.Zarfo2" on the system bus and offers the manager
// object with AddAgent and the property InUse. Commands on standard input:
//   in-use true|false          set InUse and announce the change
//   authorize TAG ID LEVEL     call AuthorizeApp(ID, LEVEL) on the last agent
//   get-max | get-all          read the agent's properties
//   set-max N                  try to write MaxAccuracyLevel
//   fail-add on|off            refuse AddAgent from now on (or not)
// Events on standard output:
//   owned                      the name is ours
//   add-agent ID               an agent registered (ID is its argument)
//   reply TAG true|false LEVEL / error TAG NAME MESSAGE
//   max N / all VARIANT / set-ok / error get|get-all|set NAME MESSAGE
//   props-changed VARIANT      the agent announced a property change
//   ok                         a command without an answer of its own is done

#include <gio/gio.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "peer-io.h"

namespace {

using agenttest::describe_error;
using agenttest::emit_line;

constexpr const char kManagerXml[] =
    "<node>"
    "  <interface name='org.freedesktop.Zarfo2.Manager'>"
    "    <method name='AddAgent'><arg name='id' type='s' direction='in'/></method>"
    "    <property name='InUse' type='b' access='read'/>"
    "  </interface>"
    "</node>";
constexpr const char kManagerPath[] = "/org/freedesktop/Zarfo2/Manager";
constexpr const char kManagerInterface[] = "org.freedesktop.Zarfo2.Manager";
constexpr const char kAgentPath[] = "/org/freedesktop/Zarfo2/Agent";
constexpr const char kAgentInterface[] = "org.freedesktop.Zarfo2.Agent";

struct Service {
  GDBusConnection *connection = nullptr;
  bool in_use = false;
  bool fail_add = false;
  std::string agent;  // unique name of the last agent that registered
};

Service service;

void on_method_call(GDBusConnection *, const gchar *sender, const gchar *, const gchar *,
                    const gchar *method, GVariant *parameters, GDBusMethodInvocation *invocation,
                    gpointer) {
  if (g_strcmp0(method, "AddAgent") != 0) {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod",
                                               "no such method");
    return;
  }
  const gchar *id = nullptr;
  g_variant_get(parameters, "(&s)", &id);
  service.agent = sender;
  emit_line(std::string("add-agent ") + id);
  if (service.fail_add)
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.Zarfo2.Error.Refused",
                                               "agents are not welcome");
  else
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant *on_get_property(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                          const gchar *property, GError **error, gpointer) {
  if (g_strcmp0(property, "InUse") == 0) return g_variant_new_boolean(service.in_use);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no property %s", property);
  return nullptr;
}

const GDBusInterfaceVTable kManagerVTable = {on_method_call, on_get_property, nullptr, {}};

void set_in_use(bool in_use) {
  service.in_use = in_use;
  GVariantBuilder changed;
  g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&changed, "{sv}", "InUse", g_variant_new_boolean(in_use));
  g_dbus_connection_emit_signal(service.connection, nullptr, kManagerPath,
                                "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                g_variant_new("(sa{sv}as)", kManagerInterface, &changed, nullptr),
                                nullptr);
  g_dbus_connection_flush_sync(service.connection, nullptr, nullptr);
  emit_line("ok");
}

void call_agent(const char *interface, const char *method, GVariant *args, const GVariantType *type,
                std::function<void(GVariant *, GError *)> done) {
  auto *callback = new std::function<void(GVariant *, GError *)>(std::move(done));
  g_dbus_connection_call(
      service.connection, service.agent.c_str(), kAgentPath, interface, method, args, type,
      G_DBUS_CALL_FLAGS_NONE, 300000, nullptr,
      [](GObject *source, GAsyncResult *res, gpointer data) {
        std::unique_ptr<std::function<void(GVariant *, GError *)>> callback(
            static_cast<std::function<void(GVariant *, GError *)> *>(data));
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply =
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, &error);
        (*callback)(reply, error);
      },
      callback);
}

void authorize(const std::string &tag, const std::string &desktop_id, guint32 level) {
  call_agent(kAgentInterface, "AuthorizeApp", g_variant_new("(su)", desktop_id.c_str(), level),
             G_VARIANT_TYPE("(bu)"), [tag](GVariant *reply, GError *error) {
               if (!reply) {
                 emit_line("error " + tag + " " + describe_error(error));
                 return;
               }
               gboolean authorized;
               guint32 granted;
               g_variant_get(reply, "(bu)", &authorized, &granted);
               emit_line("reply " + tag + (authorized ? " true " : " false ") +
                         std::to_string(granted));
             });
}

void on_command(const std::string &line) {
  auto fields = agenttest::split_fields(line, 4);
  const std::string &command = fields[0];
  bool needs_agent = command == "authorize" || command.rfind("get-", 0) == 0 || command == "set-max";
  if (needs_agent && service.agent.empty()) {
    emit_line("no-agent");
    return;
  }
  if (command == "in-use" && fields.size() == 2) {
    set_in_use(fields[1] == "true");
  } else if (command == "fail-add" && fields.size() == 2) {
    service.fail_add = fields[1] == "on";
    emit_line("ok");
  } else if (command == "authorize" && fields.size() == 4) {
    authorize(fields[1], fields[2], static_cast<guint32>(std::stoul(fields[3])));
  } else if (command == "get-max") {
    call_agent("org.freedesktop.DBus.Properties", "Get",
               g_variant_new("(ss)", kAgentInterface, "MaxAccuracyLevel"), G_VARIANT_TYPE("(v)"),
               [](GVariant *reply, GError *error) {
                 if (!reply) return emit_line("error get " + describe_error(error));
                 g_autoptr(GVariant) value = nullptr;
                 g_variant_get(reply, "(v)", &value);
                 g_autofree gchar *text = g_variant_print(value, TRUE);
                 emit_line(std::string("max ") + text);
               });
  } else if (command == "get-all") {
    call_agent("org.freedesktop.DBus.Properties", "GetAll", g_variant_new("(s)", kAgentInterface),
               G_VARIANT_TYPE("(a{sv})"), [](GVariant *reply, GError *error) {
                 if (!reply) return emit_line("error get-all " + describe_error(error));
                 g_autofree gchar *text = g_variant_print(reply, TRUE);
                 emit_line(std::string("all ") + text);
               });
  } else if (command == "set-max" && fields.size() == 2) {
    guint32 value = static_cast<guint32>(std::stoul(fields[1]));
    call_agent("org.freedesktop.DBus.Properties", "Set",
               g_variant_new("(ssv)", kAgentInterface, "MaxAccuracyLevel", g_variant_new_uint32(value)),
               nullptr, [](GVariant *reply, GError *error) {
                 if (!reply) return emit_line("error set " + describe_error(error));
                 emit_line("set-ok");
               });
  } else {
    emit_line("bad-command " + agenttest::escape(line));
  }
}

void on_agent_props_changed(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                            const gchar *, GVariant *parameters, gpointer) {
  g_autofree gchar *text = g_variant_print(parameters, TRUE);
  emit_line(std::string("props-changed ") + text);
}

}  // namespace

int main() {
  g_autoptr(GError) error = nullptr;
  service.connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
  if (!service.connection) {
    g_printerr("fake-location-service: %s\n", error->message);
    return 1;
  }
  g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kManagerXml, &error);
  g_assert_no_error(error);
  if (!g_dbus_connection_register_object(service.connection, kManagerPath, node->interfaces[0],
                                         &kManagerVTable, nullptr, nullptr, &error)) {
    g_printerr("fake-location-service: %s\n", error->message);
    return 1;
  }
  g_dbus_connection_signal_subscribe(service.connection, nullptr, "org.freedesktop.DBus.Properties",
                                     "PropertiesChanged", kAgentPath, nullptr,
                                     G_DBUS_SIGNAL_FLAGS_NONE, on_agent_props_changed, nullptr,
                                     nullptr);

  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  g_bus_own_name_on_connection(
      service.connection, "org.freedesktop.Zarfo2", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
      [](GDBusConnection *, const gchar *, gpointer) { emit_line("owned"); },
      [](GDBusConnection *, const gchar *, gpointer) {
        emit_line("name-lost");
        std::exit(1);
      },
      nullptr, nullptr);
  agenttest::watch_commands(loop, on_command);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  return 0;
}
