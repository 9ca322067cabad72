// The server side of the netcode: which inputs are stored, the words of each
// tick, leads and slack, the confirmed history and its bounds, the command
// count of a tick, the datagram road in and the tick message out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/data/game_data.h"
#include "core/net/net_host.h"
#include "core/world/actor.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

const World& game() {
  static const World world = new_game(0, 7, std::vector<CharacterSheet>(2, new_character(default_class())));
  return world;
}

InputMessage inputs_from(std::uint64_t first, std::vector<Buttons> words, std::uint64_t acked = 0,
                         std::uint16_t epoch = 0) {
  InputMessage m;
  m.first = first;
  m.acked = acked;
  m.epoch = epoch;
  m.count = static_cast<std::uint8_t>(words.size());
  std::copy(words.begin(), words.end(), m.inputs.begin());
  return m;
}

// Runs one tick through the host: the words taken, then confirmed.
std::array<Buttons, 4> run_tick(NetHost& host) {
  const auto words = next_inputs(host);
  (void)confirm_tick(host, words, game());
  return words;
}

TEST(NetHost, NewHostAndSlots) {
  const NetHost host = new_net_host(9, 100, 3);
  EXPECT_EQ(host.players, 4u);
  EXPECT_EQ(host.tick, 100u);
  EXPECT_EQ(host.history_base, 101u);
  EXPECT_EQ(host.acked, (std::array<std::uint64_t, 4>{100, 100, 100, 100}));
  EXPECT_EQ(host.active, (std::array<std::uint8_t, 4>{1, 1, 1, 1}));
  EXPECT_EQ(new_net_host(0, 0, 0).players, 1u);
  EXPECT_EQ(new_net_host(2, 0, 0).active, (std::array<std::uint8_t, 4>{1, 1, 0, 0}));

  NetHost two = new_net_host(2, 50, 0);
  add_inputs(two, 1, inputs_from(51, {7, 7, 7}, 50));
  activate_slot(two, 1);  // a new session on the slot starts afresh
  EXPECT_FALSE(two.inputs[1].holds(51));
  EXPECT_EQ(two.last_received[1], 0u);
  EXPECT_EQ(two.lead[1].size, 0u);
  activate_slot(two, 3);  // beyond the player count: nothing
  EXPECT_EQ(two.active[3], 0);
}

TEST(NetHost, InputsAreStoredOnlyWithinTheHorizon) {
  NetHost host = new_net_host(1, 100, 0);
  std::vector<Buttons> words(122);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<Buttons>(i + 1);
  add_inputs(host, 0, inputs_from(100, words));  // ticks 100 .. 221
  EXPECT_FALSE(host.inputs[0].holds(100));       // T: already run
  EXPECT_TRUE(host.inputs[0].holds(101));
  EXPECT_TRUE(host.inputs[0].holds(220));        // T + 120
  EXPECT_FALSE(host.inputs[0].holds(221));       // T + 121
  EXPECT_EQ(next_inputs(host)[0], 2);            // tick 101's word
  EXPECT_EQ(host.last_received[0], 221u);
  EXPECT_EQ(host.lead[0].least(), 121);
}

TEST(NetHost, AcknowledgementsAndEpochs) {
  NetHost host = new_net_host(2, 100, 4);
  add_inputs(host, 0, inputs_from(101, {5}, 500, 3));  // another epoch: nothing at all
  EXPECT_EQ(host.acked[0], 100u);
  EXPECT_FALSE(host.inputs[0].holds(101));
  EXPECT_EQ(host.lead[0].size, 0u);

  for (int i = 0; i < 10; ++i) run_tick(host);
  add_inputs(host, 0, inputs_from(111, {}, 500, 4));  // an acked tick beyond T is taken as T
  EXPECT_EQ(host.acked[0], 110u);
  EXPECT_EQ(host.lead[0].size, 0u);  // no inputs: the lead window is left as it was
  add_inputs(host, 0, inputs_from(111, {}, 104, 4));  // never backwards
  EXPECT_EQ(host.acked[0], 110u);
  add_inputs(host, 5, inputs_from(111, {1}, 110, 4));  // no such slot
  EXPECT_EQ(host.acked, (std::array<std::uint64_t, 4>{110, 100, 100, 100}));
}

