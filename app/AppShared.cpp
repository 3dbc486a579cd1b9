#include "app/AppShared.h"

#include "app/ClientConfig.h"
#include "platform/base/Paths.h"
#include "platform/base/Text.h"
#include "platform/shell/Opener.h"
#include "platform/shell/Process.h"

std::string GetModulePath(bool bWithFileName) {
  std::string path = paths::ExecutablePath();
  if (bWithFileName) return path;
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string GetClientTitle() {
  return text::Format("%s Ver %s", ClientConfig::Get()->GetUserClientAbout().c_str(), CLIENT_VERSION);
}

bool LaunchProcess(const std::string& commandLine) { return shell::StartProcess(commandLine); }

void OpenInBrowser(const std::string& target) { shell::OpenWithDefaultHandler(target); }
