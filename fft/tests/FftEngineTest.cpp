// Life cycle of the library's state: what initialisation stores and owns, what it does when
// memory runs out or the arguments do not fit, and that nothing is touched on a refused call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <set>

#include "fft/src/FftEngine.h"
#include "fft/tests/FftOracle.h"
#include "fft/tests/FftTestSignals.h"

namespace lumatrace::fft::testing {
namespace {

// Hands out real memory, keeps count, and refuses the allocation with index failAt.
class CountingAllocator {
  public:
    Allocator allocator() { return {&allocate, &release, this}; }

    int failAt = -1;
    int calls = 0;
    std::set<void*> live;

  private:
    static void* allocate(std::size_t bytes, void* context) {
        auto* self = static_cast<CountingAllocator*>(context);
        if (self->calls++ == self->failAt) {
            return nullptr;
        }
        void* block = systemAllocate(bytes, nullptr);
        self->live.insert(block);
        return block;
    }
    static void release(void* block, void* context) {
        auto* self = static_cast<CountingAllocator*>(context);
        EXPECT_EQ(self->live.erase(block), 1u) << "released a block it did not hand out";
        systemRelease(block, nullptr);
    }
};

bool untouched(const Spectrum& s) {
    for (std::size_t k = 0; k < s.re.size(); ++k) {
        if (!std::isnan(s.re[k]) || !std::isnan(s.im[k])) {
            return false;
        }
    }
    return true;
}

TEST(FftEngine, InitialisationStoresTheShapeAndOwnsItsBuffers) {
    CountingAllocator memory;
    {
        FftEngine engine(memory.allocator());
        EXPECT_FALSE(engine.ready());
        ASSERT_TRUE(engine.init(8192, 13, 4096));
        EXPECT_TRUE(engine.ready());
        EXPECT_EQ(engine.fftLength(), 8192);
        EXPECT_EQ(engine.fftStages(), 13);
        EXPECT_EQ(engine.fftHalf(), 4096);
        const std::size_t owned = memory.live.size();
        EXPECT_GT(owned, 0u);

        // Another length releases the first one's buffers before taking its own.
        ASSERT_TRUE(engine.init(1024, 10, 512));
        EXPECT_EQ(engine.fftLength(), 1024);
        ASSERT_TRUE(engine.init(8192, 13, 4096));
        EXPECT_EQ(memory.live.size(), owned);
    }
    EXPECT_TRUE(memory.live.empty()) << "the engine's destruction (library unload) frees all";
}

TEST(FftEngine, AllocationFailureAtAnyPointLeavesNothingAndRefusesTransforms) {
    for (int32_t n : {8192, 256}) {  // four-step and scalar layouts
        CountingAllocator probe;
        {
            FftEngine engine(probe.allocator());
            ASSERT_TRUE(engine.init(n, stagesOf(n), n / 2));
        }
        const int allocations = probe.calls;
        ASSERT_GT(allocations, 0);

        const auto words = randomRecord(n, 5);
        const FftParams params = makeParams(0, 1, 1000.0, 0.0);
        for (int failAt = 0; failAt < allocations; ++failAt) {
            SCOPED_TRACE(::testing::Message()
                         << "n " << n << ", allocation " << failAt << " fails");
            CountingAllocator memory;
            FftEngine engine(memory.allocator());
            ASSERT_TRUE(engine.init(n, stagesOf(n), n / 2));  // a previous, working state
            memory.calls = 0;
            memory.failAt = failAt;
            EXPECT_FALSE(engine.init(n, stagesOf(n), n / 2));
            EXPECT_FALSE(engine.ready());
            EXPECT_TRUE(memory.live.empty());

            Spectrum out(n);
            EXPECT_FALSE(engine.calc(&params, words.data(), out.re.data(), out.im.data()));
            EXPECT_TRUE(untouched(out));

            memory.failAt = -1;
            ASSERT_TRUE(engine.init(n, stagesOf(n), n / 2));
            EXPECT_TRUE(engine.calc(&params, words.data(), out.re.data(), out.im.data()));
        }
    }
}

TEST(FftEngine, RefusesShapesThatDoNotFitTogether) {
    struct Case {
        int32_t n, stages, half;
    };
    const Case cases[] = {
        {0, 0, 0},          {1, 0, 0},        {-8, 3, -4},      {6, 3, 3},
        {8192, 12, 4096},   {8192, 13, 8192}, {8192, 13, 4095}, {1 << 30, 31, 1 << 29},
        {INT32_MIN, 31, 0}, {3, 2, 1},
    };
    const auto words = randomRecord(16, 1);
    const FftParams params = makeParams(0, 0, 1000.0, 0.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.n << ", " << c.stages << ", " << c.half);
        FftEngine engine;
        ASSERT_TRUE(engine.init(16, 4, 8));
        EXPECT_FALSE(engine.init(c.n, c.stages, c.half));
        Spectrum out(16);
        EXPECT_FALSE(engine.calc(&params, words.data(), out.re.data(), out.im.data()));
        EXPECT_TRUE(untouched(out));
    }
}

TEST(FftEngine, RefusesToTransformBeforeInitialisation) {
    FftEngine engine;
    const auto words = randomRecord(16, 1);
    const FftParams params = makeParams(0, 0, 1000.0, 0.0);
    Spectrum out(16);
    EXPECT_FALSE(engine.calc(&params, words.data(), out.re.data(), out.im.data()));
    EXPECT_TRUE(untouched(out));
}

TEST(FftEngine, ResetReturnsToTheLoadedState) {
    CountingAllocator memory;
    FftEngine engine(memory.allocator());
    ASSERT_TRUE(engine.init(512, 9, 256));
    engine.reset();
    EXPECT_FALSE(engine.ready());
    EXPECT_EQ(engine.fftLength(), 0);
    EXPECT_EQ(engine.fftStages(), 0);
    EXPECT_EQ(engine.fftHalf(), 0);
    EXPECT_TRUE(memory.live.empty());
}

}  // namespace
}  // namespace lumatrace::fft::testing
