// The two datagram layouts byte for byte, their round trips, every truncation
// and bad count refused, and 32-bit ticks widened across the 2^32 boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/base/rng.h"
#include "core/net/net_messages.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

InputMessage sample_input() {
  InputMessage m;
  m.epoch = 0x0102;
  m.acked = 0x1'0000'0005;  // only the low 32 bits travel
  m.first = 7;
  m.count = 2;
  m.inputs[0] = 0x0012;
  m.inputs[1] = 0xA000;
  return m;
}

TickMessage sample_tick() {
  TickMessage m;
  m.epoch = 3;
  m.first = 0x10;
  m.count = 2;
  m.players = 4;
  m.records[0] = TickRecord{{1, 2, 3, 0x8004}, 1};
  m.records[1] = TickRecord{{0xFFFF, 0, 0, 0}, 255};
  m.slack = -3;
  m.last_input = 0x11;
  m.hash_tick = 0x3C;
  m.hash = 0x1122334455667788;
  return m;
}

Bytes input_bytes(const InputMessage& m, std::uint64_t session = 0x0807060504030201) {
  Bytes out;
  encode_input_datagram(session, m, out);
  return out;
}

Bytes tick_bytes(const TickMessage& m, std::uint64_t session = 9) {
  Bytes out;
  encode_tick_datagram(session, m, out);
  return out;
}

TEST(NetMessages, InputDatagramLayout) {
  const Bytes expected = {1, 2, 3, 4, 5, 6, 7, 8,  // session id
                          1,                       // kind
                          0x02, 0x01,              // epoch
                          5, 0, 0, 0,              // acked, low 32 bits
                          7, 0, 0, 0,              // first
                          2,                       // count
                          0x12, 0, 0, 0xA0};
  EXPECT_EQ(input_bytes(sample_input()), expected);
  const Bytes payload = encode_input_message(sample_input());
  EXPECT_EQ(payload, Bytes(expected.begin() + 8, expected.end()));

  InputMessage empty;
  EXPECT_EQ(encode_input_message(empty).size(), 12u);
}

TEST(NetMessages, TickDatagramLayout) {
  const Bytes expected = {9, 0, 0, 0, 0, 0, 0, 0,                   // session id
                          2, 3, 0, 0x10, 0, 0, 0, 2, 4,             // kind, epoch, first, count, players
                          1, 1, 0, 2, 0, 3, 0, 0x04, 0x80,          // record 0
                          255, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0,        // record 1
                          0xFD,                                     // slack -3
                          0x11, 0, 0, 0, 0x3C, 0, 0, 0,             // last input, hash tick
                          0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  EXPECT_EQ(tick_bytes(sample_tick()), expected);

  TickMessage full;
  full.count = max_tick_records;
  EXPECT_EQ(tick_bytes(full).size(), 610u);
  TickMessage none;
  EXPECT_EQ(tick_bytes(none).size(), 34u);
}

TEST(NetMessages, RoundTripsOfSeededMessages) {
  Rng rng = Rng::from_seed(11);
  for (int round = 0; round < 200; ++round) {
    const std::uint64_t near = rng.next() >> (1 + rng.next() % 63);
    InputMessage in;
    in.epoch = static_cast<std::uint16_t>(rng.next());
    in.acked = near;
    in.first = near + rng.next() % 100;
    in.count = static_cast<std::uint8_t>(rng.next() % 256);
    for (std::size_t i = 0; i < in.count; ++i) in.inputs[i] = static_cast<Buttons>(rng.next());
    const auto got = decode_input_datagram(input_bytes(in, near ^ 77), near);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->session_id, near ^ 77);
    EXPECT_EQ(got->message, in);

    TickMessage tm;
    tm.epoch = in.epoch;
    tm.first = near + 1;
    tm.count = static_cast<std::uint8_t>(rng.next() % (max_tick_records + 1));
    for (std::size_t i = 0; i < tm.count; ++i) {
      tm.records[i].commands = static_cast<std::uint8_t>(rng.next());
      for (Buttons& b : tm.records[i].inputs) b = static_cast<Buttons>(rng.next());
    }
    tm.slack = static_cast<std::int8_t>(rng.next());
    tm.last_input = near + rng.next() % 40;
    tm.hash_tick = near - std::min<std::uint64_t>(near, rng.next() % 60);
    tm.hash = rng.next();
    const auto back = decode_tick_datagram(tick_bytes(tm, 5), near);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->message, tm);
  }
}

