// Work on a second thread: what it leaves is there once it is waited for,
// what it raised comes out of the wait, and its owner's end waits for it.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "BackgroundWork.h"

namespace {

TEST(BackgroundWork, WaitGivesItsResultOrItsErrorAndTheEndWaitsToo) {
  // The work runs while this thread goes on: it waits for a sign from here.
  std::atomic<bool> go{false};
  int result = 0;
  TBackgroundWork work([&]() {
    while (!go) ::Sleep(1);
    result = 42;
  });
  go = true;
  work.Wait();
  EXPECT_EQ(result, 42);
  work.Wait();  // once more: nothing left to wait for

  TBackgroundWork failing([]() { throw std::runtime_error("no memory for the list"); });
  EXPECT_THROW(failing.Wait(), std::runtime_error);
  EXPECT_NO_THROW(failing.Wait()) << "raised once";

  std::atomic<bool> ended{false};
  {
    TBackgroundWork slow([&]() {
      ::Sleep(50);
      ended = true;
    });
  }
  EXPECT_TRUE(ended) << "its owner's end did not wait for it";
}

}  // namespace

#endif
