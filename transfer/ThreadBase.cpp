#include "transfer/ThreadBase.h"

#include <cstdio>
#include <system_error>

CThreadBase::~CThreadBase() { StopAndJoin(); }

void CThreadBase::Start(BOOL bSuspended) {
  // A thread that was asked to stop is on its way out (it may not have woken
  // yet): wait for it, so that clearing the stop event below cannot leave a
  // thread that is ending, or one that still holds the Stop's effects.
  if (m_pThread && m_hStopEvent.IsSet()) m_pThread.reset();  // joins
  m_hStopEvent.Reset();
  m_hPauseEvent.Reset();
  m_hResumeEvent.Reset();
  bool running = m_pThread && !m_pThread->Ended();
  if (bSuspended) {
    if (!running) m_pThread.reset();  // an ended thread: Resume creates a new one
    m_nState = 1;
    return;
  }
  m_nState = 2;
  if (running) return;
  m_pThread.reset();
  try {
    m_pThread = std::make_unique<transfer::ThreadHandle>([this] { return ThreadProc(this); });
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "torvane: cannot start a worker thread: %s\n", e.what());
    m_nState = 3;
  }
}

void CThreadBase::Pause() {
  if (m_nState != 2) return;
  m_hResumeEvent.Reset();
  m_hPauseEvent.Set();
  m_nState = 1;
}

void CThreadBase::Resume() {
  if (m_nState != 1) return;
  if (m_pThread) {
    m_hPauseEvent.Reset();
    m_hResumeEvent.Set();
    m_nState = 2;
  } else {
    Start(FALSE);
  }
}

void CThreadBase::Stop() {
  if (m_nState != 3) m_hStopEvent.Set();
}

int CThreadBase::GetState() { return m_nState; }

transfer::ThreadHandle* CThreadBase::GetThreadHandle() { return m_pThread.get(); }

void CThreadBase::StopAndJoin() {
  if (!m_pThread) return;
  m_hStopEvent.Set();
  m_pThread.reset();  // joins
}
