#include "zarfo-service-agent.h"

#include <gio/gdesktopappinfo.h>
#include <glib/gi18n.h>
#include <libnotify/notify.h>

#include <memory>

namespace {

constexpr const char kAgentPath[] = "/org/freedesktop/Zarfo2/Agent";
constexpr const char kServiceName[] = "org.freedesktop.Zarfo2";
constexpr const char kManagerPath[] = "/org/freedesktop/Zarfo2/Manager";
constexpr const char kManagerInterface[] = "org.freedesktop.Zarfo2.Manager";
constexpr const char kAgentId[] = "zarfo-demo-agent";
constexpr const char kReasonKey[] = "X-Zarfo-Reason";
constexpr guint kMaxAccuracyLevel = 8;

// One AuthorizeApp call whose answer waits on the user. The record owns
// the notification and the desktop entry; whoever answers the invocation
// destroys the record.
struct AuthorizationRequest {
  GDBusMethodInvocation *invocation;
  NotifyNotification *notification;
  GAppInfo *app_info;
  gboolean authorized;
  guint32 accuracy_level;

  AuthorizationRequest (GDBusMethodInvocation *invocation_, NotifyNotification *notification_,
                        GAppInfo *app_info_, guint32 accuracy_level_)
    : invocation (invocation_), notification (notification_), app_info (app_info_),
      authorized (FALSE), accuracy_level (accuracy_level_) {}
  AuthorizationRequest (const AuthorizationRequest &) = delete;
  AuthorizationRequest &operator= (const AuthorizationRequest &) = delete;
  ~AuthorizationRequest ();
};

AuthorizationRequest::~AuthorizationRequest ()
{
  if (notification)
    {
      // Once answered the request is gone: should anything else hold on
      // to the notification, a late "closed" signal or another action on
      // it must not reach this record.
      g_signal_handlers_disconnect_by_data (notification, this);
      notify_notification_clear_actions (notification);
      g_clear_object (&notification);
    }
  g_clear_object (&app_info);
}

using RequestPtr = std::unique_ptr<AuthorizationRequest>;

// Answers the call with @error, which is consumed. An error that came from
// another peer keeps its own D-Bus name and text instead of being wrapped
// in a generic one.
void
return_error (GDBusMethodInvocation *invocation, GError *error)
{
  g_autofree gchar *remote_name = g_dbus_error_get_remote_error (error);

  if (!remote_name)
    {
      g_dbus_method_invocation_take_error (invocation, error);
      return;
    }
  g_dbus_error_strip_remote_error (error);
  g_dbus_method_invocation_return_dbus_error (invocation, remote_name, error->message);
  g_error_free (error);
}

void
on_notify_closed (NotifyNotification *, gpointer user_data)
{
  RequestPtr request (static_cast<AuthorizationRequest *> (user_data));
  const char *name = g_app_info_get_display_name (request->app_info);

  if (request->authorized)
    g_debug ("Authorized '%s'", name);
  else
    g_debug ("'%s' not authorized", name);
  zarfo_agent_complete_authorize_app (nullptr, request->invocation,
                                      request->authorized, request->accuracy_level);
}

void
on_notify_action (NotifyNotification *notification, char *action, gpointer user_data)
{
  auto *request = static_cast<AuthorizationRequest *> (user_data);
  GError *error = nullptr;

  request->authorized = g_strcmp0 (action, "yes") == 0;
  if (!notify_notification_close (notification, &error))
    {
      RequestPtr finished (request);
      return_error (finished->invocation, error);
    }
}

void
print_in_use_info (GDBusProxy *manager_proxy)
{
  g_autoptr (GVariant) value = g_dbus_proxy_get_cached_property (manager_proxy, "InUse");
  bool in_use = value && g_variant_is_of_type (value, G_VARIANT_TYPE_BOOLEAN)
                && g_variant_get_boolean (value);

  if (in_use)
    g_print ("%s", _("Geolocation service in use\n"));
  else
    g_print ("%s", _("Geolocation service not in use\n"));
}

void
on_manager_props_changed (GDBusProxy *manager_proxy, GVariant *changed_properties,
                          GStrv, gpointer)
{
  GVariantIter iter;
  const char *name;
  GVariant *value;

  g_variant_iter_init (&iter, changed_properties);
  while (g_variant_iter_next (&iter, "{&sv}", &name, &value))
    {
      g_variant_unref (value);
      if (g_strcmp0 (name, "InUse") == 0)
        {
          print_in_use_info (manager_proxy);
          break;
        }
    }
}

void
on_add_agent_ready (GObject *source, GAsyncResult *res, gpointer)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (GVariant) result = g_dbus_proxy_call_finish (G_DBUS_PROXY (source), res, &error);
  // Whether the service accepted us changes nothing here.
}

}  // namespace

