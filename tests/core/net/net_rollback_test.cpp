// The client side of the netcode on its own: input delay, prediction and
// rollback, the input message, the confirmation walk with its commands and
// hashes, "cmd" lines, and the pacing of a client tick.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/data/game_data.h"
#include "core/net/rollback_session.h"
#include "core/rules/sim.h"
#include "core/world/actor.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

World game_at(std::uint64_t tick) {
  World w = new_game(0, 7, std::vector<CharacterSheet>(2, new_character(default_class())));
  w.actors[1].slot = 1;
  w.tick = tick;
  return w;
}

using Words = std::array<Buttons, 4>;

// A tick message of epoch 0 confirming ticks first .. with the words given.
TickMessage confirming(std::uint64_t first, const std::vector<Words>& words, std::uint8_t commands = 0) {
  TickMessage m;
  m.first = first;
  m.count = static_cast<std::uint8_t>(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) m.records[i] = TickRecord{words[i], commands};
  return m;
}

// Confirms the session's predicted ticks up to `through` with the words it predicted.
void confirm_as_predicted(RollbackSession& s, std::uint64_t through) {
  std::vector<Words> words;
  for (std::uint64_t t = s.confirmed.tick + 1; t <= through; ++t) words.push_back(s.predicted_inputs.at(t));
  receive_tick_message(s, confirming(s.confirmed.tick + 1, words));
}

TEST(RollbackSession, InputDelayAndTheInputMessage) {
  RollbackSession s = new_rollback_session(game_at(100), 1, 9, 2, 4);
  EXPECT_EQ(s.players, 4u);
  EXPECT_EQ(s.local_inputs, (std::map<std::uint64_t, Buttons>{{101, 0}, {102, 0}}));
  rollback_advance(s, 16);
  EXPECT_EQ(s.predicted.tick, 101u);
  EXPECT_EQ(s.local_inputs.at(103), 16);  // the word acts two ticks later
  EXPECT_EQ(s.predicted_inputs.at(101), (Words{0, 0, 0, 0}));

  const InputMessage m = input_message(s);
  EXPECT_EQ(m.acked, 100u);
  EXPECT_EQ(m.first, 101u);
  EXPECT_EQ(std::vector<Buttons>(m.words().begin(), m.words().end()), (std::vector<Buttons>{0, 0, 16}));
  EXPECT_EQ(m.epoch, 4);

  RollbackSession held = new_rollback_session(game_at(5), 0, 2, 0, 0);
  for (std::uint64_t t = 10; t <= 60; ++t) held.local_inputs[t] = static_cast<Buttons>(t);
  const InputMessage newest = input_message(held);
  EXPECT_EQ(newest.first, 29u);
  EXPECT_EQ(newest.count, 32);
  EXPECT_EQ(newest.inputs[31], 60);

  held.local_inputs.clear();
  const InputMessage none = input_message(held);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.first, 6u);
  EXPECT_EQ(encode_input_message(none).size(), 12u);
}

TEST(RollbackSession, RollbackCountsAndRestart) {
  RollbackSession s = new_rollback_session(game_at(40), 0, 2, 2, 0);
  for (int i = 0; i < 5; ++i) rollback_advance(s, button::right);
  ASSERT_EQ(s.predicted.tick, 45u);
  s.rollback_needed = true;
  rollback_advance(s, button::right);
  EXPECT_EQ(s.predicted.tick, 46u);
  EXPECT_EQ(s.counters.rollbacks, 1u);
  EXPECT_EQ(s.counters.rollback_ticks, 5u);
  EXPECT_EQ(s.counters.deepest, 5u);
  EXPECT_FALSE(s.rollback_needed);

  // The server confirms other words for slot 1: a misprediction.
  std::vector<Words> words;
  for (std::uint64_t t = 41; t <= 50; ++t) words.push_back(Words{s.local_inputs.count(t) ? s.local_inputs.at(t) : Buttons{0}, 1, 0, 0});
  receive_tick_message(s, confirming(41, words));
  EXPECT_EQ(s.confirmed.tick, 50u);
  EXPECT_TRUE(s.rollback_needed);
  EXPECT_EQ(s.last_confirmed[1], 1);
  rollback_advance(s, 0);  // the prediction restarts from the confirmed world: no rollback counted
  EXPECT_EQ(s.predicted.tick, 51u);
  EXPECT_EQ(s.counters.rollbacks, 1u);
  EXPECT_FALSE(s.rollback_needed);
  EXPECT_EQ(s.predicted_inputs.at(51)[1], 1);  // the others' last confirmed words are the guess
  EXPECT_TRUE(s.local_inputs.find(50) == s.local_inputs.end());  // confirmed ticks are pruned
}

