// The location-access agent object: the exported agent interface, the
// registration with the location service and the questions put to the
// user through desktop notifications.
#pragma once

#include <gio/gio.h>

#include "zarfo-agent-interface.h"

G_BEGIN_DECLS

#define ZARFO_TYPE_SERVICE_AGENT (zarfo_service_agent_get_type ())
G_DECLARE_FINAL_TYPE (ZarfoServiceAgent, zarfo_service_agent, ZARFO, SERVICE_AGENT, ZarfoAgentSkeleton)

// Creates the agent on @connection; construction exports it and starts
// watching for the location service. Returns a new reference.
ZarfoServiceAgent *zarfo_service_agent_new (GDBusConnection *connection);

G_END_DECLS
