// libFuzzer target: the registry string reader over values of any type and
// any bytes (another program, or an older client, may have written them), in
// a private store. The outcome must follow the reader's rule exactly, worked
// out here by a decoder of our own: a string type, well-formed UTF-8, at most
// the buffer's UTF-16 characters with the terminating NUL, a final NUL, and
// the text up to the first NUL. What the reader accepts, the writer writes
// back to the same text; numbers are read back as they were written.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Text.h"
#include "platform/store/RegString.h"
#include "platform/store/Registry.h"

namespace {

// The UTF-16 code units of well-formed UTF-8 text (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF); false when it is not.
bool Utf16Units(std::string_view s, std::size_t* units) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t more;
    char32_t cp, min;
    if (c < 0x80) {
      more = 0, cp = c, min = 0;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (more >= s.size() - i) return false;  // the sequence runs past the end
    for (std::size_t k = 1; k <= more; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    count += cp >= 0x10000 ? 2 : 1;
    i += more + 1;
  }
  *units = count;
  return true;
}

// What RegQueryString must answer for data stored with type.
LONG Expected(DWORD type, std::string_view data, std::size_t bufferChars, std::string* text) {
  text->clear();
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
  std::size_t units = 0;
  if (!Utf16Units(data, &units)) return ERROR_INVALID_DATA;
  if (units > bufferChars) return ERROR_MORE_DATA;
  if (!data.empty() && data.back() != '\0') return ERROR_INVALID_DATA;
  text->assign(data.substr(0, data.find('\0')));
  return ERROR_SUCCESS;
}

HKEY Key() {
  static HKEY key = [] {
    HKEY k = nullptr;
    FUZZ_CHECK(RegCreateKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\fuzz", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
    return k;
  }();
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("XDG_CONFIG_HOME", fuzz::PrivateFolder().c_str(), 1);
  store::Close();
  FUZZ_CHECK(!store::UsingMemoryFallback());
  Key();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider in(bytes, size);
  constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_NONE, 7};
  const DWORD type = kTypes[in.ConsumeIntegralInRange<std::size_t>(0, 4)];
  const std::size_t bufferChars =
      in.ConsumeBool() ? kRegStringBufferChars : in.ConsumeIntegralInRange<std::size_t>(0, 16);
  const char* kNames[] = {"", "HotKey", "Path"};
  const char* name = kNames[in.ConsumeIntegralInRange<std::size_t>(0, 2)];
  const std::string data = in.ConsumeRemainingBytesAsString();
  HKEY key = Key();

  RegDeleteValue(key, name);
  LONG set = RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
  bool stored = type == REG_SZ || type == REG_EXPAND_SZ || (type == REG_DWORD && data.size() == 4);
  FUZZ_CHECK((set == ERROR_SUCCESS) == stored);

  std::string text = "left over";
  LONG r = RegQueryString(key, name, &text, bufferChars);
  if (!stored) {
    FUZZ_CHECK(r == ERROR_FILE_NOT_FOUND && text.empty());
  } else {
    std::string want;
    FUZZ_CHECK(r == Expected(type, data, bufferChars, &want));
    FUZZ_CHECK(text == want);
    FUZZ_CHECK(text::IsValidUtf8(text));
  }

  DWORD number = 0;
  LONG rd = RegQueryDword(key, name, &number);
  if (stored && type == REG_DWORD) {
    FUZZ_CHECK(rd == ERROR_SUCCESS);
    FUZZ_CHECK(number == (static_cast<DWORD>(static_cast<unsigned char>(data[0])) |
                          static_cast<DWORD>(static_cast<unsigned char>(data[1])) << 8 |
                          static_cast<DWORD>(static_cast<unsigned char>(data[2])) << 16 |
                          static_cast<DWORD>(static_cast<unsigned char>(data[3])) << 24));
    FUZZ_CHECK(RegSetDword(key, name, number + 1) == ERROR_SUCCESS);
    FUZZ_CHECK(RegQueryDword(key, name, &number) == ERROR_SUCCESS);
  } else {
    FUZZ_CHECK(rd == (stored ? ERROR_UNSUPPORTED_TYPE : ERROR_FILE_NOT_FOUND));
  }

  // Accepted text is written back as the same text (with its NUL, which
  // data of zero bytes did not have to fit).
  if (r == ERROR_SUCCESS && (!data.empty() || bufferChars >= 1)) {
    FUZZ_CHECK(RegSetString(key, name, text, type) == ERROR_SUCCESS);
    std::string again;
    FUZZ_CHECK(RegQueryString(key, name, &again, bufferChars) == ERROR_SUCCESS && again == text);
  }
  // Any bytes written as text are stored cut at their first NUL and read back
  // by the same rule.
  FUZZ_CHECK(RegSetString(key, "Path", data, REG_EXPAND_SZ) == ERROR_SUCCESS);
  std::string stringData = data.substr(0, data.find('\0')) + '\0';
  std::string want, got;
  FUZZ_CHECK(RegQueryString(key, "Path", &got) == Expected(REG_EXPAND_SZ, stringData, kRegStringBufferChars, &want));
  FUZZ_CHECK(got == want);
  return 0;
}
