#include "app/UpdateSignature.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/base/Text.h"

namespace update {
namespace {

constexpr std::size_t kPublicKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kMaxFileName = 100;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Closes a descriptor when it goes.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The failure of `what` on `subject`, with errno's reason (read first,
// before anything can change it).
KeptPackage Unreadable(const char* what, const std::string& subject) {
  int err = errno;
  KeptPackage kept;
  kept.verdict = Verdict::kUnreadable;
  kept.error = std::string(what) + " " + subject + ": " + std::strerror(err);
  return kept;
}

// One field of a version text as a number: its leading digits without
// leading zeros ("" is 0), so numbers of any length compare exactly.
std::string FieldDigits(std::string_view field) {
  std::size_t end = 0;
  while (end < field.size() && field[end] >= '0' && field[end] <= '9') ++end;
  std::size_t start = 0;
  while (start < end && field[start] == '0') ++start;
  return std::string(field.substr(start, end - start));
}

std::vector<std::string> VersionFields(std::string_view version) {
  std::size_t first = version.find_first_not_of(" \t\r\n");
  std::size_t last = version.find_last_not_of(" \t\r\n");
  std::string_view trimmed =
      first == std::string_view::npos ? std::string_view() : version.substr(first, last - first + 1);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = trimmed.find('.', start);
    std::size_t length = dot == std::string_view::npos ? std::string_view::npos : dot - start;
    fields.push_back(FieldDigits(trimmed.substr(start, length)));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return fields;
}

// -1, 0 or 1 as a is smaller than, equal to or larger than b (both digit
// strings without leading zeros).
int CompareDigits(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

bool ReadVersionDocument(std::string_view bytes, VersionNotice* notice) {
  bytes = bytes.substr(0, bytes.find('\0'));  // the document ends at its first NUL
  std::string utf8 = text::DecodeDocument(bytes);
  TiXmlDocument doc;
  doc.Parse(utf8.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (doc.Error()) return false;
  const TiXmlElement* root = doc.RootElement();
  if (!root) return false;
  const TiXmlElement* client = root->FirstChildElement("CLIENT");
  if (!client) return false;
  // A character reference can name a code point UTF-8 cannot carry
  // ("&#xD800;"): such bytes are replaced, so every value is valid UTF-8.
  auto attribute = [client](const char* name) {
    const char* value = client->Attribute(name);
    if (!value) return std::string();
    return text::IsValidUtf8(value) ? std::string(value) : text::SanitizeUtf8(value);
  };
  notice->version = attribute("version");
  notice->url = attribute("url");
  notice->sig = attribute("sig");
  return true;
}

int CompareVersions(std::string_view a, std::string_view b) {
  std::vector<std::string> as = VersionFields(a);
  std::vector<std::string> bs = VersionFields(b);
  std::size_t n = std::max(as.size(), bs.size());
  for (std::size_t i = 0; i < n; ++i) {
    int c = CompareDigits(i < as.size() ? as[i] : std::string(), i < bs.size() ? bs[i] : std::string());
    if (c != 0) return c;
  }
  return 0;
}

std::string SignedText(std::string_view product, std::string_view version, std::string_view sha256Hex) {
  std::string text = "torvane-update\n";
  text.append(product);
  text += '\n';
  text.append(version);
  text += '\n';
  text.append(sha256Hex);
  return text;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t left = bytes.size() - i;
  if (left == 1) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += "==";
  } else if (left == 2) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += '=';
  }
  return out;
}

bool DecodeBase64(std::string_view text, std::string* bytes) {
  text = Trim(text);
  if (text.size() % 4 != 0) return false;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      int s = k < 4 - pad ? Sextet(text[i + k]) : 0;
      if (s < 0) return false;
      v = v << 6 | static_cast<unsigned>(s);
    }
    out += static_cast<char>(v >> 16 & 0xFF);
    if (pad < 2) out += static_cast<char>(v >> 8 & 0xFF);
    if (pad < 1) out += static_cast<char>(v & 0xFF);
    // Unused bits of a padded group must be zero: one spelling per value.
    if ((pad == 1 && (v & 0xFF)) || (pad == 2 && (v & 0xFFFF))) return false;
  }
  *bytes = std::move(out);
  return true;
}

Sha256::Sha256() : m_ctx(EVP_MD_CTX_new()) {
  if (m_ctx) EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr);
}

void Sha256::Update(const void* data, std::size_t size) {
  if (m_ctx) EVP_DigestUpdate(m_ctx.get(), data, size);
}

std::string Sha256::Hex() {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!m_ctx || EVP_DigestFinal_ex(m_ctx.get(), md, &len) != 1) return std::string();
  m_ctx.reset();
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < len; ++i) {
    hex += kDigits[md[i] >> 4];
    hex += kDigits[md[i] & 15];
  }
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.Hex();
}

