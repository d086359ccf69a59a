// The growable statement text: the growth rule, large appends in one
// growth, and failures that leave the text as it was.
#include <gtest/gtest.h>

#include <string>

#include "fault_injection.h"
#include "velmora/text_buffer.h"

namespace {

struct BufferDeleter {
    void operator()(TextBuffer* buffer) const { FreeTextBuffer(buffer); }
};
using BufferPtr = std::unique_ptr<TextBuffer, BufferDeleter>;

BufferPtr Make(int32_t capacity, int32_t step)
{
    TextBuffer* buffer = nullptr;
    EXPECT_EQ(CreateTextBuffer(&buffer, capacity, step), VELMORA_SUCCESS);
    return BufferPtr(buffer);
}

TEST(TextBuffer, GrowsByTheSmallestMultipleOfTheStep)
{
    struct Case {
        int32_t capacity, step, first, second, capacityAfterFirst, capacityAfterSecond;
    } cases[] = {
        {10, 4, 10, 1, 10, 14},   // fits exactly, then one step
        {10, 4, 11, 14, 14, 26},  // 25 bytes need three more steps
        {0, 512, 1, 0, 512, 512}, // an empty buffer grows by one step
        {512, 512, 513, 1000, 1024, 1536},
    };
    for (const Case& c : cases) {
        BufferPtr buffer = Make(c.capacity, c.step);
        std::string first(c.first, 'a'), second(c.second, 'b');
        ASSERT_EQ(AppendTextBuffer(buffer.get(), first.c_str()), VELMORA_SUCCESS);
        EXPECT_EQ(buffer->capacity, c.capacityAfterFirst) << c.capacity << "/" << c.step;
        ASSERT_EQ(AppendTextBufferBytes(buffer.get(), second.data(), c.second), VELMORA_SUCCESS);
        EXPECT_EQ(buffer->capacity, c.capacityAfterSecond) << c.capacity << "/" << c.step;
        EXPECT_EQ(std::string(buffer->text), first + second);
        EXPECT_EQ(buffer->length, c.first + c.second);
    }
}

TEST(TextBuffer, AMegabyteIsOneGrowthAndFormatsOfAnyLength)
{
    BufferPtr buffer = Make(TEXT_BUFFER_SQL_CAPACITY, TEXT_BUFFER_SQL_STEP);
    std::string big(1 << 20, 'x');
    {
        FailingAllocations counter(0);
        ASSERT_EQ(AppendTextBuffer(buffer.get(), big.c_str()), VELMORA_SUCCESS);
        EXPECT_EQ(counter.calls(), 1);
    }
    ASSERT_EQ(AppendTextBufferFormat(buffer.get(), "[%s|%d]", big.c_str(), 42), VELMORA_SUCCESS);
    EXPECT_EQ(std::string(buffer->text), big + "[" + big + "|42]");
    char* text = DetachTextBuffer(buffer.release());
    EXPECT_EQ(strlen(text), 2 * big.size() + 5);
    free(text);
}

TEST(TextBuffer, FailuresLeaveTheTextAsItWas)
{
    TextBuffer* none = nullptr;
    EXPECT_EQ(CreateTextBuffer(nullptr, 10, 10), VELMORA_FAILURE);
    EXPECT_EQ(CreateTextBuffer(&none, -1, 10), VELMORA_FAILURE);
    EXPECT_EQ(CreateTextBuffer(&none, 10, 0), VELMORA_FAILURE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(AppendTextBuffer(nullptr, "x"), VELMORA_FAILURE);
    EXPECT_EQ(DetachTextBuffer(nullptr), nullptr);
    FreeTextBuffer(nullptr);

    BufferPtr buffer = Make(4, 4);
    ASSERT_EQ(AppendTextBuffer(buffer.get(), "abc"), VELMORA_SUCCESS);
    EXPECT_EQ(AppendTextBuffer(buffer.get(), nullptr), VELMORA_FAILURE);
    EXPECT_EQ(AppendTextBufferBytes(buffer.get(), "x", -1), VELMORA_FAILURE);
    {
        FailingAllocations fail(1);
        EXPECT_EQ(AppendTextBuffer(buffer.get(), "defgh"), VELMORA_ALLOC_FAILURE);
    }
    {
        FailingAllocations fail(1);
        EXPECT_EQ(AppendTextBufferFormat(buffer.get(), "%s", "a long enough text"), VELMORA_ALLOC_FAILURE);
    }
    EXPECT_STREQ(buffer->text, "abc");
    EXPECT_EQ(buffer->length, 3);
    EXPECT_EQ(ReserveTextBuffer(buffer.get(), INT32_MAX), VELMORA_ALLOC_FAILURE);

    ForEveryAllocationFailure([](long n, bool& fired) {
        FailingAllocations fail(n);
        TextBuffer* made = nullptr;
        int result = CreateTextBuffer(&made, 100, 10);
        fired = fail.fired();
        EXPECT_EQ(result, fired ? VELMORA_ALLOC_FAILURE : VELMORA_SUCCESS);
        EXPECT_EQ(made == nullptr, fired);
        FreeTextBuffer(made);
    });
}

} // namespace