TEST(RollbackSession, ConfirmationWalk) {
  RollbackSession s = new_rollback_session(game_at(0), 0, 2, 2, 0);
  for (int i = 0; i < 6; ++i) rollback_advance(s, button::right);
  confirm_as_predicted(s, 2);
  EXPECT_EQ(s.confirmed.tick, 2u);
  EXPECT_FALSE(s.rollback_needed);

  // Ticks 1 .. 5: the first two are old and skipped, the later ones follow on.
  std::vector<Words> words;
  for (std::uint64_t t = 1; t <= 5; ++t) words.push_back(t <= 2 ? Words{9, 9, 9, 9} : s.predicted_inputs.at(t));
  receive_tick_message(s, confirming(1, words));
  EXPECT_EQ(s.confirmed.tick, 5u);
  EXPECT_FALSE(s.rollback_needed);

  TickMessage other_epoch = confirming(6, {s.predicted_inputs.at(6)});
  other_epoch.epoch = 1;
  receive_tick_message(s, other_epoch);
  EXPECT_EQ(s.confirmed.tick, 5u);

  // Tick 6 carries a command whose line has not arrived: it waits.
  TickMessage with_command = confirming(6, {s.predicted_inputs.at(6)}, 1);
  receive_tick_message(s, with_command);
  EXPECT_EQ(s.confirmed.tick, 5u);
  EXPECT_EQ(s.counters.command_waits, 1u);
  EXPECT_TRUE(receive_cmd_line(s, "cmd 1 6 leave 1").ok());  // another epoch: ignored
  EXPECT_TRUE(receive_cmd_line(s, "cmd 0 5 leave 1").ok());  // a confirmed tick: ignored
  EXPECT_TRUE(receive_cmd_line(s, "cmd 0 x leave 1").ok());  // does not parse: ignored
  EXPECT_TRUE(receive_cmd_line(s, "cmd 0 6 fly 1").ok());
  EXPECT_EQ(s.waiting_commands, 0u);
  EXPECT_FALSE(s.rollback_needed);
  EXPECT_TRUE(receive_cmd_line(s, "cmd 0 6 leave 1").ok());
  EXPECT_TRUE(s.rollback_needed);  // the prediction already ran tick 6 without it
  receive_tick_message(s, with_command);
  EXPECT_EQ(s.confirmed.tick, 6u);
  EXPECT_EQ(s.confirmed.actors[1].gone, 1);
  EXPECT_TRUE(s.commands.empty());
  EXPECT_EQ(s.waiting_commands, 0u);

  rollback_advance(s, 0);
  EXPECT_EQ(s.predicted.actors[1].gone, 1);  // the rolled-back prediction has it too
}