TEST(NetMessages, InputDatagramLengthsAndCounts) {
  Bytes none = input_bytes(InputMessage{});
  ASSERT_EQ(none.size(), 20u);
  for (std::size_t n = 0; n < none.size(); ++n) {
    EXPECT_FALSE(decode_input_datagram(Bytes(none.begin(), none.begin() + n), 0)) << n << " bytes";
  }
  EXPECT_TRUE(decode_input_datagram(none, 0));

  InputMessage three;
  three.count = 3;
  Bytes b = input_bytes(three);
  ASSERT_EQ(b.size(), 26u);
  EXPECT_FALSE(decode_input_datagram(Bytes(b.begin(), b.begin() + 24), 0));
  EXPECT_FALSE(decode_input_datagram(Bytes(b.begin(), b.begin() + 25), 0));
  b.push_back(0xEE);  // bytes after the last input are ignored
  EXPECT_TRUE(decode_input_datagram(b, 0));
  b[8] = 2;
  EXPECT_FALSE(decode_input_datagram(b, 0));

  Bytes most(20 + 2 * 255, 0);
  most[8] = 1;
  most[19] = 255;
  EXPECT_TRUE(decode_input_datagram(most, 0));
  most.pop_back();
  EXPECT_FALSE(decode_input_datagram(most, 0));
}

TEST(NetMessages, TickDatagramLengthsAndCounts) {
  const Bytes good = tick_bytes(sample_tick());
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(decode_tick_datagram(Bytes(good.begin(), good.begin() + n), 0x10)) << n << " bytes";
  }
  Bytes longer = good;
  longer.push_back(1);
  EXPECT_TRUE(decode_tick_datagram(longer, 0x10));

  Bytes wrong_kind = good;
  wrong_kind[8] = 1;
  EXPECT_FALSE(decode_tick_datagram(wrong_kind, 0x10));

  TickMessage five = sample_tick();
  Bytes five_players = tick_bytes(five);
  five_players[16] = 5;
  five_players.resize(five_players.size() + 4, 0);  // long enough for 5 players
  EXPECT_FALSE(decode_tick_datagram(five_players, 0x10));

  TickMessage many;
  many.count = max_tick_records;
  Bytes too_many = tick_bytes(many);
  too_many[15] = max_tick_records + 1;
  too_many.resize(too_many.size() + 9, 0);
  EXPECT_FALSE(decode_tick_datagram(too_many, 0));
}

TEST(NetMessages, FewerPlayersLeaveTheOtherSlotsZero) {
  TickMessage two = sample_tick();
  two.players = 2;
  const Bytes b = tick_bytes(two);
  EXPECT_EQ(b.size(), 34u + 2 * 5);
  const auto got = decode_tick_datagram(b, 0x10);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->message.records[0].inputs, (std::array<Buttons, 4>{1, 2, 0, 0}));
  EXPECT_EQ(got->message.records[1].commands, 255);

  TickMessage nobody = sample_tick();
  nobody.players = 0;
  const auto empty = decode_tick_datagram(tick_bytes(nobody), 0x10);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->message.records[0].inputs, (std::array<Buttons, 4>{}));
  EXPECT_EQ(empty->message.hash, sample_tick().hash);
}

TEST(NetMessages, NoHashYetStaysNoHash) {
  TickMessage fresh = sample_tick();
  fresh.hash_tick = 0;
  fresh.hash = 0;
  constexpr std::uint64_t near = (std::uint64_t{1} << 32) - 100;
  fresh.first = near + 1;
  fresh.last_input = near + 3;
  const auto got = decode_tick_datagram(tick_bytes(fresh), near);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->message.hash_tick, 0u);  // not 2^32, which would hold back every later hash
  EXPECT_EQ(got->message.first, near + 1);
}

TEST(NetMessages, WireTicksWidenToTheNearestTick) {
  constexpr std::uint64_t span = std::uint64_t{1} << 32;
  struct Case {
    std::uint32_t low;
    std::uint64_t near;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {5, 0, 5},
      {0xFFFF'FFFF, 0, 0xFFFF'FFFF},  // nothing lies below tick 0
      {3, span - 2, span + 3},        // just past the boundary
      {0xFFFF'FFFE, span + 3, span - 2},
      {0, span, span},
      {0x8000'0000, 0, 0x8000'0000},
      {7, 5 * span + 100, 5 * span + 7},
      {0, UINT64_MAX, UINT64_MAX - (span - 1)},  // nothing lies above the top
      {0xFFFF'FFFF, UINT64_MAX - 3, UINT64_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(widen_tick(c.low, c.near), c.expected) << c.low << " near " << c.near;
  }
}

}  // namespace
}  // namespace velmora
