#include "platform/shell/Opener.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/DisplayEnvironment.h"
#include "platform/shell/Process.h"

namespace shell {
namespace {

// "scheme:" at the start, as an address writes it (two letters or more, so
// a path is never taken for one).
bool HasScheme(const std::string& t) {
  std::size_t colon = t.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = t[i];
    bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!(alpha || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))) return false;
  }
  return true;
}

// The target as an address GIO can open; "" when it is neither.
std::string ToUri(const std::string& target) {
  if (HasScheme(target)) return target;
  if (access(target.c_str(), F_OK) != 0) return {};
  GFile* file = g_file_new_for_path(target.c_str());  // makes a relative path absolute
  char* uri = g_file_get_uri(file);
  std::string out = uri ? uri : "";
  g_free(uri);
  g_object_unref(file);
  return out;
}

}  // namespace

bool OpenWithDefaultHandler(std::string_view targetView) {
  std::string target(targetView);
  const char* opener = std::getenv("TORVANE_OPENER");
  if (opener && *opener) return StartProgram({opener, target});
  if (target.empty()) return false;
  std::string uri = ToUri(target);
  if (!uri.empty()) {
    GError* error = nullptr;
    // The desktop's browser gets the user's environment, not the client's display choice.
    GAppLaunchContext* context = g_app_launch_context_new();
    if (const char* saved = std::getenv(kUserGdkBackendVar)) {
      g_app_launch_context_unsetenv(context, kUserGdkBackendVar);
      if (*saved) g_app_launch_context_setenv(context, "GDK_BACKEND", saved);
      else g_app_launch_context_unsetenv(context, "GDK_BACKEND");
    }
    bool launched = g_app_info_launch_default_for_uri(uri.c_str(), context, &error);
    g_object_unref(context);
    if (launched) return true;
    if (error) g_error_free(error);
  }
  return StartProgram({"xdg-open", target});
}

}  // namespace shell
