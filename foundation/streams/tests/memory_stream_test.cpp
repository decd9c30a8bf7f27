#include "foundation/streams/memory_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

// Owns one reference for the test's lifetime.
RefPtr<MemoryStream> MakeStream(const MemoryStreamOptions& options = {}) {
  return RefPtr<MemoryStream>(MemoryStream::Create(options));
}

TEST(MemoryStreamTest, GrowsInStepsAndKeepsEverythingWritten) {
  auto stream = MakeStream();  // resizing on, factor 1, step 1024
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->RefCount(), 1);

  ASSERT_TRUE(stream->Write("a", 1));
  EXPECT_EQ(stream->Capacity(), 1024u);
  std::string block(1024, 'b');
  ASSERT_TRUE(stream->Write(block.data(), block.size()));
  EXPECT_EQ(stream->Capacity(), 2048u);
  std::string big(5000, 'c');
  ASSERT_TRUE(stream->Write(big.data(), big.size()));  // needs 6025: more than double
  EXPECT_EQ(stream->Capacity(), 6144u);
  ASSERT_TRUE(stream->Write("d", 1));
  EXPECT_EQ(stream->Capacity(), 6144u);
  EXPECT_EQ(stream->View(), "a" + block + big + "d");
  EXPECT_EQ(stream->Length(), 6026u);
  EXPECT_EQ(stream->Position(), 6026u);
}

TEST(MemoryStreamTest, GrowthFactorSetsHowMuchIsAdded) {
  struct Case {
    double factor;
    std::size_t step;
    std::size_t first, second;  // capacities after writing 101 and 202 bytes
  };
  for (const Case c : {Case{1.0, 100, 200, 400}, Case{0.5, 10, 150, 230}, Case{0.0, 0, 101, 202}}) {
    SCOPED_TRACE(c.factor);
    MemoryStreamOptions options;
    options.growth_factor = c.factor;
    options.growth_step = c.step;
    options.initial_capacity = 100;
    auto stream = MakeStream(options);
    ASSERT_TRUE(stream);
    std::string bytes(101, 'x');
    ASSERT_TRUE(stream->Write(bytes.data(), bytes.size()));
    EXPECT_EQ(stream->Capacity(), c.first);
    ASSERT_TRUE(stream->Write(bytes.data(), bytes.size()));
    EXPECT_EQ(stream->Capacity(), c.second);
  }
}

TEST(MemoryStreamTest, FixedStreamRefusesWhatDoesNotFitAndStoresNothingOfIt) {
  MemoryStreamOptions options;
  options.resizable = false;
  options.initial_capacity = 8;
  auto stream = MakeStream(options);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(stream->Write("12345", 5));
  EXPECT_FALSE(stream->Write("6789", 4));
  EXPECT_EQ(stream->View(), "12345");
  EXPECT_FALSE(stream->SetLength(9));
  EXPECT_TRUE(stream->Write("678", 3));
  EXPECT_EQ(stream->View(), "12345678");
}

TEST(MemoryStreamTest, LimitStopsGrowth) {
  MemoryStreamOptions options;
  options.max_length = 10;
  auto stream = MakeStream(options);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(stream->Write("0123456789", 10));
  EXPECT_FALSE(stream->Write("x", 1));
  EXPECT_EQ(stream->Length(), 10u);
}

TEST(MemoryStreamTest, RewindAndTruncateEmptiesTheStreamForTheNextBody) {
  auto stream = MakeStream();
  ASSERT_TRUE(stream->Write("redirect body", 13));
  ASSERT_TRUE(stream->RewindAndTruncate());
  EXPECT_EQ(stream->Length(), 0u);
  ASSERT_TRUE(stream->Write("ok", 2));
  EXPECT_EQ(stream->View(), "ok");
}

TEST(MemoryStreamTest, WritingPastTheEndFillsTheGapWithZeros) {
  auto stream = MakeStream();
  ASSERT_TRUE(stream->SetPosition(3));
  ASSERT_TRUE(stream->Write("z", 1));
  EXPECT_EQ(stream->View(), std::string("\0\0\0z", 4));
}

TEST(MemoryStreamTest, ReferencesAreCountedByHolders) {
  auto stream = MakeStream();
  {
    RefPtr<Stream> second(stream.get());
    EXPECT_EQ(stream->RefCount(), 2);
  }
  EXPECT_EQ(stream->RefCount(), 1);
}

}  // namespace
}  // namespace velmora
