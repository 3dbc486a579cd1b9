// The signed update packages: the signed text (against a signature made
// with the OpenSSL command-line tool), the rules a signature must pass,
// strict base64, and keeping a verified private copy of a package.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/UpdateSignature.h"
#include "tests/support/TestFiles.h"

namespace {

using update::Verdict;

// Made once with the OpenSSL tool from tools/operator/dev-update-key.pem:
//   printf 'hello\n' > pkg; H=$(sha256sum pkg | cut -d' ' -f1)
//   printf 'torvane-update\n琥珀航线\n1.0.0.2\n%s' $H | openssl pkeyutl -sign -rawin -inkey dev-update-key.pem
constexpr char kDevPublicKey[] = "M4KBcIqg6QS7nhRbYmiTx5W42mn1G/UWyMPrA71Oe9I=";
constexpr char kHelloSha256[] = "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03";
constexpr char kHelloSignature[] =
    "MwVitnUiuN1evQHqEjy8mJdv3xtyHCOartDFnQ45r4oiXjDGWVsuVE/B+w8pROdnvKeCJ3eEFbyZhaUVBrMCAw==";
constexpr char kProduct[] = "琥珀航线";

// An Ed25519 key pair from a fixed seed, signing the way an operator does.
class TestKey {
 public:
  explicit TestKey(unsigned char fill) {
    unsigned char seed[32];
    for (unsigned char& b : seed) b = fill++;
    key_.reset(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, sizeof seed));
  }
  std::string PublicBase64() const {
    unsigned char raw[32];
    std::size_t len = sizeof raw;
    EVP_PKEY_get_raw_public_key(key_.get(), raw, &len);
    return update::EncodeBase64(std::string(reinterpret_cast<char*>(raw), len));
  }
  std::string Sign(const std::string& text) const {
    unsigned char sig[64];
    std::size_t len = sizeof sig;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_.get());
    EVP_DigestSign(ctx, sig, &len, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    EVP_MD_CTX_free(ctx);
    return update::EncodeBase64(std::string(reinterpret_cast<char*>(sig), len));
  }
  std::string SignPackage(const std::string& product, const std::string& version, const std::string& bytes) const {
    return Sign(update::SignedText(product, version, update::Sha256Hex(bytes)));
  }

 private:
  struct Free {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
  };
  std::unique_ptr<EVP_PKEY, Free> key_;
};

TEST(UpdateSignatureTest, SignedTextMatchesWhatTheOpenSslToolSigned) {
  EXPECT_EQ(update::SignedText(kProduct, "1.0.0.2", kHelloSha256),
            std::string("torvane-update\n") + kProduct + "\n1.0.0.2\n" + kHelloSha256);
  EXPECT_EQ(update::Sha256Hex("hello\n"), kHelloSha256);
  EXPECT_EQ(update::CheckSignature(kDevPublicKey, kHelloSignature, kProduct, "1.0.0.2", kHelloSha256),
            Verdict::kValid);
}

TEST(UpdateSignatureTest, SignatureRules) {
  const TestKey key(1), other(101);
  const std::string pub = key.PublicBase64();
  const std::string package = "#!/bin/sh\nexit 0\n";
  const std::string hash = update::Sha256Hex(package);
  const std::string good = key.SignPackage("Game", "1.0.0.2", package);
  std::string flipped = good;
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  std::string shortSig;
  update::DecodeBase64(good, &shortSig);
  shortSig = update::EncodeBase64(shortSig.substr(0, 63));

  struct Case {
    const char* name;
    std::string key, sig, product, version, hash;
    Verdict expected;
  };
  const Case cases[] = {
      {"the signed package", pub, good, "Game", "1.0.0.2", hash, Verdict::kValid},
      {"white space around key and signature", " " + pub + "\n", "\t" + good + "\r\n", "Game", "1.0.0.2", hash,
       Verdict::kValid},
      {"a package that changed", pub, good, "Game", "1.0.0.2", update::Sha256Hex(package + " "), Verdict::kMismatch},
      {"the hash in upper case", pub, good, "Game", "1.0.0.2",
       [&] {
         std::string h = hash;
         for (char& c : h) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
         return h;
       }(),
       Verdict::kMismatch},
      {"another product's signature", pub, good, "Other", "1.0.0.2", hash, Verdict::kMismatch},
      {"a signature replayed for a newer number", pub, good, "Game", "1.0.0.3", hash, Verdict::kMismatch},
      {"the version spelt otherwise", pub, good, "Game", "1.0.0.02", hash, Verdict::kMismatch},
      {"signed with another key", pub, other.SignPackage("Game", "1.0.0.2", package), "Game", "1.0.0.2", hash,
       Verdict::kMismatch},
      {"checked with another key", other.PublicBase64(), good, "Game", "1.0.0.2", hash, Verdict::kMismatch},
      {"a flipped signature byte", pub, flipped, "Game", "1.0.0.2", hash, Verdict::kMismatch},
      {"no key", "", good, "Game", "1.0.0.2", hash, Verdict::kNoKey},
      {"a blank key", "  ", good, "Game", "1.0.0.2", hash, Verdict::kNoKey},
      {"a key that is not base64", "not a key!", good, "Game", "1.0.0.2", hash, Verdict::kBadKey},
      {"a key of 31 bytes", update::EncodeBase64(std::string(31, 'k')), good, "Game", "1.0.0.2", hash,
       Verdict::kBadKey},
      {"no signature", pub, "", "Game", "1.0.0.2", hash, Verdict::kNoSignature},
      {"a signature that is not base64", pub, "%%%%", "Game", "1.0.0.2", hash, Verdict::kBadSignature},
      {"a signature of 63 bytes", pub, shortSig, "Game", "1.0.0.2", hash, Verdict::kBadSignature},
      {"a signature with a byte more", pub, update::EncodeBase64(std::string(65, 's')), "Game", "1.0.0.2", hash,
       Verdict::kBadSignature},
  };
  for (const Case& c : cases)
    EXPECT_EQ(update::CheckSignature(c.key, c.sig, c.product, c.version, c.hash), c.expected) << c.name;
}

