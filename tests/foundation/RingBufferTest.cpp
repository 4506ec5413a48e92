// Ring buffer: wrapped reads, peeks, growth that keeps the byte order, refused reads and growth.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/VtMemory.h"
#include "foundation/VtRingBuffer.h"

using namespace Vantrel;

namespace {

// A ring with a block of `size` bytes whose stored bytes start at `read`.
struct RingFixture {
    RingBuffer ring;
    RingFixture(int32_t size, int32_t read, const std::vector<uint8_t>& bytes)
    {
        RingBuffer_Initialize(&ring);
        ring.Data = (uint8_t*)Memory_Allocate((uint32_t)size, "RingBufferTest", __LINE__);
        memset(ring.Data, 0xEE, (size_t)size);
        ring.Size = size;
        ring.ReadPosition = read;
        ring.WritePosition = read;
        ring.Stored = 0;
        EXPECT_EQ(0, RingBuffer_Put(&ring, bytes.data(), (int32_t)bytes.size()));
    }
    ~RingFixture() { RingBuffer_Terminate(&ring); }
};

}  // namespace

TEST(RingBufferTest, WrappedGetAndPeek)
{
    RingFixture f(8, 6, {1, 2, 3, 4});   // offsets 6, 7, 0, 1
    EXPECT_EQ(3, f.ring.Data[0]);
    EXPECT_EQ(2, f.ring.WritePosition);

    uint8_t out[4] = {};
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 4, 1));
    EXPECT_EQ(0, memcmp(out, "\x01\x02\x03\x04", 4));
    EXPECT_EQ(6, f.ring.ReadPosition);
    EXPECT_EQ(4, f.ring.Stored);

    uint8_t five[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(-1, RingBuffer_Get(&f.ring, five, 5, 0));
    EXPECT_EQ(9, five[0]);
    EXPECT_EQ(4, f.ring.Stored);

    memset(out, 0, 4);
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 4, 0));
    EXPECT_EQ(0, memcmp(out, "\x01\x02\x03\x04", 4));
    EXPECT_EQ(2, f.ring.ReadPosition);
    EXPECT_EQ(0, f.ring.Stored);
    EXPECT_EQ(0, RingBuffer_Get(&f.ring, out, 0, 0));
}

TEST(RingBufferTest, ReadEndingAtBlockEndWrapsOnNextUse)
{
    RingFixture f(8, 4, {1, 2, 3, 4, 5, 6});   // offsets 4..7, 0, 1
    uint8_t out[6] = {};
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 4, 0));
    EXPECT_EQ(8, f.ring.ReadPosition);          // equals the size until the next operation
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 2, 0));
    EXPECT_EQ(0, memcmp(out, "\x05\x06", 2));
    EXPECT_EQ(2, f.ring.ReadPosition);
}

TEST(RingBufferTest, ReserveSizes)
{
    RingBuffer ring;
    RingBuffer_Initialize(&ring);
    EXPECT_EQ(0, RingBuffer_Reserve(&ring, 0));
    EXPECT_EQ(nullptr, ring.Data);
    EXPECT_EQ(0, ring.Size);
    EXPECT_EQ(0, RingBuffer_Reserve(&ring, 1));
    EXPECT_EQ(1001, ring.Size);
    EXPECT_EQ(0, RingBuffer_Reserve(&ring, 1001));   // still fits: no growth
    EXPECT_EQ(1001, ring.Size);
    RingBuffer_Terminate(&ring);
    EXPECT_EQ(nullptr, ring.Data);
    EXPECT_EQ(0, ring.Size);

    // 10,000 bytes in a full block of 10,000, reserving 100 more: 15,000 + 100 + 1,000.
    std::vector<uint8_t> bytes(10000, 7);
    RingFixture f(10000, 0, bytes);
    ASSERT_EQ(0, RingBuffer_Reserve(&f.ring, 100));
    EXPECT_EQ(16100, f.ring.Size);
    EXPECT_EQ(10000, f.ring.WritePosition);
}

TEST(RingBufferTest, GrowthKeepsByteOrderOfWrappedQueue)
{
    RingFixture f(8, 5, {10, 11, 12, 13, 14, 15});   // offsets 5, 6, 7, 0, 1, 2
    ASSERT_EQ(0, RingBuffer_Reserve(&f.ring, 5));
    EXPECT_EQ(6 * 3 / 2 + 5 + 1000, f.ring.Size);
    EXPECT_EQ(0, f.ring.ReadPosition);
    EXPECT_EQ(6, f.ring.WritePosition);
    EXPECT_EQ(0, memcmp(f.ring.Data, "\x0A\x0B\x0C\x0D\x0E\x0F", 6));   // oldest byte at offset 0

    const uint8_t more[5] = {16, 17, 18, 19, 20};
    ASSERT_EQ(0, RingBuffer_Put(&f.ring, more, 5));
    uint8_t out[11] = {};
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 11, 0));
    for (int i = 0; i < 11; i++) EXPECT_EQ(10 + i, out[i]);
}

TEST(RingBufferTest, FailedGrowthKeepsTheQueue)
{
    RingFixture f(8, 6, {1, 2, 3, 4});
    uint8_t* const block = f.ring.Data;
    // More than any block can hold: the growth fails, the queue stays readable.
    EXPECT_EQ(-1, RingBuffer_Reserve(&f.ring, 0x7FFFFF00));
    EXPECT_EQ(block, f.ring.Data);
    EXPECT_EQ(8, f.ring.Size);
    EXPECT_EQ(4, f.ring.Stored);
    uint8_t out[4] = {};
    ASSERT_EQ(0, RingBuffer_Get(&f.ring, out, 4, 0));
    EXPECT_EQ(0, memcmp(out, "\x01\x02\x03\x04", 4));
}

TEST(RingBufferTest, PutRefusesWhatDoesNotFit)
{
    RingFixture f(8, 0, {1, 2, 3, 4, 5, 6});
    const uint8_t more[3] = {7, 8, 9};
    EXPECT_EQ(-1, RingBuffer_Put(&f.ring, more, 3));
    EXPECT_EQ(6, f.ring.Stored);
    uint8_t out[3];
    EXPECT_EQ(-1, RingBuffer_Get(&f.ring, out, -1, 0));
}
