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

TEST(MemberCallbackTest, EmptyIsNotSetAndCallingItDoesNothing) {
  MemberCallback<> none;
  EXPECT_FALSE(none.isSet());
  none();  // must not crash
  EXPECT_FALSE(MemberCallback<int>::bind<Counter>(nullptr, &Counter::add).isSet());
}

TEST(MemberCallbackTest, CallsTheBoundMemberInEachFlavour) {
  Counter counter;
  auto tick = MemberCallback<>::bind(&counter, &Counter::tick);
  auto add = MemberCallback<int>::bind(&counter, &Counter::add);
  auto addTwo = MemberCallback<int, int>::bind(&counter, &Counter::addTwo);
  ASSERT_TRUE(tick.isSet() && add.isSet() && addTwo.isSet());
  tick();
  add(5);
  addTwo(3, 4);
  EXPECT_EQ(counter.calls, 3);
  EXPECT_EQ(counter.sum, 17);
}

TEST(MemberCallbackTest, CopiesCallTheSameObject) {
  Counter first, second;
  auto callback = MemberCallback<int>::bind(&first, &Counter::add);
  auto copy = callback;
  EXPECT_EQ(copy, callback);
  copy(2);
  EXPECT_EQ(first.sum, 2);
  callback = MemberCallback<int>::bind(&second, &Counter::add);
  callback(7);
  EXPECT_EQ(second.sum, 7);
  EXPECT_EQ(first.sum, 2);
  callback.reset();
  EXPECT_FALSE(callback.isSet());
}

}  // namespace
}  // namespace tessary
