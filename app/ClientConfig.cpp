#include "app/ClientConfig.h"

#include <tinyxml.h>

#include <string>

#include "app/ShellSetup.h"
#include "platform/base/Resources.h"
#include "platform/base/Text.h"

namespace {

// The configuration document's resource.
constexpr const char* kConfigType = "XML";
constexpr int kConfigId = 400;

ClientConfig* g_pConfig = nullptr;

}  // namespace

ClientConfig* ClientConfig::Get() {
  if (!g_pConfig) {
    // Set before Load runs, so that what Load calls finds this object.
    g_pConfig = new ClientConfig;
    g_pConfig->Load();
  }
  return g_pConfig;
}

ClientConfig* ClientConfig::GetForClient() {
  ClientConfig* config = Get();
  if (!config->m_bShellSetUp) {
    config->m_bShellSetUp = true;
    RunShellSetup(*config, ShellPlaces::ForThisProcess());
  }
  return config;
}

void ClientConfig::Destroy() { delete g_pConfig; }

void ClientConfig::ResetForTesting() {
  if (!g_pConfig) return;
  g_pConfig->m_bSaveOnDestroy = false;
  delete g_pConfig;
}

ClientConfig::ClientConfig() = default;

ClientConfig::~ClientConfig() {
  if (m_bSaveOnDestroy) SaveSettings();
  if (g_pConfig == this) g_pConfig = nullptr;
}

void ClientConfig::Load() {
  ReadDocument();
  m_strRegKeyPath = text::Format("SOFTWARE\\Velmora\\%s", GetUserClientAbout().c_str());
  LoadSettings();
  // The browser and shell set-up follows in the client process only (GetForClient).
}

void ClientConfig::ReadDocument() {
  auto resource = res::Find(kConfigType, kConfigId);
  if (!resource || resource->empty()) {
    m_pDoc = std::make_unique<TiXmlDocument>();
    return;
  }
  m_pDoc = ParseDocument(std::string_view(reinterpret_cast<const char*>(resource->data()), resource->size()));
}

std::unique_ptr<TiXmlDocument> ClientConfig::ParseDocument(std::string_view bytes) {
  auto parsed = std::make_unique<TiXmlDocument>();
  // The document is the text up to its first NUL.
  std::string doc(bytes.substr(0, bytes.find('\0')));

  // CR LF and a lone CR become LF.
  std::string lines;
  lines.reserve(doc.size());
  for (std::size_t i = 0; i < doc.size(); ++i) {
    if (doc[i] == '\r') {
      lines += '\n';
      if (i + 1 < doc.size() && doc[i + 1] == '\n') ++i;
    } else {
      lines += doc[i];
    }
  }

  // The embedded document is gb2312; values are handed out as UTF-8, so the
  // text is decoded by its declaration first and parsed as UTF-8. Parse
  // errors are not reported: whatever the parser built stays.
  std::string utf8 = text::DecodeDocument(lines);
  parsed->Parse(utf8.c_str(), nullptr, TIXML_ENCODING_UTF8);
  return parsed;
}

std::string ClientConfig::GetValue(const char* key) const { return ValueOf(m_pDoc.get(), key); }

std::string ClientConfig::ValueOf(const TiXmlDocument* doc, const char* key) {
  if (!doc || !key) return {};
  const TiXmlElement* root = nullptr;
  for (const TiXmlNode* node = doc->FirstChild(); node && !root; node = node->NextSibling())
    root = node->ToElement();
  if (!root) return {};
  const TiXmlElement* config = root->FirstChildElement();
  if (!config) return {};
  const char* value = config->Attribute(key);
  if (!value) return {};
  // The document is UTF-8 by now, but a character reference can still name a
  // code point UTF-8 cannot carry ("&#xD800;"): such bytes are replaced, so
  // every value is valid UTF-8.
  return text::IsValidUtf8(value) ? std::string(value) : text::SanitizeUtf8(value);
}
