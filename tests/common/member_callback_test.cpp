#include "common/member_callback.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

struct Counter {
  int calls = 0;
  int sum = 0;
  void tick() { ++calls; }
  void add(int value) { ++calls, sum += value; }
  void addTwo(int a, int b) { ++calls, sum += a * b; }
};

TEST(MemberCallbackTest, CallsTheBoundMemberOfTheBoundObjectAndNothingWhenUnset) {
  MemberCallback<> none;
  EXPECT_FALSE(none.isSet());
  none();  // must not crash
  EXPECT_FALSE(MemberCallback<int>::bind<Counter>(nullptr, &Counter::add).isSet());

  Counter first, second;
  MemberCallback<>::bind(&first, &Counter::tick)();
  MemberCallback<int, int>::bind(&first, &Counter::addTwo)(3, 4);
  auto add = MemberCallback<int>::bind(&first, &Counter::add);
  const auto copy = add;
  EXPECT_EQ(copy, add);
  copy(5);
  EXPECT_EQ(first.calls, 3);
  EXPECT_EQ(first.sum, 17);
  add = MemberCallback<int>::bind(&second, &Counter::add);
  add(7);
  EXPECT_EQ(second.sum, 7);
  EXPECT_EQ(first.sum, 17);
  add.reset();
  EXPECT_FALSE(add.isSet());
}

}  // namespace
}  // namespace tessary
