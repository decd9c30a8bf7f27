#include "backend/tests/backend_test_server.h"

#include <gtest/gtest.h>

#include "foundation/os/environment.h"

namespace velmora::testing {
namespace {

class BackendServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(BackendServer().Start());
    os::SetEnvironmentValue("VELMORA_PRODUCTION_HOST",
                               "127.0.0.1:" + std::to_string(BackendServer().port()));
    os::SetEnvironmentValue("VELMORA_TEST_HOST", std::string(kUnfetchedTestHost));
  }
  void TearDown() override { BackendServer().Stop(); }
};

const auto* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new BackendServerEnvironment());

}  // namespace

LoopbackHttpServer& BackendServer() {
  static LoopbackHttpServer server;
  return server;
}

}  // namespace velmora::testing