TEST(NetHost, MissingWordsRepeatThenFallToZero) {
  NetHost host = new_net_host(2, 0, 0);
  deactivate_slot(host, 1);
  add_inputs(host, 0, inputs_from(1, {16}));
  add_inputs(host, 1, inputs_from(1, {32}));
  EXPECT_EQ(run_tick(host), (std::array<Buttons, 4>{16, 32, 0, 0}));
  for (int t = 2; t <= 21; ++t) {  // 20 silent ticks repeat the last word
    EXPECT_EQ(run_tick(host), (std::array<Buttons, 4>{16, 32, 0, 0})) << t;
  }
  EXPECT_EQ(run_tick(host), (std::array<Buttons, 4>{}));  // the 21st silent tick
  EXPECT_EQ(host.last[0], 0);
  EXPECT_EQ(host.guessed[0], 21u);
  EXPECT_EQ(host.guessed[1], 0u);  // an inactive slot is not counted
  add_inputs(host, 0, inputs_from(23, {1}));
  EXPECT_EQ(run_tick(host)[0], 1);
  EXPECT_EQ(host.miss[0], 0u);
}

TEST(NetHost, LeadsAndSlack) {
  NetHost host = new_net_host(1, 1000, 0);
  struct Step {
    std::uint64_t first;
    std::size_t count;
    std::int32_t least;  // the least lead after it
    std::size_t size;    // entries in the window after it
  };
  const Step steps[] = {
      {1003, 1, 3, 1},    // last 1003: lead 3
      {1001, 1, 1, 2},    // behind what was received: still a lead
      {1005, 2, 1, 3},    // a jump of 3: kept
      {1020, 1, 20, 1},   // a jump of 14 (> 8): the window restarts
      {1300, 1, 127, 1},  // clamped to 127 (and another restart)
      {700, 1, -127, 2},  // 300 behind: -127
  };
  for (const Step& s : steps) {
    add_inputs(host, 0, inputs_from(s.first, std::vector<Buttons>(s.count, 0), 1000));
    EXPECT_EQ(host.lead[0].least(), s.least) << s.first;
    EXPECT_EQ(host.lead[0].size, s.size) << s.first;
  }
  EXPECT_EQ(slot_slack(host, 0), -127);
  for (int i = 0; i < 20; ++i) add_inputs(host, 0, inputs_from(1002, {0}, 1000));
  EXPECT_EQ(host.lead[0].size, 20u);
  EXPECT_EQ(slot_slack(host, 0), 2);  // the oldest leads left the window
}

TEST(NetHost, HistoryFollowsTheActiveSlotsAcknowledgements) {
  NetHost host = new_net_host(3, 0, 0);
  deactivate_slot(host, 2);  // its acknowledgement never counts
  for (int i = 0; i < 10; ++i) run_tick(host);
  EXPECT_EQ(host.history.size(), 10u);
  add_inputs(host, 0, inputs_from(11, {}, 6));
  add_inputs(host, 1, inputs_from(11, {}, 4));
  run_tick(host);
  EXPECT_EQ(host.history_base, 5u);  // slot 1 has ticks up to 4
  EXPECT_EQ(host.history.size(), 7u);
  deactivate_slot(host, 1);
  run_tick(host);
  EXPECT_EQ(host.history_base, 7u);
  deactivate_slot(host, 0);
  run_tick(host);  // nobody active: the whole history goes
  EXPECT_TRUE(host.history.empty());
  EXPECT_EQ(host.history_base, 14u);
}

TEST(NetHost, ASlotFarBehindIsLetGo) {
  NetHost host = new_net_host(2, 0, 0);
  std::uint8_t dropped = 0;
  for (std::uint64_t t = 1; t <= max_history_ticks + 5; ++t) {
    add_inputs(host, 0, inputs_from(t + 1, {}, t - 1));  // slot 0 keeps up; slot 1 is silent
    dropped |= confirm_tick(host, next_inputs(host), game());
    if (dropped != 0) {
      EXPECT_EQ(t, max_history_ticks + 1);
      break;
    }
  }
  EXPECT_EQ(dropped, 0b10);
  EXPECT_EQ(host.active[1], 0);
  EXPECT_LE(host.history.size(), 2u);  // slot 1 no longer holds it back
  activate_slot(host, 1);              // the rejoined session starts from now
  EXPECT_EQ(host.acked[1], host.tick);
}

TEST(NetHost, CommandsOfATickAndTheHash) {
  NetHost host = new_net_host(1, 0, 2);
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(note_command(host).ok());
  EXPECT_FALSE(command_room(host));
  const Status refused = note_command(host);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), too_many_commands_message);
  run_tick(host);
  EXPECT_EQ(host.history.back().commands, 255);
  EXPECT_EQ(host.commands, 0);
  EXPECT_TRUE(command_room(host));
  EXPECT_EQ(cmd_line(2, 2, LeaveCommand{1}), "cmd 2 2 leave 1");

  for (int i = 1; i < 120; ++i) run_tick(host);
  EXPECT_EQ(host.hash_tick, 120u);
  EXPECT_EQ(host.hash, state_hash(game()));
}

