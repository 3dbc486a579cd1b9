#include <gtest/gtest.h>

#include <thread>

#include "transfer/Event.h"

using transfer::Event;
using transfer::kWaitTimeout;
using transfer::WaitForAny;

TEST(Event, StaysSetUntilResetAndWaitAnyNamesTheFirstSetEvent) {
  Event a, b, c;
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), kWaitTimeout);
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 20), kWaitTimeout);
  c.Set();
  b.Set();
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), 1);
  EXPECT_EQ(WaitForAny({&a, &b, &c}, transfer::kInfinite), 1);  // manual reset: still set
  b.Reset();
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), 2);
  EXPECT_TRUE(c.Wait(0));
  EXPECT_FALSE(a.Wait(0));
}

TEST(Event, ASetFromAnotherThreadEndsAWaitWithoutTimeOut) {
  Event stop, work;
  std::thread t([&] { work.Set(); });
  EXPECT_EQ(WaitForAny({&stop, &work}, transfer::kInfinite), 1);
  t.join();
}

TEST(ThreadHandle, IsWaitableAndKeepsTheExitCode) {
  Event go;
  transfer::ThreadHandle h([&go]() -> std::uint32_t {
    go.Wait();
    return 42;
  });
  std::uint32_t code = 0;
  EXPECT_FALSE(h.GetExitCode(&code));
  EXPECT_FALSE(h.Wait(0));
  go.Set();
  ASSERT_TRUE(h.Wait(10000));
  ASSERT_TRUE(h.GetExitCode(&code));
  EXPECT_EQ(code, 42u);
}
