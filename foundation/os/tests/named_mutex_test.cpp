#include "foundation/os/named_mutex.h"

#include <gtest/gtest.h>

#include "foundation/os/process.h"
#include "testing/test_support.h"

namespace velmora::os {
namespace {

class NamedMutexTest : public ::testing::Test {
 protected:
  testing::IsolatedSystem system_;
};

TEST_F(NamedMutexTest, SecondHandleSeesTheObjectUntilTheFirstCloses) {
  NamedMutex first;
  ASSERT_EQ(first.Create("Global\\Velmora Launcher", true), NamedMutexOutcome::kCreated);
  NamedMutex second;
  EXPECT_EQ(second.Create("Global\\Velmora Launcher", true), NamedMutexOutcome::kAlreadyExists);
  EXPECT_TRUE(second.IsOpen());
  second.Close();
  // A different name is a different object.
  NamedMutex other;
  EXPECT_EQ(other.Create("Global\\Velmora", false), NamedMutexOutcome::kCreated);
  first.Release();
  first.Close();
  NamedMutex third;
  EXPECT_EQ(third.Create("Global\\Velmora Launcher", true), NamedMutexOutcome::kCreated);
}

TEST_F(NamedMutexTest, AnotherProcessHoldingTheMutexIsSeenAndItsDeathFreesIt) {
  ChildProcess holder;
  ChildProcessOptions options;
  options.capture_output = true;
  ASSERT_TRUE(holder.Start(testing::ProgramPath("velmora-test-helper"),
                           {"hold-mutex", "Global\\Velmora", "60000"}, options));
  // Wait until the child reports that it holds the object.
  bool held = false;
  for (int i = 0; i < 400 && !held; ++i) {
    holder.Wait(std::chrono::milliseconds(25));
    held = holder.Output().find("created") != std::string::npos;
  }
  ASSERT_TRUE(held) << holder.Output();
  NamedMutex probe;
  EXPECT_EQ(probe.Create("Global\\Velmora", false), NamedMutexOutcome::kAlreadyExists);
  probe.Close();

  holder.Kill();
  ASSERT_TRUE(holder.Wait(std::chrono::seconds(20)).has_value());
  NamedMutex after;
  EXPECT_EQ(after.Create("Global\\Velmora", false), NamedMutexOutcome::kCreated);
}

}  // namespace
}  // namespace velmora::os