TEST(NetHost, TickMessageOfASlot) {
  NetHost host = new_net_host(2, 0, 6);
  add_inputs(host, 0, inputs_from(1, {16, 17, 18}, 0, 6));
  for (int i = 0; i < 100; ++i) run_tick(host);
  (void)note_command(host);
  add_inputs(host, 1, inputs_from(101, {}, 100, 6));

  const TickMessage behind = tick_message(host, 0);
  EXPECT_EQ(behind.first, 1u);
  EXPECT_EQ(behind.count, 64);  // at most 64 ticks
  EXPECT_EQ(behind.records[0].inputs, (std::array<Buttons, 4>{16, 0, 0, 0}));
  EXPECT_EQ(behind.records[2].inputs, (std::array<Buttons, 4>{18, 0, 0, 0}));
  EXPECT_EQ(behind.slack, 3);  // inputs up to tick 3 against T = 0
  EXPECT_EQ(behind.last_input, 3u);
  EXPECT_EQ(behind.hash_tick, 60u);
  EXPECT_EQ(behind.epoch, 6);
  EXPECT_EQ(behind.players, 4);

  const TickMessage current = tick_message(host, 1);  // acknowledged everything
  EXPECT_EQ(current.first, 101u);
  EXPECT_EQ(current.count, 0);
  EXPECT_EQ(current.hash, host.hash);

  std::vector<std::uint8_t> bytes;
  build_tick_message(host, 0, 77, bytes);
  const auto decoded = decode_tick_datagram(bytes, 0);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->session_id, 77u);
  EXPECT_EQ(decoded->message, behind);
}

TEST(NetHost, InputDatagramsFindTheirSlot) {
  NetHost host = new_net_host(2, 10, 1);
  const std::array<std::optional<std::uint64_t>, 4> ids{std::nullopt, 42, 42, 8};
  std::vector<std::uint8_t> bytes;
  encode_input_datagram(42, inputs_from(11, {9}, 10, 1), bytes);
  EXPECT_EQ(handle_input_datagram(host, bytes, ids), 1u);  // the first slot with the id
  EXPECT_TRUE(host.inputs[1].holds(11));

  encode_input_datagram(8, inputs_from(11, {9}, 10, 1), bytes);
  EXPECT_EQ(handle_input_datagram(host, bytes, ids), 3u);  // occupied, beyond the players: heard only
  encode_input_datagram(42, inputs_from(12, {9}, 10, 0), bytes);
  EXPECT_EQ(handle_input_datagram(host, bytes, ids), 1u);  // another epoch: heard only
  EXPECT_FALSE(host.inputs[1].holds(12));

  encode_input_datagram(5, inputs_from(11, {9}, 10, 1), bytes);
  EXPECT_EQ(handle_input_datagram(host, bytes, ids), std::nullopt);  // nobody's id
  encode_input_datagram(42, inputs_from(11, {9}, 10, 1), bytes);
  bytes.pop_back();
  EXPECT_EQ(handle_input_datagram(host, bytes, ids), std::nullopt);  // truncated
}

TEST(NetHost, TicksPastTwoToTheThirtyTwo) {
  constexpr std::uint64_t start = (std::uint64_t{1} << 32) - 3;
  NetHost host = new_net_host(1, start, 0);
  const std::array<std::optional<std::uint64_t>, 4> ids{1, std::nullopt, std::nullopt, std::nullopt};
  std::vector<std::uint8_t> bytes;
  for (std::uint64_t t = start + 1; t <= start + 8; ++t) {
    encode_input_datagram(1, inputs_from(t, {static_cast<Buttons>(t & 0xFF)}, t - 1), bytes);
    ASSERT_EQ(handle_input_datagram(host, bytes, ids), 0u);
    EXPECT_EQ(run_tick(host)[0], t & 0xFF) << t;  // stored and taken across the boundary
  }
  EXPECT_EQ(host.acked[0], start + 7);
  build_tick_message(host, 0, 1, bytes);
  const auto decoded = decode_tick_datagram(bytes, start + 7);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->message.first, start + 8);
  EXPECT_EQ(decoded->message.count, 1);
  EXPECT_EQ(decoded->message.last_input, start + 8);
}

}  // namespace
}  // namespace velmora
