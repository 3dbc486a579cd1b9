// Small file helpers for tests, and the bytes of the stand-in operator's
// sized answers (/test/bytes, /test/slow, ...: byte i is 'a' + (i % 256) % 26).
// Header only; any thread.
#pragma once

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

// The n bytes of a sized answer from byte `offset` on.
inline std::string Pattern(std::size_t offset, std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + ((offset + i) % 256) % 26);
  return s;
}

// The whole content of a file, "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Replaces a file's content.
inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}
