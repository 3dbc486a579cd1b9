// ClientConfig: the process-wide client configuration. It owns the parsed
// configuration document compiled into the executable (XML 400, root
// CLIENTCONFIG, every value an attribute of its CONFIG child) and answers
// lookups by key; it also carries what the start-up finds elsewhere: the user
// settings (kept in the registry store under the settings key), the plug-in
// server path and the main window's class name.
//
// One object per process, created and loaded by the first ClientConfig::Get
// and deleted once at exit (ExitInstance); its destruction writes the user
// settings back first.
//
// Thread: the user-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

class TiXmlDocument;

class ClientConfig {
 public:
  // The one configuration; the first call creates it and runs Load (the
  // document, the settings key, the user settings). Reading the configuration
  // never changes anything outside the registry store's settings key.
  static ClientConfig* Get();
  // The client process's start-up only: Get, then, once per process, the
  // browser and shell set-up (plug-in lookup, the executable's product name,
  // desktop shortcuts, feature values; ShellSetup.h) for this process's
  // executable and the user's folders. Tests and tools call Get, so loading
  // the configuration there never renames or creates anything.
  static ClientConfig* GetForClient();
  // Deletes the one configuration, if it exists (writing the settings back);
  // the next Get creates a new one. The same as deleting Get()'s pointer.
  static void Destroy();
  // Tests: forgets the one configuration without writing the settings back,
  // so the next Get loads the current resources and store afresh.
  static void ResetForTesting();

  // The document as Load reads the resource's bytes (the text up to its
  // first NUL, line ends made LF, decoded by its declaration and parsed;
  // whatever a broken document built stays), and a value looked up in it as
  // GetValue does. For tests and fuzzers that read configuration documents
  // without the store.
  static std::unique_ptr<TiXmlDocument> ParseDocument(std::string_view bytes);
  static std::string ValueOf(const TiXmlDocument* doc, const char* key);

  ~ClientConfig();
  ClientConfig(const ClientConfig&) = delete;
  ClientConfig& operator=(const ClientConfig&) = delete;

  // The value of attribute key (exact case) of the document's configuration
  // element, as UTF-8 (bytes a character reference left that UTF-8 cannot
  // hold become U+FFFD); "" when the key, the element or the document is
  // missing. The document is walked on every call.
  std::string GetValue(const char* key) const;

  // One accessor per key the client looks up.
  std::string GetUserClientAbout() const { return GetValue("userClientAbout"); }
  std::string GetPaymentUrl() const { return GetValue("paymentUrl"); }
  std::string GetBbsUrl() const { return GetValue("bbsUrl"); }
  std::string GetGwUrl() const { return GetValue("gwUrl"); }
  std::string GetKfUrl() const { return GetValue("kfUrl"); }
  std::string GetUserInfoUrl() const { return GetValue("userInfoUrl"); }
  std::string GetHomeUrl() const { return GetValue("homeUrl"); }
  std::string GetConfigParam() const { return GetValue("configParam"); }
  std::string GetLoginCheck() const { return GetValue("loginCheck"); }
  std::string GetGameCheck() const { return GetValue("gameCheck"); }
  std::string GetRunPlugin() const { return GetValue("runPlugin"); }
  std::string GetImClass() const { return GetValue("imClass"); }
  std::string GetQuitTip() const { return GetValue("quitTip"); }
  std::string GetPwKey() const { return GetValue("pwKey"); }
  std::string GetCache() const { return GetValue("cache"); }
  std::string GetGwLink() const { return GetValue("gwLink"); }

  // Writes the three user settings to the settings key (UserSettings.cpp).
  void SaveSettings();

  // User settings: loaded at start-up, written back at exit.
  int HotKey = 0;
  int UseHotKey = 0;
  int AlwaysTop = 0;

  // "SOFTWARE\Velmora\<userClientAbout>" under HKEY_CURRENT_USER.
  std::string m_strRegKeyPath;
  // The browser plug-in's registered server file, or "".
  std::string m_strPluginPath;
  // The main frame's window class name, kept here while the process runs.
  std::string m_strWndClassName;

 private:
  ClientConfig();
  void Load();
  void ReadDocument();
  // Reads the three settings, creating missing or unreadable ones (UserSettings.cpp).
  void LoadSettings();

  std::unique_ptr<TiXmlDocument> m_pDoc;
  bool m_bSaveOnDestroy = true;
  bool m_bShellSetUp = false;  // GetForClient ran the shell set-up
};
