#include <gtest/gtest.h>

#include "res/ByteSize.h"

using namespace tq9;

// Three figures, and a value that rounds up to 1000 of a unit is the next unit's 1.00.
TEST(ByteSize, ThreeFiguresAndRoundingThatCrossesAUnit)
{
    EXPECT_EQ(CByteSize::Text(0), "0 B");
    EXPECT_EQ(CByteSize::Text(999), "999 B");
    EXPECT_EQ(CByteSize::Text(1000), "1.00 KB");
    EXPECT_EQ(CByteSize::Text(31879), "31.9 KB");
    EXPECT_EQ(CByteSize::Text(99960), "100 KB") << "99.96 rounds to three figures, not to \"100.0\"";
    EXPECT_EQ(CByteSize::Text(999499), "999 KB");
    EXPECT_EQ(CByteSize::Text(999500), "1.00 MB");
    EXPECT_EQ(CByteSize::Text(526389248), "526 MB");
    EXPECT_EQ(CByteSize::Text(4294967295ull), "4.29 GB");
    EXPECT_EQ(CByteSize::Text(UINT64_MAX), "18.4 EB");
}