struct _ZarfoServiceAgent
{
  ZarfoAgentSkeleton parent_instance;

  GDBusConnection *connection;
  GDBusProxy *manager_proxy;

  guint watch_id;
  // Pending creation of the manager proxy, cancelled when the service
  // vanishes before it completes.
  GCancellable *proxy_cancellable;
};

enum
{
  PROP_0,
  PROP_CONNECTION,
};

static void zarfo_service_agent_iface_init (ZarfoAgentIface *iface);

G_DEFINE_TYPE_WITH_CODE (ZarfoServiceAgent, zarfo_service_agent, ZARFO_TYPE_AGENT_SKELETON,
                         G_IMPLEMENT_INTERFACE (ZARFO_TYPE_AGENT, zarfo_service_agent_iface_init))

static void
on_manager_proxy_ready (GObject *, GAsyncResult *res, gpointer user_data)
{
  g_autoptr (GError) error = nullptr;
  GDBusProxy *proxy = g_dbus_proxy_new_finish (res, &error);

  // Cancelled: the service went away, or the agent itself did.
  if (!proxy && g_error_matches (error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return;

  auto *self = ZARFO_SERVICE_AGENT (user_data);
  g_clear_object (&self->proxy_cancellable);
  g_clear_object (&self->manager_proxy);
  self->manager_proxy = proxy;
  if (!proxy)
    {
      g_critical ("Failed to create proxy to %s: %s", kManagerPath, error->message);
      return;
    }

  g_dbus_proxy_call (proxy, "AddAgent", g_variant_new ("(s)", kAgentId),
                     G_DBUS_CALL_FLAGS_NONE, -1, nullptr, on_add_agent_ready, nullptr);
  print_in_use_info (proxy);
  g_signal_connect (proxy, "g-properties-changed", G_CALLBACK (on_manager_props_changed), self);
}

static void
on_name_appeared (GDBusConnection *, const gchar *, const gchar *, gpointer user_data)
{
  auto *self = ZARFO_SERVICE_AGENT (user_data);

  if (self->proxy_cancellable)
    g_cancellable_cancel (self->proxy_cancellable);
  g_clear_object (&self->proxy_cancellable);
  self->proxy_cancellable = g_cancellable_new ();

  g_dbus_proxy_new (self->connection, G_DBUS_PROXY_FLAGS_NONE, nullptr, kServiceName,
                    kManagerPath, kManagerInterface, self->proxy_cancellable,
                    on_manager_proxy_ready, self);
}

static void
on_name_vanished (GDBusConnection *, const gchar *, gpointer user_data)
{
  auto *self = ZARFO_SERVICE_AGENT (user_data);

  if (self->proxy_cancellable)
    g_cancellable_cancel (self->proxy_cancellable);
  g_clear_object (&self->proxy_cancellable);
  g_clear_object (&self->manager_proxy);
}

static gboolean
zarfo_service_agent_handle_authorize_app (ZarfoAgent *object, GDBusMethodInvocation *invocation,
                                          const gchar *desktop_id, guint req_accuracy_level)
{
  g_autofree gchar *file_id = g_strjoin (".", desktop_id, "desktop", nullptr);
  GDesktopAppInfo *desktop_info = g_desktop_app_info_new (file_id);

  if (!desktop_info)
    {
      g_debug ("Failed to find %s", file_id);
      zarfo_agent_complete_authorize_app (object, invocation, FALSE, req_accuracy_level);
      return TRUE;
    }

  GAppInfo *app_info = G_APP_INFO (desktop_info);
  g_autofree gchar *question = g_strdup_printf (_("Allow '%s' to access your location information?"),
                                                g_app_info_get_display_name (app_info));
  g_autofree gchar *reason = g_desktop_app_info_get_string (desktop_info, kReasonKey);
  g_autofree gchar *body = reason ? g_strdup_printf ("%s\n\n%s", question, reason)
                                  : g_strdup (question);

  NotifyNotification *notification = notify_notification_new (_("Geolocation"), body,
                                                               "dialog-question");
  auto request = std::make_unique<AuthorizationRequest> (invocation, notification, app_info,
                                                         req_accuracy_level);

  notify_notification_add_action (notification, "yes", _("Yes"), on_notify_action,
                                  request.get (), nullptr);
  notify_notification_add_action (notification, "NO", _("No"), on_notify_action,
                                  request.get (), nullptr);
  g_signal_connect (notification, "closed", G_CALLBACK (on_notify_closed), request.get ());

  GError *error = nullptr;
  if (!notify_notification_show (notification, &error))
    {
      g_critical ("Failed to show notification: %s\n", error->message);
      return_error (invocation, error);
      return TRUE;  // the request is released on leaving
    }

  // From here on the notification's callbacks own the request.
  request.release ();
  return TRUE;
}

static void
zarfo_service_agent_init (ZarfoServiceAgent *)
{
}

static void
zarfo_service_agent_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  auto *self = ZARFO_SERVICE_AGENT (object);

  switch (prop_id)
    {
    case PROP_CONNECTION:
      g_value_set_object (value, self->connection);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zarfo_service_agent_set_property (GObject *object, guint prop_id, const GValue *value,
                                  GParamSpec *pspec)
{
  auto *self = ZARFO_SERVICE_AGENT (object);

  switch (prop_id)
    {
    case PROP_CONNECTION:
      g_set_object (&self->connection, G_DBUS_CONNECTION (g_value_get_object (value)));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zarfo_service_agent_constructed (GObject *object)
{
  auto *self = ZARFO_SERVICE_AGENT (object);

  G_OBJECT_CLASS (zarfo_service_agent_parent_class)->constructed (object);

  if (!self->connection
      || !g_dbus_interface_skeleton_export (G_DBUS_INTERFACE_SKELETON (self), self->connection,
                                            kAgentPath, nullptr))
    return;

  zarfo_agent_set_max_accuracy_level (ZARFO_AGENT (self), kMaxAccuracyLevel);

  self->watch_id = g_bus_watch_name_on_connection (self->connection, kServiceName,
                                                   G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                   on_name_appeared, on_name_vanished,
                                                   self, nullptr);
}

static void
zarfo_service_agent_dispose (GObject *object)
{
  auto *self = ZARFO_SERVICE_AGENT (object);

  if (self->watch_id)
    {
      g_bus_unwatch_name (self->watch_id);
      self->watch_id = 0;
    }
  if (self->proxy_cancellable)
    g_cancellable_cancel (self->proxy_cancellable);
  g_clear_object (&self->proxy_cancellable);
  g_clear_object (&self->manager_proxy);
  g_clear_object (&self->connection);

  G_OBJECT_CLASS (zarfo_service_agent_parent_class)->dispose (object);
}

static void
zarfo_service_agent_class_init (ZarfoServiceAgentClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = zarfo_service_agent_get_property;
  object_class->set_property = zarfo_service_agent_set_property;
  object_class->constructed = zarfo_service_agent_constructed;
  object_class->dispose = zarfo_service_agent_dispose;

  g_object_class_install_property (
    object_class, PROP_CONNECTION,
    g_param_spec_object ("connection", "Connection", "DBus Connection", G_TYPE_DBUS_CONNECTION,
                         static_cast<GParamFlags> (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                                   | G_PARAM_STATIC_STRINGS)));
}

static void
zarfo_service_agent_iface_init (ZarfoAgentIface *iface)
{
  iface->handle_authorize_app = zarfo_service_agent_handle_authorize_app;
}

ZarfoServiceAgent *
zarfo_service_agent_new (GDBusConnection *connection)
{
  return ZARFO_SERVICE_AGENT (g_object_new (ZARFO_TYPE_SERVICE_AGENT, "connection", connection,
                                            nullptr));
}
