// torvane-sign: the operator's tool for signed update packages. It makes an
// Ed25519 key pair (the private key stays with the operator, off the web
// server; the public key goes into the client's configuration as
// updateKey), signs a package for one product and version (the value of the
// version document's CLIENT sig attribute), and checks such a signature the
// way the client does. Usage: README.md, section torvane-sign.
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/UpdateSignature.h"

namespace {

constexpr int kOk = 0;
constexpr int kMismatch = 1;
constexpr int kUsage = 2;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

void Usage() {
  std::fprintf(stderr,
               "usage: torvane-sign keygen PRIVATE_KEY_FILE\n"
               "       torvane-sign public PRIVATE_KEY_FILE\n"
               "       torvane-sign sign --key PRIVATE_KEY_FILE --product NAME --version VERSION [--url URL] PACKAGE\n"
               "       torvane-sign verify --key UPDATE_KEY --product NAME --version VERSION --sig SIGNATURE PACKAGE\n"
               "NAME is the client's userClientAbout as UTF-8; UPDATE_KEY the base64 public key (updateKey).\n");
}

// Options "--name value" and one operand; false on anything else.
bool ParseOptions(int argc, char** argv, int first, const std::vector<std::string>& names,
                  std::map<std::string, std::string>* options, std::string* operand) {
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) == 0) {
      bool known = false;
      for (const auto& n : names) known = known || a == "--" + n;
      if (!known || i + 1 >= argc) {
        std::fprintf(stderr, "torvane-sign: %s %s\n", a.c_str(), known ? "needs a value" : "is not an option here");
        return false;
      }
      (*options)[a.substr(2)] = argv[++i];
    } else if (operand->empty()) {
      *operand = a;
    } else {
      std::fprintf(stderr, "torvane-sign: one package only ('%s')\n", a.c_str());
      return false;
    }
  }
  return !operand->empty();
}

bool HashFile(const std::string& path, std::string* hex) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "torvane-sign: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  update::Sha256 hash;
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::fprintf(stderr, "torvane-sign: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
      close(fd);
      return false;
    }
    if (n == 0) break;
    hash.Update(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  *hex = hash.Hex();
  return true;
}

Pkey ReadPrivateKey(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    std::fprintf(stderr, "torvane-sign: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  Pkey key(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
  std::fclose(f);
  if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
    std::fprintf(stderr, "torvane-sign: %s holds no Ed25519 private key\n", path.c_str());
    return nullptr;
  }
  return key;
}

std::string PublicKeyBase64(EVP_PKEY* key) {
  unsigned char raw[32];
  std::size_t len = sizeof raw;
  if (EVP_PKEY_get_raw_public_key(key, raw, &len) != 1 || len != sizeof raw) return std::string();
  return update::EncodeBase64(std::string(reinterpret_cast<char*>(raw), len));
}

std::string XmlEscape(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

int Keygen(const std::string& path) {
  Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  if (!key) {
    std::fprintf(stderr, "torvane-sign: no key could be made\n");
    return kUsage;
  }
  // Never replaces a key: a lost private key cannot sign for the clients out there.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "torvane-sign: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return kUsage;
  }
  FILE* f = fdopen(fd, "w");
  bool ok = false;
  if (f) {
    ok = PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    ok = std::fclose(f) == 0 && ok;
  } else {
    close(fd);
  }
  if (!ok) {
    std::fprintf(stderr, "torvane-sign: cannot write %s\n", path.c_str());
    unlink(path.c_str());
    return kUsage;
  }
  std::printf("%s\n", PublicKeyBase64(key.get()).c_str());
  return kOk;
}

int Public(const std::string& path) {
  Pkey key = ReadPrivateKey(path);
  if (!key) return kUsage;
  std::printf("%s\n", PublicKeyBase64(key.get()).c_str());
  return kOk;
}

int Sign(const std::map<std::string, std::string>& o, const std::string& package) {
  for (const char* need : {"key", "product", "version"})
    if (!o.count(need)) {
      std::fprintf(stderr, "torvane-sign: sign needs --%s\n", need);
      return kUsage;
    }
  Pkey key = ReadPrivateKey(o.at("key"));
  std::string hex;
  if (!key || !HashFile(package, &hex)) return kUsage;
  std::string text = update::SignedText(o.at("product"), o.at("version"), hex);
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  unsigned char sig[64];
  std::size_t len = sizeof sig;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), sig, &len, reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
    std::fprintf(stderr, "torvane-sign: signing failed\n");
    return kUsage;
  }
  std::string b64 = update::EncodeBase64(std::string(reinterpret_cast<char*>(sig), len));
  if (o.count("url"))
    std::printf("<CLIENT version=\"%s\" url=\"%s\" sig=\"%s\"/>\n", XmlEscape(o.at("version")).c_str(),
                XmlEscape(o.at("url")).c_str(), b64.c_str());
  else
    std::printf("%s\n", b64.c_str());
  return kOk;
}

int Verify(const std::map<std::string, std::string>& o, const std::string& package) {
  for (const char* need : {"key", "product", "version", "sig"})
    if (!o.count(need)) {
      std::fprintf(stderr, "torvane-sign: verify needs --%s\n", need);
      return kUsage;
    }
  std::string hex;
  if (!HashFile(package, &hex)) return kUsage;
  update::Verdict v = update::CheckSignature(o.at("key"), o.at("sig"), o.at("product"), o.at("version"), hex);
  if (v == update::Verdict::kValid) {
    std::printf("good: %s\n", update::Describe(v));
    return kOk;
  }
  std::fprintf(stderr, "torvane-sign: bad: %s\n", update::Describe(v));
  return kMismatch;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return kUsage;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    Usage();
    return kOk;
  }
  if ((command == "keygen" || command == "public") && argc == 3)
    return command == "keygen" ? Keygen(argv[2]) : Public(argv[2]);
  std::map<std::string, std::string> options;
  std::string package;
  if (command == "sign" && ParseOptions(argc, argv, 2, {"key", "product", "version", "url"}, &options, &package))
    return Sign(options, package);
  if (command == "verify" && ParseOptions(argc, argv, 2, {"key", "product", "version", "sig"}, &options, &package))
    return Verify(options, package);
  Usage();
  return kUsage;
}
