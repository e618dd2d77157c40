#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/spsc_ring.h"

namespace {

TEST(SpscRing, WrapsAroundAndReportsFill) {
    audio::SpscRing<int> ring(5); // rounded up to 8
    EXPECT_EQ(ring.Capacity(), 8u);
    const int in[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ring.Write(in, 6), 6u);
    int out[8] = {};
    EXPECT_EQ(ring.Read(out, 4), 4u);
    EXPECT_EQ(ring.Write(in, 6), 6u); // wraps
    EXPECT_EQ(ring.Write(in, 1), 0u); // full
    EXPECT_EQ(ring.ReadAvailable(), 8u);
    EXPECT_EQ(ring.Skip(2), 2u);
    EXPECT_EQ(ring.Read(out, 8), 6u);
    EXPECT_EQ(std::vector<int>(out, out + 6), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ring.Read(out, 1), 0u);
}

TEST(SpscRing, TwoThreadsPassEveryElementInOrder) {
    audio::SpscRing<uint32_t> ring(64);
    constexpr uint32_t kCount = 200000;
    std::thread producer([&] {
        uint32_t next = 0;
        while (next < kCount) {
            uint32_t batch[7];
            for (uint32_t &b : batch)
                b = next + static_cast<uint32_t>(&b - batch);
            next += static_cast<uint32_t>(ring.Write(batch, std::min<uint32_t>(7, kCount - next)));
        }
    });
    uint32_t expected = 0;
    bool inOrder = true;
    while (expected < kCount) {
        uint32_t batch[5];
        const std::size_t n = ring.Read(batch, 5);
        for (std::size_t i = 0; i < n; ++i)
            inOrder = inOrder && batch[i] == expected++;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

} // namespace
