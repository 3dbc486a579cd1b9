#include "platform/base/Text.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace text {

int Atoi(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string DeclaredXmlEncoding(std::string_view doc) {
  if (doc.substr(0, 3) == "\xEF\xBB\xBF") doc.remove_prefix(3);
  std::size_t start = 0;
  while (start < doc.size() && std::isspace(static_cast<unsigned char>(doc[start]))) ++start;
  if (doc.substr(start, 5) != "<?xml") return {};
  std::size_t end = doc.find("?>", start);
  std::string_view decl = doc.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < decl.size() && (decl[at] == '=' || std::isspace(static_cast<unsigned char>(decl[at])))) ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
  char quote = decl[at++];
  std::size_t close = decl.find(quote, at);
  if (close == std::string_view::npos) return {};
  return ToLowerAscii(decl.substr(at, close - at));
}

namespace {

std::string Convert(std::string_view in, const char* to, const char* from, const char* bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  std::vector<char> buf(4096);
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  while (left > 0) {
    char* dst = buf.data();
    std::size_t room = buf.size();
    std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or incomplete sequence: replace one byte and go on.
      out += bad;
      ++src;
      --left;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Gb18030ToUtf8(std::string_view gb) { return Convert(gb, "UTF-8", "GB18030", "\xEF\xBF\xBD"); }

std::string Utf8ToGb18030(std::string_view utf8) { return Convert(utf8, "GB18030", "UTF-8", "?"); }

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    unsigned cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return false;
    if (s.size() - i <= n) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += n + 1;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    // The longest valid sequence starting here: 1 to 4 bytes, or none.
    std::size_t n = 0;
    for (std::size_t len = 1; len <= 4 && i + len <= s.size(); ++len) {
      if (IsValidUtf8(s.substr(i, len))) {
        n = len;
        break;
      }
    }
    if (n) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string DecodeDocument(std::string_view bytes) {
  bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (bom) bytes.remove_prefix(3);
  std::string enc = DeclaredXmlEncoding(bytes);
  if (!bom && (enc == "gb2312" || enc == "gbk" || enc == "gb18030" || enc == "cp936")) return Gb18030ToUtf8(bytes);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  // Marked or declared as something else: UTF-8, with its damaged bytes replaced.
  if (bom || !enc.empty()) return SanitizeUtf8(bytes);
  return Gb18030ToUtf8(bytes);
}

std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

}  // namespace text
