#include "foundation/VxByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

TEST(ByteBuffer, GrowsKeepingContentAndNeverShrinksUntilFreed) {
  VxByteBuffer b;
  EXPECT_EQ(b.Data(), nullptr);
  ASSERT_TRUE(b.Assign("abc", 3));
  ASSERT_TRUE(b.SetLength(1 << 20));
  EXPECT_EQ(std::memcmp(b.Data(), "abc", 3), 0);
  EXPECT_EQ(b.Data()[(1 << 20) - 1], 0);  // grown bytes are zero
  const uint8_t* block = b.Data();
  ASSERT_TRUE(b.SetLength(10));
  ASSERT_TRUE(b.SetLength(1 << 20));
  EXPECT_EQ(b.Data(), block);
  EXPECT_EQ(b.Allocated(), size_t{1} << 20);
  b.Free();
  EXPECT_EQ(b.Data(), nullptr);
  EXPECT_EQ(b.Length(), 0u);
  EXPECT_EQ(b.Allocated(), 0u);
  VxByteBuffer moved = std::move(b);
  EXPECT_EQ(moved.Allocated(), 0u);
}
