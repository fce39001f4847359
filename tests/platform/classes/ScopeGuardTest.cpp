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

}  // namespace
}  // namespace velmora
