// libFuzzer target: the userInfoUrl format guard. The format comes from the
// configuration and the launch tag from the program's file name, so both are
// outside input, and no conversion but %s %d %d %s (and "%%") may ever shape
// the request. The guard must refuse ("") every other format; for the ones it
// takes, the address must be exactly what printf makes of that format and
// the four arguments (then '+' turned into '&'): nothing but the format's
// literal text and the arguments. The signature is always an MD5 in hex.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/UserInfoRequest.h"
#include "fuzz/common/FuzzCheck.h"

namespace {

// The conversion letters of a printf format, left to right ("%%" is text);
// false for a '%' at the very end.
bool ConversionLetters(std::string_view format, std::string* letters, std::size_t* escapedPercents) {
  letters->clear();
  *escapedPercents = 0;
  std::size_t at = 0;
  while ((at = format.find('%', at)) != std::string_view::npos) {
    if (at + 1 == format.size()) return false;
    char next = format[at + 1];
    if (next == '%')
      ++*escapedPercents;
    else
      letters->push_back(next);
    at += 2;
  }
  return true;
}

std::string Printf(const std::string& format, const std::string& tag, int reason, std::int32_t time,
                   const std::string& signature) {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
  int n = std::snprintf(nullptr, 0, format.c_str(), tag.c_str(), reason, time, signature.c_str());
  FUZZ_CHECK(n >= 0);
  std::vector<char> out(static_cast<std::size_t>(n) + 1);
  std::snprintf(out.data(), out.size(), format.c_str(), tag.c_str(), reason, time, signature.c_str());
#pragma clang diagnostic pop
  std::string s(out.data(), static_cast<std::size_t>(n));
  for (char& c : s)
    if (c == '+') c = '&';
  return s;
}

bool IsMd5Hex(const std::string& s) {
  if (s.size() != 32) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int reason = in.ConsumeIntegral<int>();
  const std::int32_t time = in.ConsumeIntegral<std::int32_t>();
  const std::string tag = in.ConsumeRandomLengthString(256);
  const std::string pwKey = in.ConsumeRandomLengthString(256);
  const std::string format = in.ConsumeRemainingBytesAsString();

  const std::string signature = UserInfoSignature(tag, time, pwKey);
  FUZZ_CHECK(IsMd5Hex(signature));
  FUZZ_CHECK(signature == UserInfoSignature(tag, time, pwKey));

  const std::string url = FormatUserInfoUrl(format, tag, reason, time, signature);
  std::string letters;
  std::size_t escaped = 0;
  const bool accepted = ConversionLetters(format, &letters, &escaped) && letters == "sdds";
  if (!accepted) {
    FUZZ_CHECK(url.empty());
    return 0;
  }
  // The format's text without its four conversions, "%%" read as one '%',
  // plus the four arguments.
  FUZZ_CHECK(url.size() == format.size() - 8 - escaped + tag.size() + std::to_string(reason).size() +
                               std::to_string(time).size() + signature.size());
  FUZZ_CHECK(url.find('+') == std::string::npos);
  if (format.find('\0') == std::string::npos && tag.find('\0') == std::string::npos)
    FUZZ_CHECK(url == Printf(format, tag, reason, time, signature));
  return 0;
}