TEST(UpdateSignatureTest, Base64IsStrict) {
  for (std::size_t n = 0; n <= 7; ++n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>(0xF0 + i);
    std::string back;
    ASSERT_TRUE(update::DecodeBase64(update::EncodeBase64(bytes), &back)) << n;
    EXPECT_EQ(back, bytes) << n;
  }
  EXPECT_EQ(update::EncodeBase64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(update::EncodeBase64("fo"), "Zm8=");

  struct Case {
    const char* text;
    bool ok;
    std::string bytes;
  };
  const Case cases[] = {
      {"Zm9v", true, "foo"},   {" Zm8=\n", true, "fo"}, {"Zg==", true, "f"},    {"", true, ""},
      {"Zh==", false, ""},     {"Zm9=", false, ""},     {"Zm8", false, ""},     {"Z===", false, ""},
      {"Zm=8", false, ""},     {"Zg==Zg==", false, ""}, {"Zm 9v", false, ""},   {"Zm9v-_==", false, ""},
      {"Zm9\xc3\xa9", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(update::DecodeBase64(c.text, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.bytes : "untouched") << c.text;
  }
}

TEST(UpdateSignatureTest, PackageFileNameIsOneSafeComponent) {
  struct Case {
    const char* url;
    const char* name;
  };
  const Case cases[] = {
      {"http://127.0.0.1:18630/update/package.sh", "package.sh"},
      {"http://h/dl/setup-1.0.0.2.bin?x=1#top", "setup-1.0.0.2.bin"},
      {"http://h/dl/../../.bashrc", "bashrc"},
      {"http://h/dl/", "update"},
      {"http://h/a%2Fb c$(id).sh", "a2Fbcid.sh"},
      {"", "update"},
  };
  for (const Case& c : cases) EXPECT_EQ(update::PackageFileName(c.url), c.name) << c.url;
  EXPECT_EQ(update::PackageFileName("http://h/" + std::string(300, 'x')).size(), 100u);
}

TEST(UpdateSignatureTest, VersionDocumentsOfEveryShape) {
  struct Case {
    const char* what;
    std::string doc;
    bool read;
    update::VersionNotice notice;
  };
  const std::string kReplaced = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"the published shape",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VERSIONINFO>\n  <CLIENT version=\"1.0.0.2\" "
       "url=\"http://h/dl/setup.bin\" sig=\"c2ln\"/>\n</VERSIONINFO>\n",
       true, {"1.0.0.2", "http://h/dl/setup.bin", "c2ln"}},
      {"any first element, other children and attributes, gb2312",
       "<?xml version=\"1.0\" encoding=\"gb2312\"?><U note=\"x\"><OTHER/><CLIENT a=\"b\" version=\"\xD6\xD0\"/></U>",
       true, {"\xE4\xB8\xAD", "", ""}},
      {"character references UTF-8 cannot carry",
       "<V><CLIENT version=\"1.0&#xD800;\" url=\"http://h/&#x110000;\" sig=\"&#xDFFF;\"/></V>", true,
       {"1.0" + kReplaced + kReplaced + kReplaced, "http://h/" + kReplaced + kReplaced + kReplaced + kReplaced,
        kReplaced + kReplaced + kReplaced}},
      {"CLIENT deeper down", "<V><X><CLIENT version=\"2\"/></X></V>", false, {}},
      {"CLIENT under a second root", "<V/><W><CLIENT version=\"2\"/></W>", false, {}},
      {"broken markup", "<V><CLIENT version=\"2\"/>", false, {}},
      {"cut by a NUL", std::string("<V><CLIENT version=\"2\"/>\0</V>", 29), false, {}},
      {"empty", "", false, {}},
  };
  for (const Case& c : cases) {
    update::VersionNotice notice{"unset", "unset", "unset"};
    ASSERT_EQ(update::ReadVersionDocument(c.doc, &notice), c.read) << c.what;
    if (!c.read) {
      EXPECT_EQ(notice.version, "unset") << c.what;
      continue;
    }
    EXPECT_EQ(notice.version, c.notice.version) << c.what;
    EXPECT_EQ(notice.url, c.notice.url) << c.what;
    EXPECT_EQ(notice.sig, c.notice.sig) << c.what;
  }
}

class KeepPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("torvane-keep-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    parent_ = (dir_ / "updates").string();
    download_ = (dir_ / "download").string();
    WriteFile(download_, package_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  update::KeptPackage Keep(const std::string& sig, const std::string& version = "1.0.0.2") {
    return update::KeepVerifiedPackage(download_, parent_, "package.sh", key_.PublicBase64(), sig, "Game", version);
  }
  bool ParentIsEmpty() const {
    return !std::filesystem::exists(parent_) || std::filesystem::is_empty(parent_);
  }

  std::filesystem::path dir_;
  std::string parent_, download_;
  const std::string package_ = "#!/bin/sh\necho updated\n";
  const TestKey key_{7};
};

TEST_F(KeepPackageTest, AVerifiedPackageIsCopiedIntoAFolderOnlyItsUserCanEnter) {
  update::KeptPackage kept = Keep(key_.SignPackage("Game", "1.0.0.2", package_));
  ASSERT_EQ(kept.verdict, Verdict::kValid) << kept.error;
  std::filesystem::path copy = kept.path;
  EXPECT_EQ(copy.filename(), "package.sh");
  EXPECT_EQ(copy.parent_path().parent_path(), std::filesystem::path(parent_));
  EXPECT_EQ(ReadFile(kept.path), package_);
  struct stat folder, file, parent;
  ASSERT_EQ(stat(copy.parent_path().c_str(), &folder), 0);
  ASSERT_EQ(stat(kept.path.c_str(), &file), 0);
  ASSERT_EQ(stat(parent_.c_str(), &parent), 0);
  EXPECT_EQ(folder.st_mode & 07777, 0700u);
  EXPECT_EQ(file.st_mode & 07777, 0700u);
  EXPECT_EQ(parent.st_mode & 07777, 0700u);
  EXPECT_EQ(ReadFile(download_), package_) << "the download is the caller's to delete";

  // A second package gets a folder of its own.
  update::KeptPackage again = Keep(key_.SignPackage("Game", "1.0.0.2", package_));
  ASSERT_EQ(again.verdict, Verdict::kValid);
  EXPECT_NE(std::filesystem::path(again.path).parent_path(), copy.parent_path());
}

TEST_F(KeepPackageTest, ARefusedPackageLeavesNothingBehind) {
  EXPECT_EQ(Keep(key_.SignPackage("Game", "1.0.0.3", package_)).verdict, Verdict::kMismatch);
  EXPECT_TRUE(ParentIsEmpty());
  EXPECT_EQ(Keep("").verdict, Verdict::kNoSignature);
  EXPECT_TRUE(ParentIsEmpty());
  EXPECT_EQ(update::KeepVerifiedPackage(download_, parent_, "p", "", key_.SignPackage("Game", "1.0.0.2", package_),
                                        "Game", "1.0.0.2")
                .verdict,
            Verdict::kNoKey);
  EXPECT_TRUE(ParentIsEmpty());
}

TEST_F(KeepPackageTest, OnlyARegularFileInAPrivateParentIsKept) {
  const std::string sig = key_.SignPackage("Game", "1.0.0.2", package_);
  // A link in the download's place is not followed, even to the signed bytes.
  std::string real = (dir_ / "real").string();
  WriteFile(real, package_);
  std::filesystem::remove(download_);
  std::filesystem::create_symlink(real, download_);
  update::KeptPackage kept = Keep(sig);
  EXPECT_EQ(kept.verdict, Verdict::kUnreadable);
  EXPECT_NE(kept.error.find("download"), std::string::npos) << kept.error;
  EXPECT_TRUE(ParentIsEmpty());

  std::filesystem::remove(download_);
  std::filesystem::create_directory(download_);
  EXPECT_EQ(Keep(sig).verdict, Verdict::kUnreadable);
  std::filesystem::remove(download_);
  EXPECT_EQ(Keep(sig).verdict, Verdict::kUnreadable) << "a download that is gone";
  WriteFile(download_, package_);

  // A parent others may write, or a link in its place, could have the
  // private folder swapped: refused.
  std::filesystem::create_directory(parent_);
  chmod(parent_.c_str(), 0777);
  EXPECT_EQ(Keep(sig).verdict, Verdict::kUnreadable);
  EXPECT_TRUE(std::filesystem::is_empty(parent_));
  std::filesystem::remove(parent_);
  std::filesystem::create_directory(dir_ / "elsewhere");
  chmod((dir_ / "elsewhere").c_str(), 0700);
  std::filesystem::create_directory_symlink(dir_ / "elsewhere", parent_);
  EXPECT_EQ(Keep(sig).verdict, Verdict::kUnreadable);
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "elsewhere"));
}

}  // namespace
