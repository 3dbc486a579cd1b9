#include "platform/shell/DesktopFiles.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace shell {
namespace {

constexpr const char* kTrustedAttribute = "metadata::trusted";

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t n = write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Moves from to to unless to exists; EEXIST when it does.
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace move: a hard link never replaces either.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  return errno;
}

GFile* FileFor(const std::string& path) { return g_file_new_for_path(path.c_str()); }

}  // namespace

CreateResult CreateFileIfMissing(const std::string& path, std::string_view content, mode_t mode) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return CreateResult::Exists;
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = dir + "/." + name + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return CreateResult::Failed;
  bool written = WriteAll(fd, content) && fchmod(fd, mode) == 0;
  written = close(fd) == 0 && written;
  int error = written ? MoveWithoutReplacing(temp, path) : EIO;
  if (error != 0) unlink(temp.c_str());
  if (error == 0) return CreateResult::Created;
  return error == EEXIST ? CreateResult::Exists : CreateResult::Failed;
}

bool MarkTrusted(const std::string& path) {
  GFile* file = FileFor(path);
  gboolean ok = g_file_set_attribute_string(file, kTrustedAttribute, "true", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  g_object_unref(file);
  return ok;
}

bool IsMarkedTrusted(const std::string& path) {
  GFile* file = FileFor(path);
  GFileInfo* info = g_file_query_info(file, kTrustedAttribute, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  bool trusted = false;
  if (info) {
    const char* value = g_file_info_get_attribute_string(info, kTrustedAttribute);
    trusted = value && std::strcmp(value, "true") == 0;
    g_object_unref(info);
  }
  g_object_unref(file);
  return trusted;
}

bool TrustedMarkAvailable(const std::string& path) {
  GFile* file = FileFor(path);
  GFileAttributeInfoList* list = g_file_query_writable_namespaces(file, nullptr, nullptr);
  bool available = list && g_file_attribute_info_list_lookup(list, "metadata") != nullptr;
  if (list) g_file_attribute_info_list_unref(list);
  g_object_unref(file);
  return available;
}

}  // namespace shell
