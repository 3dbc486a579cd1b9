// The client's places on the desktop, as freedesktop files:
// - "<desktop>/<userClientAbout>.desktop": the product's launcher
//   (Type=Application, Exec the executable, Path its folder, StartupWMClass
//   the program class so docks group the windows under it);
// - "<desktop>/<gwLink>.desktop": the official website (Type=Link, URL gwUrl);
// - "$XDG_DATA_HOME/applications/Velmora.<title>.1.desktop": the launcher
//   again, for the application menu and the dock;
// - "$XDG_DATA_HOME/icons/hicolor/<size>/apps/Velmora.<title>.1.png": icon 128.
// Each is created only when nothing of its name exists: a deleted one comes
// back at the next start, an existing one is never changed. The desktop's two
// files get the run bit and, where GIO keeps metadata, the trusted mark, which
// desktops ask for before they start a launcher.
#include <cstdint>
#include <span>

#include "app/ClientConfig.h"
#include "app/ShellSetup.h"
#include "platform/base/Paths.h"
#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/shell/DesktopEntry.h"
#include "platform/shell/DesktopFiles.h"

namespace {

constexpr const char* kIconType = "ICON";
constexpr int kIconId = 128;

// The sizes the hicolor theme looks icons up by name in.
constexpr unsigned kThemeSizes[] = {16, 22, 24, 32, 48, 64, 96, 128, 192, 256, 512};

// The width and height of PNG bytes; false when they are not a PNG.
bool PngSize(std::span<const std::uint8_t> png, unsigned* width, unsigned* height) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (png.size() < 24) return false;
  for (std::size_t i = 0; i < sizeof kSignature; ++i)
    if (png[i] != kSignature[i]) return false;
  if (png[12] != 'I' || png[13] != 'H' || png[14] != 'D' || png[15] != 'R') return false;
  auto be32 = [&](std::size_t at) {
    return unsigned(png[at]) << 24 | unsigned(png[at + 1]) << 16 | unsigned(png[at + 2]) << 8 | unsigned(png[at + 3]);
  };
  *width = be32(16);
  *height = be32(20);
  return *width > 0 && *height > 0 && *width <= 4096 && *height <= 4096;
}

// Installs icon 128 into the user's hicolor theme (when missing) and returns
// what the entries' Icon key holds: the icon's name where the theme looks up
// icons of its size by name, its file otherwise; "" when there is no usable icon.
std::string InstallIcon(const std::string& dataHome, const std::string& iconName) {
  auto icon = res::Find(kIconType, kIconId);
  unsigned width = 0, height = 0;
  if (dataHome.empty() || iconName.empty() || !icon || !PngSize(*icon, &width, &height)) return {};
  std::string dir = text::Format("%s/icons/hicolor/%ux%u/apps", dataHome.c_str(), width, height);
  std::string file = dir + "/" + iconName + ".png";
  if (!paths::MakeDirs(dir)) return {};
  std::string_view bytes(reinterpret_cast<const char*>(icon->data()), icon->size());
  if (shell::CreateFileIfMissing(file, bytes, 0644) == shell::CreateResult::Failed) return {};
  bool themed = false;
  for (unsigned size : kThemeSizes) themed = themed || (width == height && width == size);
  return themed ? iconName : file;
}

std::string ProductEntry(const std::string& title, const std::string& exePath, const std::string& icon,
                         const std::string& programClass) {
  std::size_t slash = exePath.rfind('/');
  shell::DesktopEntry entry;
  entry.Set("Type", "Application");
  entry.Set("Version", "1.0");
  entry.Set("Name", title);
  entry.SetExec({exePath});
  entry.Set("Path", slash == 0 ? "/" : exePath.substr(0, slash));
  if (!icon.empty()) entry.Set("Icon", icon);
  entry.Set("StartupWMClass", programClass);
  entry.Set("Terminal", "false");
  entry.Set("Categories", "Game;");
  return entry.Text();
}

std::string LinkEntry(const std::string& name, const std::string& url, const std::string& icon) {
  shell::DesktopEntry entry;
  entry.Set("Type", "Link");
  entry.Set("Version", "1.0");
  entry.Set("Name", name);
  entry.Set("URL", url);
  if (!icon.empty()) entry.Set("Icon", icon);
  return entry.Text();
}

// A launcher on the desktop: run bit, and the trusted mark when it is new.
void PlaceOnDesktop(const std::string& path, const std::string& text) {
  if (text.empty()) return;
  if (shell::CreateFileIfMissing(path, text, 0755) == shell::CreateResult::Created) shell::MarkTrusted(path);
}

}  // namespace

std::string ProgramClass(const std::string& title) { return text::Format("Velmora.%s.1", title.c_str()); }

void CreateDesktopShortcuts(const ClientConfig& config, const ShellPlaces& places, const std::string& exePath) {
  const std::string title = config.GetUserClientAbout();
  const std::string programClass = ProgramClass(title);
  const std::string entryName = ProductFileName(programClass);
  const std::string icon = InstallIcon(places.dataHome, entryName);
  const bool haveDesktop = !places.desktopDir.empty() && paths::MakeDirs(places.desktopDir);

  // The product's launcher: on the desktop and in the application menu.
  const std::string productName = ProductFileName(title);
  if (!productName.empty() && !exePath.empty()) {
    std::string text = ProductEntry(title, exePath, icon, programClass);
    if (haveDesktop) PlaceOnDesktop(places.desktopDir + "/" + productName + ".desktop", text);
    std::string applications = places.dataHome + "/applications";
    if (!text.empty() && !places.dataHome.empty() && paths::MakeDirs(applications))
      shell::CreateFileIfMissing(applications + "/" + entryName + ".desktop", text, 0644);
  }

  // The official website. Without a name the file would be a hidden
  // ".desktop" nobody sees, and without an address it would lead nowhere.
  const std::string linkName = ProductFileName(config.GetGwLink());
  const std::string url = config.GetGwUrl();
  if (haveDesktop && !linkName.empty() && !url.empty())
    PlaceOnDesktop(places.desktopDir + "/" + linkName + ".desktop", LinkEntry(config.GetGwLink(), url, icon));
}
