#include <gtest/gtest.h>

#include "transfer/ThreadBase.h"

namespace {

// A worker whose body waits for the stop event and counts its runs.
class StopWaiter : public CThreadBase {
 public:
  ~StopWaiter() override { StopAndJoin(); }
  std::atomic<int> runs{0};

 protected:
  std::uint32_t Run() override {
    ++runs;
    m_hStopEvent.Wait();
    return 7;
  }
};

TEST(CThreadBase, FollowsTheStateTable) {
  StopWaiter w;
  EXPECT_EQ(w.GetState(), 0);
  EXPECT_EQ(w.GetThreadHandle(), nullptr);
  w.Pause();  // only from running
  w.Resume();  // only from paused
  EXPECT_EQ(w.GetState(), 0);
  EXPECT_EQ(w.GetThreadHandle(), nullptr);

  w.Start(TRUE);
  EXPECT_EQ(w.GetState(), 1);
  EXPECT_EQ(w.GetThreadHandle(), nullptr);  // suspended: no thread yet
  w.Resume();
  EXPECT_EQ(w.GetState(), 2);
  ASSERT_NE(w.GetThreadHandle(), nullptr);  // Resume created it

  w.Pause();
  EXPECT_EQ(w.GetState(), 1);
  w.Resume();
  EXPECT_EQ(w.GetState(), 2);

  w.Stop();
  ASSERT_TRUE(w.GetThreadHandle()->Wait(10000));
  std::uint32_t code = 0;
  ASSERT_TRUE(w.GetThreadHandle()->GetExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(w.GetState(), 2);  // ending by itself does not change the state

  // A new Start clears the stop event and runs a new thread.
  w.Start(FALSE);
  EXPECT_EQ(w.GetState(), 2);
  ASSERT_NE(w.GetThreadHandle(), nullptr);
  w.Stop();
  ASSERT_TRUE(w.GetThreadHandle()->Wait(10000));
  EXPECT_EQ(w.runs, 2);
}

TEST(CThreadBase, StartNeverRunsTwoThreadsAndDestructionJoins) {
  auto w = std::make_unique<StopWaiter>();
  w->Start(FALSE);
  transfer::ThreadHandle* first = w->GetThreadHandle();
  w->Start(FALSE);
  EXPECT_EQ(w->GetThreadHandle(), first);
  w.reset();  // stops and joins; a crash or hang here is the failure
}

}  // namespace
