#include "app/UserInfoRequest.h"

#include <openssl/evp.h>

#include <array>
#include <string>

#include "platform/base/Text.h"

std::string Md5Hex(const void* data, std::size_t count) {
  if (!data) return std::string();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(data, count, digest, &size, EVP_md5(), nullptr)) return std::string();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (unsigned int i = 0; i < size; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0xF]);
  }
  return out;
}

std::string UserInfoSignature(std::string_view tag, std::int32_t time, std::string_view pwKey) {
  std::string bytes = text::Utf8ToGb18030(tag) + std::to_string(time) + text::Utf8ToGb18030(pwKey);
  return Md5Hex(bytes.data(), bytes.size());
}

std::string FormatUserInfoUrl(std::string_view format, std::string_view tag, int reason, std::int32_t time,
                              std::string_view signature) {
  static constexpr std::array<char, 4> kExpected{'s', 'd', 'd', 's'};
  const std::array<std::string, 4> args{std::string(tag), std::to_string(reason), std::to_string(time),
                                        std::string(signature)};
  std::string out;
  std::size_t used = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 >= format.size()) return std::string();  // a lone '%' at the end
    char conversion = format[++i];
    if (conversion == '%') {
      out.push_back('%');
      continue;
    }
    // Flags, widths, precisions and every other conversion are refused.
    if (used >= kExpected.size() || conversion != kExpected[used]) return std::string();
    out += args[used++];
  }
  if (used != kExpected.size()) return std::string();
  for (char& c : out)
    if (c == '+') c = '&';
  return out;
}
