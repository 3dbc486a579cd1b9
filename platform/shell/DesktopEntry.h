// The text of a freedesktop desktop entry (a .desktop file): one
// [Desktop Entry] group whose keys keep the order they were set in.
//
// Values are escaped as the format asks: '\' as \\, newline, tab and
// carriage return as \n, \t, \r, a leading blank as \s. Exec is built from
// the program and its arguments, each one enclosed in double quotes with '"',
// '`', '$' and '\' escaped by a backslash and '%' written %%, so any path
// comes back unchanged to a launcher (four backslashes in the file stand for
// one in the path). A value that cannot be written (not UTF-8, or holding
// another control character) makes the whole entry unusable: Text() is then
// "" and Ok() false.
//
// Thread safety: a value type; one object per thread.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shell {

class DesktopEntry {
 public:
  // Sets a string key (Type, Name, URL, Icon, Path, ...); the value is escaped.
  void Set(std::string_view key, std::string_view value);
  // Sets Exec to the program and its arguments, each quoted.
  void SetExec(const std::vector<std::string>& argv);

  bool Ok() const { return m_bOk; }
  // "[Desktop Entry]" and one "Key=value" line per key; "" when !Ok().
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::string>> m_lines;  // key, escaped value
  bool m_bOk = true;
};

// One Exec argument quoted for the command line, before the value escape.
std::string QuoteExecArgument(std::string_view arg);

}  // namespace shell
