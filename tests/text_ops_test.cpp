#include "text/text_ops.h"
#include <gtest/gtest.h>
TEST(X, Y) { EXPECT_EQ(leftChars("abc", 7), "abc"); }
