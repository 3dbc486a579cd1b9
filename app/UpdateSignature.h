// The version document and signed update packages. The operator signs, with its Ed25519 private key,
// the text SignedText(product, version, SHA-256 of the package) and puts the
// base64 signature into the version document's CLIENT element (attribute
// sig); the client holds the matching public key (configuration key
// updateKey, base64 of 32 bytes) and starts a package only when that
// signature verifies for its own product name, the announced version and
// the bytes it is about to start. Binding the product and the version into
// the text stops a signature from being replayed for another product or as
// a rollback to an older signed package under a newer number.
//
// KeepVerifiedPackage closes the window between check and start: it reads
// the downloaded file once, through a descriptor opened without following
// links, hashes exactly the bytes it copies into a fresh folder only this
// user can enter, and keeps that copy only when the signature verifies; the
// caller starts the copy, never the downloaded file.
//
// No window code and no global state: every function may be called from any
// thread.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace update {

// What a version document announces: the attributes of the CLIENT child of
// the document's first element as UTF-8 ("" where one is missing).
struct VersionNotice {
  std::string version;
  std::string url;
  std::string sig;
};

// Reads a version document's bytes as the update check does: the text up to
// its first NUL, decoded by its declaration, parsed. False (notice
// untouched) when it does not parse or its first element has no CLIENT.
bool ReadVersionDocument(std::string_view bytes, VersionNotice* notice);

// Compares two version texts by their dotted fields as numbers, one by one
// (surrounding white space ignored, each field read by its leading digits,
// missing fields counting as 0): -1, 0 or 1 as a is older than, the same as
// or newer than b.
int CompareVersions(std::string_view a, std::string_view b);

// "torvane-update" LF product LF version LF sha256Hex: the exact text whose
// UTF-8 bytes the operator signs (no trailing line feed).
std::string SignedText(std::string_view product, std::string_view version, std::string_view sha256Hex);

// Standard base64 (RFC 4648 alphabet, '=' padding).
std::string EncodeBase64(std::string_view bytes);
// Strict decoding: surrounding ASCII white space is ignored; anything else
// outside the alphabet, missing or misplaced padding, or non-zero unused bits
// makes it fail (false, *bytes untouched), so every value has one spelling.
bool DecodeBase64(std::string_view text, std::string* bytes);

// SHA-256, fed in pieces; Hex() ends it and gives the 64 lower-case digits.
class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  std::string Hex();

 private:
  struct Free {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> m_ctx;
};
std::string Sha256Hex(std::string_view bytes);

// What the check of a package found.
enum class Verdict {
  kValid,         // the signature verifies: the package may start
  kNoKey,         // the configuration has no updateKey
  kBadKey,        // updateKey is not base64 of 32 bytes, or not a usable key
  kNoSignature,   // the version document's CLIENT has no sig
  kBadSignature,  // sig is not base64 of 64 bytes
  kMismatch,      // the signature does not verify (other key, product, version or bytes)
  kUnreadable,    // the package could not be read or kept for the check
};
// A few words for a diagnostic line ("its signature does not match").
const char* Describe(Verdict verdict);

// Checks sigBase64 over SignedText(product, version, sha256Hex) with the
// public key keyBase64.
Verdict CheckSignature(std::string_view keyBase64, std::string_view sigBase64, std::string_view product,
                       std::string_view version, std::string_view sha256Hex);

// The parts of the check that need no package: kValid when key and
// signature are well formed, else the reason they are not.
Verdict CheckKeyAndSignatureForm(std::string_view keyBase64, std::string_view sigBase64);

// A file name for the kept copy taken from the package's address: its last
// path segment without query or fragment, reduced to letters, digits, '.',
// '-' and '_' (at most 100 characters, never starting with '.'); "update"
// when nothing is left.
std::string PackageFileName(std::string_view url);

struct KeptPackage {
  Verdict verdict = Verdict::kUnreadable;
  std::string path;   // with kValid: the verified copy, ready to start
  std::string error;  // with kUnreadable: what failed
};

// Copies the downloaded file (opened with O_NOFOLLOW; it must be a regular
// file) into a new folder of mode 0700 under parentDir (created 0700 when
// missing) as fileName with mode 0700, hashing the bytes as they are
// copied, and checks the signature over that hash. With kValid the copy
// stays and its path is returned; otherwise the copy and its folder are
// removed. The downloaded file itself is left to the caller.
KeptPackage KeepVerifiedPackage(const std::string& downloaded, const std::string& parentDir,
                                const std::string& fileName, std::string_view keyBase64,
                                std::string_view sigBase64, std::string_view product, std::string_view version);

}  // namespace update
