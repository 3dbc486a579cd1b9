#include "app/ClientConfig.h"

#include <tinyxml.h>

#include <cstring>
#include <vector>

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
  m_pDoc = std::make_unique<TiXmlDocument>();
  auto resource = res::Find(kConfigType, kConfigId);
  if (!resource || resource->empty()) return;

  // A copy one byte longer than the resource, so the text always ends in a
  // NUL; the document is the text up to its first NUL.
  std::vector<char> buffer(resource->size() + 1, '\0');
  std::memcpy(buffer.data(), resource->data(), resource->size());
  std::string doc(buffer.data());

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
  m_pDoc->Parse(utf8.c_str(), nullptr, TIXML_ENCODING_UTF8);
}

std::string ClientConfig::GetValue(const char* key) const {
  if (!m_pDoc || !key) return {};
  const TiXmlElement* root = nullptr;
  for (const TiXmlNode* node = m_pDoc->FirstChild(); node && !root; node = node->NextSibling())
    root = node->ToElement();
  if (!root) return {};
  const TiXmlElement* config = root->FirstChildElement();
  if (!config) return {};
  const char* value = config->Attribute(key);
  return value ? std::string(value) : std::string();
}