const char* Describe(Verdict verdict) {
  switch (verdict) {
    case Verdict::kValid:
      return "its signature verifies";
    case Verdict::kNoKey:
      return "this client has no update key";
    case Verdict::kBadKey:
      return "this client's update key is not a valid Ed25519 public key";
    case Verdict::kNoSignature:
      return "the version document carries no signature";
    case Verdict::kBadSignature:
      return "the version document's signature is malformed";
    case Verdict::kMismatch:
      return "its signature does not match";
    case Verdict::kUnreadable:
      return "it could not be read for the check";
  }
  return "unknown";
}

Verdict CheckKeyAndSignatureForm(std::string_view keyBase64, std::string_view sigBase64) {
  std::string key, sig;
  if (Trim(keyBase64).empty()) return Verdict::kNoKey;
  if (!DecodeBase64(keyBase64, &key) || key.size() != kPublicKeyBytes) return Verdict::kBadKey;
  if (Trim(sigBase64).empty()) return Verdict::kNoSignature;
  if (!DecodeBase64(sigBase64, &sig) || sig.size() != kSignatureBytes) return Verdict::kBadSignature;
  return Verdict::kValid;
}

Verdict CheckSignature(std::string_view keyBase64, std::string_view sigBase64, std::string_view product,
                       std::string_view version, std::string_view sha256Hex) {
  Verdict form = CheckKeyAndSignatureForm(keyBase64, sigBase64);
  if (form != Verdict::kValid) return form;
  std::string key, sig;
  DecodeBase64(keyBase64, &key);
  DecodeBase64(sigBase64, &sig);
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key.data()), key.size()));
  if (!pkey) return Verdict::kBadKey;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return Verdict::kBadKey;
  std::string text = SignedText(product, version, sha256Hex);
  int ok = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(sig.data()), sig.size(),
                            reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return ok == 1 ? Verdict::kValid : Verdict::kMismatch;
}

std::string PackageFileName(std::string_view url) {
  std::size_t end = url.find_first_of("?#");
  if (end != std::string_view::npos) url = url.substr(0, end);
  std::size_t slash = url.rfind('/');
  if (slash != std::string_view::npos) url = url.substr(slash + 1);
  std::string name;
  for (char c : url) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '-' || c == '_';
    if (!plain) continue;
    if (name.empty() && c == '.') continue;
    name += c;
    if (name.size() == kMaxFileName) break;
  }
  return name.empty() ? std::string("update") : name;
}

KeptPackage KeepVerifiedPackage(const std::string& downloaded, const std::string& parentDir,
                                const std::string& fileName, std::string_view keyBase64,
                                std::string_view sigBase64, std::string_view product, std::string_view version) {
  KeptPackage kept;
  // A missing key or signature needs no copy to be refused.
  kept.verdict = CheckKeyAndSignatureForm(keyBase64, sigBase64);
  if (kept.verdict != Verdict::kValid) return kept;

  Fd in(open(downloaded.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
  if (in.fd < 0) return Unreadable("open", downloaded);
  struct stat st;
  if (fstat(in.fd, &st) != 0) return Unreadable("stat", downloaded);
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return Unreadable("not a regular file:", downloaded);
  }

  if (mkdir(parentDir.c_str(), 0700) != 0 && errno != EEXIST) return Unreadable("mkdir", parentDir);
  // Whoever may write the parent could swap the private folder for one of
  // their own: it must be ours, a real folder, and closed to others.
  struct stat parent;
  if (lstat(parentDir.c_str(), &parent) != 0) return Unreadable("stat", parentDir);
  if (!S_ISDIR(parent.st_mode) || parent.st_uid != geteuid() || (parent.st_mode & 022)) {
    errno = EPERM;
    return Unreadable("not a private folder of this user:", parentDir);
  }
  std::string folder = parentDir + "/XXXXXX";
  if (!mkdtemp(folder.data())) return Unreadable("mkdtemp in", parentDir);
  std::string copy = folder + "/" + fileName;
  auto discard = [&] {
    unlink(copy.c_str());
    rmdir(folder.c_str());
  };

  Sha256 hash;
  {
    Fd out(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
    if (out.fd < 0) {
      KeptPackage failed = Unreadable("create", copy);
      discard();
      return failed;
    }
    char buf[1 << 16];
    for (;;) {
      ssize_t n = read(in.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        KeptPackage failed = Unreadable("read", downloaded);
        discard();
        return failed;
      }
      if (n == 0) break;
      hash.Update(buf, static_cast<std::size_t>(n));
      if (!WriteAll(out.fd, buf, static_cast<std::size_t>(n))) {
        KeptPackage failed = Unreadable("write", copy);
        discard();
        return failed;
      }
    }
    // Closed here: a program file still open for writing cannot be started.
    if (close(out.fd) != 0) {
      out.fd = -1;
      KeptPackage failed = Unreadable("write", copy);
      discard();
      return failed;
    }
    out.fd = -1;
  }

  kept.verdict = CheckSignature(keyBase64, sigBase64, product, version, hash.Hex());
  if (kept.verdict == Verdict::kValid) {
    kept.path = copy;
  } else {
    discard();
  }
  return kept;
}

}  // namespace update
