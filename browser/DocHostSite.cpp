#include "browser/DocHostSite.h"

#include "browser/IEView.h"

HRESULT CDocHostSite::GetHostInfo(DOCHOSTUIINFO* info) const {
  if (!info) return E_NOINTERFACE;
  info->cbSize = 20;
  info->dwFlags = m_pView ? m_pView->HostFlags() : CIEView::kHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT CDocHostSite::ProcessUrlAction(std::uint32_t action, std::uint8_t* policy, std::uint32_t policySize) {
  std::uint32_t chosen;
  if (action >= URLACTION_ACTIVEX_MIN && action <= URLACTION_ACTIVEX_MAX)
    chosen = URLPOLICY_ALLOW;
  else if (action >= URLACTION_SCRIPT_MIN && action <= URLACTION_SCRIPT_MAX)
    chosen = URLPOLICY_ALLOW;
  else
    return INET_E_DEFAULT_ACTION;
  if (policySize < 4 || !policy) return S_FALSE;
  std::memcpy(policy, &chosen, 4);
  return S_OK;
}

HRESULT CDocHostSite::QueryService(const GUID& service, const GUID& iid, void** object) {
  if (!object) return E_NOINTERFACE;
  if (service == SID_SInternetSecurityManager && iid == IID_IInternetSecurityManager) {
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

web::EngineOptions CDocHostSite::EngineOptions() const {
  web::EngineOptions o;
  DOCHOSTUIINFO info;
  GetHostInfo(&info);
  o.border = !(info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER);
  o.scrollBars = !(info.dwFlags & DOCHOSTUIFLAG_SCROLL_NO);
  o.engineContextMenu = ShowContextMenu() == S_FALSE;
  o.engineScriptDialogs = ShowMessage() == S_FALSE;
  std::uint8_t policy[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  std::uint32_t value = 0xFFFFFFFF;
  if (ProcessUrlAction(URLACTION_SCRIPT_RUN, policy, sizeof policy) == S_OK) std::memcpy(&value, policy, 4);
  o.javascript = value == URLPOLICY_ALLOW;
  return o;
}
