// Response streams as the host reads and releases them.
#include "plugin/response_stream.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace tav {
namespace {

TEST(TextStream, ServesTheTextInPiecesAndSaysWhenItEnds) {
  OwnedResponseStream stream = makeTextStream("abcdefghij", 4);
  EXPECT_EQ(stream->sizeHint(), 10u);
  std::string pieces;
  char buffer[8];
  for (uint32_t expected : {4u, 4u, 2u}) {
    uint32_t count = sizeof buffer;
    uint8_t more = 0;
    ASSERT_EQ(hostStreamRead(stream.get(), buffer, &count, &more), 1);
    EXPECT_EQ(count, expected);
    EXPECT_EQ(more, expected == 2u ? 0 : 1);
    pieces.append(buffer, count).append("|");
  }
  EXPECT_EQ(pieces, "abcd|efgh|ij|");
}

TEST(HostStreamRead, NullArgumentsAreAFailedRead) {
  OwnedResponseStream stream = makeTextStream("abc");
  char buffer[4];
  uint32_t count = sizeof buffer;
  uint8_t more = 1;
  EXPECT_EQ(hostStreamRead(nullptr, buffer, &count, &more), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(hostStreamRead(stream.get(), buffer, nullptr, &more), 0);
  count = sizeof buffer;
  EXPECT_EQ(hostStreamRead(stream.get(), nullptr, &count, &more), 0);
  EXPECT_EQ(count, 0u);
  // Without a flag to write, the read still succeeds.
  count = sizeof buffer;
  EXPECT_EQ(hostStreamRead(stream.get(), buffer, &count, nullptr), 1);
  EXPECT_EQ(count, 3u);
}

class ThrowingStream final : public ResponseStream {
public:
  explicit ThrowingStream(bool* destroyed) : destroyed_(destroyed) {}
  bool read(void*, uint32_t&, bool&) override { throw std::runtime_error("disk gone"); }
  uint32_t sizeHint() const override { return 0; }
  void destroy() override {
    *destroyed_ = true;
    delete this;
  }

private:
  bool* destroyed_;
};

TEST(HostStreamRead, StreamThatThrowsReportsAFailedReadInsteadOfUnwindingIntoTheHost) {
  bool destroyed = false;
  auto* stream = new ThrowingStream(&destroyed);
  char buffer[4];
  uint32_t count = sizeof buffer;
  uint8_t more = 1;
  EXPECT_EQ(hostStreamRead(stream, buffer, &count, &more), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(more, 0);
  hostStreamRelease(stream);
  EXPECT_TRUE(destroyed);
}

class FailingStream final : public ResponseStream {
public:
  bool read(void*, uint32_t& count, bool& more) override {
    count = 2;
    more = true;
    return false;
  }
  uint32_t sizeHint() const override { return 0; }
};

TEST(HostStreamRead, FailedReadReportsNothingReadAndNothingMore) {
  OwnedResponseStream stream(new FailingStream);
  char buffer[4];
  uint32_t count = sizeof buffer;
  uint8_t more = 1;
  EXPECT_EQ(hostStreamRead(stream.get(), buffer, &count, &more), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(more, 0);
}

} // namespace
} // namespace tav
