#include "platform/shell/DesktopEntry.h"

#include <glib.h>

namespace shell {
namespace {

// The value escape of the format; false when text holds what no value may.
bool EscapeValue(std::string_view text, std::string* out) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return false;
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\': *out += "\\\\"; break;
      case '\n': *out += "\\n"; break;
      case '\t': *out += "\\t"; break;
      case '\r': *out += "\\r"; break;
      case ' ':
        *out += i == 0 ? "\\s" : " ";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        *out += c;
    }
  }
  return true;
}

}  // namespace

std::string QuoteExecArgument(std::string_view arg) {
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  quoted += '"';
  return quoted;
}

void DesktopEntry::Set(std::string_view key, std::string_view value) {
  std::string escaped;
  if (!EscapeValue(value, &escaped)) m_bOk = false;
  m_lines.emplace_back(std::string(key), std::move(escaped));
}

void DesktopEntry::SetExec(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += ' ';
    line += QuoteExecArgument(arg);
  }
  if (argv.empty()) m_bOk = false;
  Set("Exec", line);
}

std::string DesktopEntry::Text() const {
  if (!m_bOk) return {};
  std::string text = "[Desktop Entry]\n";
  for (const auto& [key, value] : m_lines) text += key + "=" + value + "\n";
  return text;
}

}  // namespace shell
