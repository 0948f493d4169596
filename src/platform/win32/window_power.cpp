// System suspend as WM_POWERBROADCAST: logind's PrepareForSleep signal on the system bus
// (D-Bus) becomes PBT_APMSUSPEND (and the wake-up PBT_APMRESUMEAUTOMATIC), posted to every
// top-level window. Without a system bus (containers, CI) nothing is delivered.
// HOARDEL_LOGIND_BUS_ADDRESS names another bus to listen on (tests).
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/win32/window_internal.h"

#ifdef HOARDEL_HAVE_DBUS
#include <dbus/dbus.h>
#endif

namespace win32::detail {

#ifdef HOARDEL_HAVE_DBUS
namespace {

DBusConnection* g_bus = nullptr;
std::string g_tried;  // the bus address last tried ("system" for the system bus)
bool g_triedOnce = false;

void Disconnect() {
  if (!g_bus) return;
  dbus_connection_close(g_bus);
  dbus_connection_unref(g_bus);
  g_bus = nullptr;
}

void Connect() {
  const char* override = std::getenv("HOARDEL_LOGIND_BUS_ADDRESS");
  std::string want = override && *override ? override : "system";
  if (g_triedOnce && want == g_tried) return;
  g_triedOnce = true;
  g_tried = want;
  Disconnect();
  DBusError err;
  dbus_error_init(&err);
  DBusConnection* c = nullptr;
  if (want == "system") {
    // No system bus here (containers, CI): do not even ask libdbus, whose failed
    // connection attempts leave allocations behind.
    const char* env = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!(env && *env) && access("/run/dbus/system_bus_socket", F_OK) != 0 &&
        access("/var/run/dbus/system_bus_socket", F_OK) != 0)
      return;
    c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
  } else {
    c = dbus_connection_open_private(want.c_str(), &err);
    if (c && !dbus_bus_register(c, &err)) {
      dbus_connection_close(c);
      dbus_connection_unref(c);
      c = nullptr;
    }
  }
  if (!c) {
    dbus_error_free(&err);
    return;
  }
  dbus_connection_set_exit_on_disconnect(c, FALSE);
  // On the system bus only logind itself may tell us about sleep.
  std::string rule =
      "type='signal',interface='org.freedesktop.login1.Manager',member='PrepareForSleep',"
      "path='/org/freedesktop/login1'";
  if (want == "system") rule += ",sender='org.freedesktop.login1'";
  dbus_bus_add_match(c, rule.c_str(), &err);
  if (dbus_error_is_set(&err)) {
    dbus_error_free(&err);
    dbus_connection_close(c);
    dbus_connection_unref(c);
    return;
  }
  dbus_connection_flush(c);
  g_bus = c;
}

}  // namespace

void PowerPump() {
  Connect();
  if (!g_bus) return;
  if (!dbus_connection_read_write(g_bus, 0)) {
    Disconnect();  // the bus went away
    return;
  }
  while (DBusMessage* m = dbus_connection_pop_message(g_bus)) {
    if (dbus_message_is_signal(m, "org.freedesktop.login1.Manager", "PrepareForSleep")) {
      dbus_bool_t sleeping = FALSE;
      DBusError err;
      dbus_error_init(&err);
      if (dbus_message_get_args(m, &err, DBUS_TYPE_BOOLEAN, &sleeping, DBUS_TYPE_INVALID)) {
        WPARAM event = sleeping ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC;
        for (auto& w : AllWindows()) {
          if (!(w->style & WS_CHILD) && !w->destroying) PostInternal(w->handle(), WM_POWERBROADCAST, event, 0);
        }
      }
      dbus_error_free(&err);
    }
    dbus_message_unref(m);
  }
}

int PowerFd() {
  int fd = -1;
  if (g_bus && dbus_connection_get_unix_fd(g_bus, &fd)) return fd;
  return -1;
}

#else

void PowerPump() {}
int PowerFd() { return -1; }

#endif

}  // namespace win32::detail
