#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/classes/ScopeGuard.h"

namespace velmora {
namespace {

TEST(ScopeGuardTest, CleansUpOnReturnAndOnExceptionInReverseOrder) {
  std::vector<int> order;
  {
    TScopeGuard first([&] { order.push_back(1); });
    TScopeGuard second([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
  }
  EXPECT_EQ(order, (std::vector<int>{2, 1}));

  order.clear();
  EXPECT_THROW(
      {
        TScopeGuard guard([&] { order.push_back(3); });
        throw std::runtime_error("leaving");
      },
      std::runtime_error);
  EXPECT_EQ(order, std::vector<int>{3});
}

// The undo of a step runs only when what follows the step fails, also when
// the scope itself is left while another exception is already unwinding.
TEST(ScopeGuardTest, FailureGuardUndoesOnlyWhenLeftByAnException) {
  int undone = 0;
  {
    TFailureGuard guard([&] { ++undone; });
  }
  EXPECT_EQ(undone, 0);

  EXPECT_THROW(
      {
        TFailureGuard guard([&] { ++undone; });
        throw std::runtime_error("step failed");
      },
      std::runtime_error);
  EXPECT_EQ(undone, 1);

  struct TInUnwinding {
    int& undone;
    ~TInUnwinding() {
      // Runs while "outer" unwinds; this scope itself ends normally.
      TFailureGuard guard([&] { ++undone; });
    }
  };
  EXPECT_THROW(
      {
        TInUnwinding unwinding{undone};
        throw std::runtime_error("outer");
      },
      std::runtime_error);
  EXPECT_EQ(undone, 1);
}

}  // namespace
}  // namespace velmora
