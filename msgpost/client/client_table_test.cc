#include "msgpost/client/client_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace msgpost {
namespace {

dispatcher_client* fake(int n) { return reinterpret_cast<dispatcher_client*>(0x1000 + 16 * n); }

TEST(client_table, grows_to_four_then_doubles) {
  client_table t;
  EXPECT_EQ(t.capacity(), 0u);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(t.take(fake(i)), i);
  EXPECT_EQ(t.capacity(), 4u);
  EXPECT_EQ(t.take(fake(5)), 5);
  EXPECT_EQ(t.capacity(), 8u);
  EXPECT_EQ(t.free_queue(), (std::deque<size_t>{5, 6, 7}));
  for (int i = 6; i <= 9; ++i) t.take(fake(i));
  EXPECT_EQ(t.capacity(), 16u);
}

TEST(client_table, released_slots_queue_at_the_back) {
  client_table t;
  for (int i = 1; i <= 3; ++i) t.take(fake(i));
  EXPECT_EQ(t.release(2), 0);
  EXPECT_EQ(t.free_queue(), (std::deque<size_t>{3, 1}));
  EXPECT_EQ(t.take(fake(7)), 4);  // the front of the queue first
  EXPECT_EQ(t.take(fake(8)), 2);
  EXPECT_EQ(t.get(2), fake(8));
}

TEST(client_table, live_list_stays_compact) {
  client_table t;
  for (int i = 1; i <= 4; ++i) t.take(fake(i));
  EXPECT_EQ(t.release(1), 0);  // the last entry moves into its place
  EXPECT_EQ(t.live_list(), (std::vector<size_t>{3, 1, 2}));
  EXPECT_EQ(t.live_clients(), (std::vector<dispatcher_client*>{fake(4), fake(2), fake(3)}));
  EXPECT_EQ(t.release(4), 0);
  EXPECT_EQ(t.live_list(), (std::vector<size_t>{2, 1}));
  EXPECT_EQ(t.release(3), 0);
  EXPECT_EQ(t.release(2), 0);
  EXPECT_TRUE(t.live_list().empty());
}

TEST(client_table, bad_slot_numbers) {
  client_table t;
  t.take(fake(1));
  for (int32_t slot : {0, -1, 2, 4, 5, 1000}) {
    EXPECT_EQ(t.release(slot), -3) << slot;
    EXPECT_EQ(t.get(slot), nullptr) << slot;
  }
  EXPECT_EQ(t.release(1), 0);
  EXPECT_EQ(t.release(1), -3);  // already free
}

TEST(client_table, refuses_beyond_its_limit) {
  client_table t;
  for (size_t i = 0; i < client_table::kMaxSlots; ++i) {
    ASSERT_GT(t.take(fake(1)), 0) << i;
  }
  EXPECT_EQ(t.take(fake(1)), -2);
}

}  // namespace
}  // namespace msgpost
