// libFuzzer target: the version document from untrusted bytes, and what the
// update check does with its CLIENT element: the version compared as dotted
// numbers, the package's file name taken from its address, the signature
// decoded from base64 and checked with Ed25519 over the signed text, with a
// fixed key (the stand-in operator's published development key) and a fixed
// package. The target holds the private key too, so it knows the one
// signature that must verify for the announced version and can insist that
// no other does.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/UpdateSignature.h"
#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Text.h"

namespace {

// tools/operator/dev-update-key.pem, raw.
constexpr unsigned char kPrivateKey[32] = {0x6d, 0xf0, 0x7b, 0x66, 0xbe, 0x18, 0x8c, 0x74, 0xeb, 0x0b, 0x82,
                                           0xad, 0x6f, 0x20, 0x39, 0x69, 0xbe, 0xd3, 0x66, 0x57, 0x79, 0xb8,
                                           0x89, 0x2d, 0x8e, 0x82, 0x6d, 0x25, 0x21, 0xa9, 0xbe, 0xe1};
constexpr char kPublicKey[] = "M4KBcIqg6QS7nhRbYmiTx5W42mn1G/UWyMPrA71Oe9I=";
constexpr char kProduct[] = "琥珀航线";
constexpr char kPackage[] = "#!/bin/sh\necho updated\n";
constexpr char kOurVersion[] = "1.0.0.1";

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The operator's signature of text.
std::string Sign(const std::string& text) {
  static std::unique_ptr<EVP_PKEY, PkeyFree> key(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, kPrivateKey, sizeof kPrivateKey));
  FUZZ_CHECK(key != nullptr);
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  FUZZ_CHECK(ctx && EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1);
  unsigned char sig[64];
  std::size_t length = sizeof sig;
  FUZZ_CHECK(EVP_DigestSign(ctx.get(), sig, &length, reinterpret_cast<const unsigned char*>(text.data()),
                            text.size()) == 1);
  return std::string(reinterpret_cast<const char*>(sig), length);
}

std::string_view Trim(std::string_view s) {
  const char* space = " \t\n\r\f\v";
  std::size_t first = s.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(space) - first + 1);
}

void CheckVersion(const std::string& version) {
  int c = update::CompareVersions(version, kOurVersion);
  FUZZ_CHECK(c >= -1 && c <= 1);
  FUZZ_CHECK(update::CompareVersions(kOurVersion, version) == -c);
  FUZZ_CHECK(update::CompareVersions(version, version) == 0);
  // Missing fields count as 0.
  FUZZ_CHECK(update::CompareVersions(version + ".0", version) == 0);
}

void CheckFileName(const std::string& url) {
  std::string name = update::PackageFileName(url);
  FUZZ_CHECK(!name.empty() && name.size() <= 100 && name[0] != '.');
  for (char c : name)
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_');
}

void CheckBase64(const std::string& text) {
  std::string raw;
  if (update::DecodeBase64(text, &raw)) FUZZ_CHECK(update::EncodeBase64(raw) == Trim(text));  // one spelling
  std::string back;
  FUZZ_CHECK(update::DecodeBase64(update::EncodeBase64(text), &back) && back == text);
}

void CheckSignature(const update::VersionNotice& notice) {
  static const std::string sha = update::Sha256Hex(kPackage);
  std::string text = update::SignedText(kProduct, notice.version, sha);
  FUZZ_CHECK(text == std::string("torvane-update\n") + kProduct + "\n" + notice.version + "\n" + sha);
  std::string good = Sign(text);
  FUZZ_CHECK(update::CheckSignature(kPublicKey, update::EncodeBase64(good), kProduct, notice.version, sha) ==
             update::Verdict::kValid);

  update::Verdict form = update::CheckKeyAndSignatureForm(kPublicKey, notice.sig);
  update::Verdict verdict = update::CheckSignature(kPublicKey, notice.sig, kProduct, notice.version, sha);
  if (form != update::Verdict::kValid) FUZZ_CHECK(verdict == form);
  std::string raw;
  if (verdict == update::Verdict::kValid) FUZZ_CHECK(update::DecodeBase64(notice.sig, &raw) && raw == good);
  // The same signature never verifies for another product or package.
  FUZZ_CHECK(update::CheckSignature(kPublicKey, notice.sig, "other", notice.version, sha) != update::Verdict::kValid);
  FUZZ_CHECK(update::CheckSignature(kPublicKey, notice.sig, kProduct, notice.version, update::Sha256Hex("")) !=
             update::Verdict::kValid);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  update::VersionNotice notice{"unset", "unset", "unset"};
  if (!update::ReadVersionDocument(bytes, &notice)) {
    FUZZ_CHECK(notice.version == "unset" && notice.url == "unset" && notice.sig == "unset");
    return 0;
  }
  FUZZ_CHECK(text::IsValidUtf8(notice.version) && text::IsValidUtf8(notice.url) && text::IsValidUtf8(notice.sig));
  CheckVersion(notice.version);
  CheckFileName(notice.url);
  CheckBase64(notice.sig);
  CheckSignature(notice);
  return 0;
}
