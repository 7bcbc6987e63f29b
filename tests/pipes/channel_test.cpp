// The channel's names, the text in its messages and the reading of one message in growing chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "pipe_pair.h"
#include "pipes/channel_names.h"
#include "pipes/message_text.h"
#include "pipes/pipe_io.h"
#include "support/sim_root.h"
#include "text/format.h"

TEST(ChannelNames, FollowTheSharedPattern) {
  const std::u16string base = channel_base_name(u"default", 4321);
  EXPECT_EQ(u"vostrel_comm_default_4321", base);
  EXPECT_EQ(u"\\\\.\\pipe\\vostrel_comm_default_4321", channel_pipe_path(base));
  EXPECT_EQ(u"busy_mutex_vostrel_comm_default_4321", channel_busy_mutex(base));
}

TEST(ChannelNames, ProcessIdZeroIsTheCurrentProcess) {
  const auto own = text::format(u"vostrel_comm_usb_device_%i", static_cast<int>(os::GetCurrentProcessId()));
  EXPECT_EQ(own, channel_base_name(u"usb_device", 0));
}

TEST(MessageText, IsUtf16LittleEndianWithoutTerminator) {
  CMemBuf message;
  ASSERT_TRUE(append_message_text(message, u"ż1"));
  ASSERT_EQ(4u, message.size());
  EXPECT_EQ(0x7C, message.data()[0]);
  EXPECT_EQ(0x01, message.data()[1]);
  EXPECT_EQ('1', message.data()[2]);
  EXPECT_EQ(0, message.data()[3]);
  CMemBuf empty;
  EXPECT_TRUE(append_message_text(empty, u""));
  EXPECT_EQ(0u, empty.size());
}

TEST(MessageText, ReadsUpToTheFirstNulOrTheEnd) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {{}, u""},
      {{'o', 0, 'k', 0}, u"ok"},
      {{'a', 0, 0, 0, 'b', 0}, u"a"},
      {{'a', 0, 'b'}, u"ab"},  // an odd last byte reads as if two zero bytes followed
      {{0, 0, 'x', 0}, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, message_text(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())));
}

class MessageReading : public testing_support::FreshHost {};

// Sizes around the chunk boundaries: 16, then 16 + 32, then 16 + 32 + 64, ...
TEST_F(MessageReading, GrowsItsChunksUntilTheMessageEnds) {
  auto pair = pipe_test::connect_pair(pipe_test::unique_pipe_path("chunks"), 0, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  for (const std::size_t size : {0, 1, 15, 16, 17, 47, 48, 49, 112, 113, 5000, (3 << 20) + 5}) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 253);
    std::thread writer([&] {
      DWORD written = 0;
      os::WriteFile(pair.server.get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr);
    });
    CMemBuf target;
    target.Append("ab", 2);  // what the buffer held before stays in front
    const MessageRead read = read_message(pair.client.get(), nullptr, target, 10000);
    writer.join();
    EXPECT_EQ(MessageEnd::whole, read.end) << size;
    ASSERT_EQ(size + 2, target.size()) << size;
    if (size > 0) {
      EXPECT_EQ(0, std::memcmp(target.data() + 2, bytes.data(), size)) << size;
    }
  }
}

TEST_F(MessageReading, GivesUpAtItsTimeAndKeepsNothing) {
  auto pair = pipe_test::connect_pair(pipe_test::unique_pipe_path("reading_timeout"), 0, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  CMemBuf target;
  const DWORD start = os::GetTickCount();
  const MessageRead read = read_message(pair.client.get(), nullptr, target, 200);
  EXPECT_EQ(MessageEnd::timed_out, read.end);
  EXPECT_EQ(ERROR_TIMEOUT, read.error);
  EXPECT_LT(os::GetTickCount() - start, 3000u);
  EXPECT_EQ(0u, target.size());
}

TEST_F(MessageReading, KeepsWhatArrivedWhenThePeerGoes) {
  auto pair = pipe_test::connect_pair(pipe_test::unique_pipe_path("reading_gone"), 0, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  pair.server.reset();
  CMemBuf target;
  const MessageRead read = read_message(pair.client.get(), nullptr, target, 2000);
  EXPECT_EQ(MessageEnd::cut_short, read.end);
  EXPECT_EQ(ERROR_BROKEN_PIPE, read.error);
}

TEST_F(MessageReading, RefusesAMessageAboveItsLimit) {
  auto pair = pipe_test::connect_pair(pipe_test::unique_pipe_path("reading_limit"), 0, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(pair.server && pair.client);
  std::vector<std::uint8_t> bytes(kMaxMessageBytes + 1, 0x44);
  std::thread writer([&] {
    DWORD written = 0;
    os::WriteFile(pair.server.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  });
  CMemBuf target;
  const MessageRead read = read_message(pair.client.get(), nullptr, target, 60000);
  EXPECT_EQ(MessageEnd::too_large, read.end);
  EXPECT_EQ(0u, target.size());
  pair.client.reset();  // the writer's message can no longer be taken
  writer.join();
}
