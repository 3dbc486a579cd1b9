// The document host site: the fixed answers a browser view gives its engine
// about how pages behave, one site per view.
//
// The engine here asks no questions at run time; the view builds the
// engine's settings from these answers when it creates its engine
// (EngineOptions):
//   ShowMessage S_FALSE              -> script dialogs (alert, confirm, prompt) are the engine's own
//   ShowContextMenu S_FALSE          -> the engine's own context menu
//   GetHostInfo flags NO3DBORDER     -> no border around the page
//   GetHostInfo flags SCROLL_NO      -> pages show without scroll bars (a user style sheet)
//   TranslateAccelerator E_NOTIMPL   -> the engine handles every key; the host adds no key handling
//   ProcessUrlAction script range    -> JavaScript on
//   ProcessUrlAction ActiveX range   -> nothing to map: the engine runs no plug-in controls
//   every INET_E_DEFAULT_ACTION, GetOptionKeyPath/GetDropTarget/TranslateUrl/FilterDataObject
//   S_FALSE                          -> the engine's own defaults (addresses are not rewritten)
//   GetExternal S_OK                 -> window.external, the view's scripting object, in every page and frame
//
// Threads: user-interface thread only.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/web/BrowserEngine.h"

class CIEView;

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT INET_E_DEFAULT_ACTION = static_cast<HRESULT>(0x800C0011u);

// URL actions and policies of the security manager.
inline constexpr std::uint32_t URLACTION_ACTIVEX_MIN = 0x1200;
inline constexpr std::uint32_t URLACTION_ACTIVEX_MAX = 0x13FF;
inline constexpr std::uint32_t URLACTION_SCRIPT_MIN = 0x1400;
inline constexpr std::uint32_t URLACTION_SCRIPT_RUN = 0x1400;
inline constexpr std::uint32_t URLACTION_SCRIPT_MAX = 0x15FF;
inline constexpr std::uint32_t URLACTION_CROSS_DOMAIN_DATA = 0x1406;
inline constexpr std::uint32_t URLPOLICY_ALLOW = 0;

// DOCHOSTUIINFO flags the view reports.
inline constexpr std::uint32_t DOCHOSTUIFLAG_NO3DBORDER = 0x4;
inline constexpr std::uint32_t DOCHOSTUIFLAG_SCROLL_NO = 0x8;
inline constexpr std::uint32_t DOCHOSTUIFLAG_THEME = 0x40000;
inline constexpr std::uint32_t DOCHOSTUIDBLCLK_DEFAULT = 0;

struct DOCHOSTUIINFO {
  std::uint32_t cbSize = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwDoubleClick = 0;
  const char* pchHostCss = nullptr;
  const char* pchHostNS = nullptr;
};

struct GUID {
  std::uint32_t data1;
  std::uint16_t data2, data3;
  std::uint8_t data4[8];
  bool operator==(const GUID& o) const { return std::memcmp(this, &o, sizeof(GUID)) == 0; }
};
// {79EAC9EE-BAF9-11CE-8C82-00AA004BA90B}; also the service id SID_SInternetSecurityManager.
inline constexpr GUID IID_IInternetSecurityManager = {
    0x79EAC9EE, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr GUID SID_SInternetSecurityManager = IID_IInternetSecurityManager;
// {BD3F23C0-D43E-11CF-893B-00AA00BDCE1A}
inline constexpr GUID IID_IDocHostUIHandler = {
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

class CDocHostSite {
 public:
  explicit CDocHostSite(CIEView* view) : m_pView(view) {}

  // XDocHostShowUI.
  HRESULT ShowMessage() const { return S_FALSE; }
  HRESULT ShowHelp() const { return E_NOTIMPL; }
  // XDocHostUIHandler (the answers of the view's hooks).
  HRESULT ShowContextMenu() const { return S_FALSE; }
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) const;
  HRESULT TranslateAccelerator() const { return E_NOTIMPL; }
  HRESULT TranslateUrl() const { return S_FALSE; }
  // XInternetSecurityManager.
  static HRESULT ProcessUrlAction(std::uint32_t action, std::uint8_t* policy, std::uint32_t policySize);
  // XServiceProvider: the security manager is the one service; *object gets
  // this site's security manager (the site itself) or null.
  HRESULT QueryService(const GUID& service, const GUID& iid, void** object);

  // The engine settings these answers become.
  web::EngineOptions EngineOptions() const;

  CIEView* m_pView;
};