TEST(RollbackSession, HashesAreComparedOnceEach) {
  RollbackSession s = new_rollback_session(game_at(0), 0, 1, 2, 0);
  std::vector<std::uint64_t> hashes;
  for (std::uint64_t t = 1; t <= 20 * 60; ++t) {
    receive_tick_message(s, confirming(t, {Words{}}));
    if (t % 60 == 0) hashes.push_back(state_hash(s.confirmed));
  }
  EXPECT_EQ(s.own_hashes.size(), own_hashes_kept);
  EXPECT_EQ(s.own_hashes.begin()->first, 5u * 60);  // the 16 newest

  TickMessage report = confirming(20 * 60 + 1, {});
  report.hash_tick = 4 * 60;  // forgotten: nothing to compare
  report.hash = hashes[3];
  receive_tick_message(s, report);
  EXPECT_EQ(s.counters.hashes_compared, 0u);
  report.hash_tick = 6 * 60;
  report.hash = hashes[5];
  receive_tick_message(s, report);
  receive_tick_message(s, report);  // the same tick again: compared once
  EXPECT_EQ(s.counters.hashes_compared, 1u);
  EXPECT_EQ(s.counters.desyncs, 0u);
  report.hash_tick = 7 * 60;
  report.hash = hashes[6] ^ 1;
  receive_tick_message(s, report);
  EXPECT_EQ(s.counters.hashes_compared, 2u);
  EXPECT_EQ(s.counters.desyncs, 1u);

  // A new stage starts with no hashes, the server's included, but keeps the counters.
  const RollbackSession next = renew_rollback_session(s, game_at(0), 1);
  EXPECT_TRUE(next.own_hashes.empty());
  EXPECT_EQ(next.server_hash_tick, 0u);
  EXPECT_EQ(next.slack_fence, 0u);
  EXPECT_EQ(next.counters, s.counters);
  EXPECT_EQ(next.epoch, 1);
}

TEST(RollbackSession, PacingJumpsAndTheLimit) {
  RollbackSession s = new_rollback_session(game_at(0), 0, 1, 2, 0);
  EXPECT_EQ(client_tick(s, 0), 1u);
  TickMessage late = confirming(1, {});
  late.slack = -9;
  late.last_input = 3;
  receive_tick_message(s, late);
  EXPECT_EQ(s.slack, -9);
  // One tick and 11 more, the word of each asked for anew.
  std::vector<std::uint64_t> asked;
  EXPECT_EQ(client_tick(s, [&](const World& w) { asked.push_back(w.tick); return Buttons{0}; }), 12u);
  EXPECT_EQ(asked.size(), 12u);
  EXPECT_EQ(asked.back(), 12u);
  EXPECT_EQ(s.predicted.tick, 13u);
  EXPECT_EQ(s.counters.jumped_ticks, 11u);
  EXPECT_EQ(s.slack, 2);
  EXPECT_EQ(s.slack_fence, 1u + 12 + 2);
  late.last_input = 14;  // sent before the jump: below the fence, ignored
  receive_tick_message(s, late);
  EXPECT_EQ(s.slack, 2);
  EXPECT_EQ(client_tick(s, 0), 1u);
  late.last_input = 15;
  receive_tick_message(s, late);
  EXPECT_EQ(s.slack, -9);

  // A jump never runs past 30 ticks beyond the confirmed world, and at the
  // limit nothing advances.
  s.slack = -100;
  EXPECT_EQ(client_tick(s, 0), 16u);
  EXPECT_EQ(s.predicted.tick, 30u);
  s.slack = 2;
  EXPECT_EQ(client_tick(s, 0), 0u);
  EXPECT_EQ(s.predicted.tick, 30u);
  EXPECT_EQ(input_message(s).count, 32);  // still sent each tick
}

TEST(RollbackSession, TickPeriods) {
  const std::pair<std::int32_t, std::uint64_t> cases[] = {
      {-128, 15332}, {1, 15332}, {2, 16666}, {5, 16666}, {6, 17999}, {13, 17999}, {14, 20832}, {127, 20832},
  };
  for (const auto& [slack, period] : cases) {
    EXPECT_EQ(client_tick_period_us(slack, 0), period) << slack;
    EXPECT_EQ(client_tick_period_us(slack, 1), period) << slack;
    EXPECT_EQ(client_tick_period_us(slack, 2), period / 2) << slack;
  }
}

}  // namespace
}  // namespace velmora
