// Text helpers shared by every layer. Text inside the program is UTF-8.
//
// All functions are pure and may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// Reads a leading decimal integer the way atoi does: leading white space, an
// optional sign, decimal digits, stopping at the first other character; no
// digits gives 0. Values beyond 32 bits saturate instead of overflowing.
int Atoi(std::string_view s);

// The encoding an XML document declares in its <?xml ... encoding="..."?>
// declaration, lower-cased; "" when it declares none.
std::string DeclaredXmlEncoding(std::string_view doc);

// Decodes the bytes of an embedded or downloaded document to UTF-8:
// - a UTF-8 byte-order mark is dropped and the rest read as UTF-8;
// - a declared gb2312, gbk, gb18030 or cp936 encoding is decoded as GB18030;
// - any other declared encoding is read as UTF-8;
// - an undeclared document is kept when it is valid UTF-8 and read as
//   GB18030 otherwise.
// Bytes that do not decode become U+FFFD; the result is always valid UTF-8.
std::string DecodeDocument(std::string_view bytes);

// s with every byte that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view s);

// Converts UTF-8 to GB18030 bytes (what the design's ANSI code page 936 would
// hold); characters that cannot be represented become '?'.
std::string Utf8ToGb18030(std::string_view utf8);
std::string Gb18030ToUtf8(std::string_view gb);

bool IsValidUtf8(std::string_view s);

// ASCII-only case handling, as the client's comparisons without regard to case.
std::string ToLowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace text
