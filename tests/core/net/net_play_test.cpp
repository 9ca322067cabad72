// Whole online games on the simulated network: the server side and its
// clients exchange the real datagrams and lines, and every run must end with
// each client's confirmed world equal to the server's, no desync, and state
// hashes actually compared along the way.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "core/data/game_data.h"
#include "core/world/actor.h"
#include "core/world/state_hash.h"
#include "tests/support/net_sim.h"

namespace velmora {
namespace {

using testing::NetConditions;
using testing::NetSim;
using testing::SimReport;

std::vector<CharacterSheet> party_of(std::size_t players) {
  std::vector<CharacterSheet> party;
  const auto& kinds = game_data().kinds;
  for (std::size_t k = 0; k < kinds.size() && party.size() < players; ++k) {
    if (!kinds[k].player) continue;
    CharacterSheet sheet = new_character(static_cast<std::uint8_t>(k));
    sheet.slot = static_cast<std::uint8_t>(party.size());
    party.push_back(sheet);
  }
  return party;
}

// Settles the run and checks every client against the server.
SimReport expect_in_step(NetSim& sim) {
  EXPECT_TRUE(sim.settle());
  const SimReport report = sim.report();
  for (const auto& [slot, client] : report.clients) {
    EXPECT_EQ(client.confirmed_tick, report.server_tick) << "slot " << slot;
    EXPECT_EQ(client.confirmed_hash, report.server_hash) << "slot " << slot;
    EXPECT_EQ(client.counters.desyncs, 0u) << "slot " << slot;
    EXPECT_GT(client.counters.hashes_compared, 0u) << "slot " << slot;
    EXPECT_GT(client.predictions_checked, 0u) << "slot " << slot;
    EXPECT_EQ(client.predictions_wrong, 0u) << "slot " << slot;
  }
  return report;
}

TEST(NetPlay, CleanNetwork) {
  NetSim sim(0, 21, party_of(2), NetConditions{}, 1);
  sim.join(0, testing::walking_script());
  sim.join(1, testing::walking_script());
  sim.run_ticks(1200);
  const SimReport report = expect_in_step(sim);
  EXPECT_EQ(report.server_tick, 1200u);
  for (const auto& [slot, client] : report.clients) {
    EXPECT_GE(client.counters.hashes_compared, 15u);
    EXPECT_LE(client.counters.deepest, 8u);
  }
}

TEST(NetPlay, ImpairedNetwork) {
  NetConditions net;
  net.delay_us = 50'000;
  net.jitter_us = 15'000;
  net.loss_per_mille = 50;
  net.reorder_per_mille = 50;
  net.duplicate_per_mille = 50;
  NetSim sim(0, 33, party_of(4), net, 7);
  for (std::uint64_t slot = 0; slot < 4; ++slot) sim.join(slot, testing::walking_script());
  sim.run_ticks(1800);
  const SimReport report = expect_in_step(sim);
  EXPECT_GT(report.datagrams_lost, 0u);
  EXPECT_GT(report.datagrams_duplicated, 0u);
  for (const auto& [slot, client] : report.clients) {
    const RollbackCounters& c = client.counters;
    EXPECT_GT(c.rollbacks, 0u);
    EXPECT_LE(c.deepest, max_prediction_ticks);
    std::printf("slot %llu: rollbacks %llu, mean %.1f, deepest %llu, compared %llu, guessed %llu, jumped %llu\n",
                static_cast<unsigned long long>(slot), static_cast<unsigned long long>(c.rollbacks),
                c.rollbacks == 0 ? 0.0 : static_cast<double>(c.rollback_ticks) / static_cast<double>(c.rollbacks),
                static_cast<unsigned long long>(c.deepest), static_cast<unsigned long long>(c.hashes_compared),
                static_cast<unsigned long long>(report.guessed[slot]), static_cast<unsigned long long>(c.jumped_ticks));
  }
}

TEST(NetPlay, APlayerJoinsMidStage) {
  NetSim sim(0, 5, party_of(3), NetConditions{.delay_us = 20'000, .jitter_us = 5'000}, 3);
  sim.join(0, testing::walking_script());
  sim.join(1, testing::walking_script());
  sim.at_tick(300, [](NetSim& s) {
    ASSERT_TRUE(s.command(LeaveCommand{1}).ok());  // on its way to the others as a "cmd" line
    s.join(2, testing::walking_script());          // gets it after the record
  });
  sim.run_ticks(900);
  const SimReport report = expect_in_step(sim);
  EXPECT_EQ(report.clients.at(2).rebuilds, 1u);
  EXPECT_EQ(sim.session(2)->confirmed.actors[1].gone, 1);
}

TEST(NetPlay, PartyCommandsBetweenTicks) {
  NetSim sim(0, 8, party_of(3), NetConditions{.delay_us = 30'000, .jitter_us = 10'000, .loss_per_mille = 20}, 4);
  for (std::uint64_t slot = 0; slot < 3; ++slot) sim.join(slot, testing::walking_script());
  std::uint64_t refused = 0;
  sim.at_tick(100, [&refused](NetSim& s) {
    for (int i = 0; i < 300; ++i) {  // more than a tick carries: the rest are refused
      const Status status = s.command(SpendCommand{static_cast<std::uint8_t>(i % 3), Attribute::st});
      if (!status) {
        EXPECT_EQ(status.message(), too_many_commands_message);
        ++refused;
      }
    }
  });
  sim.at_tick(101, [](NetSim& s) { EXPECT_TRUE(s.command(SpendCommand{0, Attribute::dx}).ok()); });
  sim.at_tick(250, [](NetSim& s) { EXPECT_TRUE(s.command(LeaveCommand{2}).ok()); });
  sim.at_tick(251, [](NetSim& s) {
    EXPECT_TRUE(s.command(LeaveCommand{1}).ok());  // the game refuses it: the last player stays
    EXPECT_TRUE(s.command(LeaveCommand{0}).ok());
  });
  sim.run_ticks(600);
  const SimReport report = expect_in_step(sim);
  EXPECT_EQ(refused, 45u) << report.server_tick;
  EXPECT_EQ(report.server_tick, 600u);
  for (const auto& [slot, client] : report.clients) {
    EXPECT_GT(client.counters.command_waits, 0u) << slot;  // ticks that waited for their lines
    const World& w = sim.session(slot)->confirmed;
    EXPECT_EQ(w.actors[1].gone + w.actors[2].gone, 2);  // slot 1 and 2 left; 0 could not
    EXPECT_EQ(w.actors[0].gone, 0);
  }
}

TEST(NetPlay, StageChange) {
  NetConditions net{.delay_us = 40'000, .jitter_us = 10'000, .loss_per_mille = 30, .reorder_per_mille = 30};
  NetSim sim(0, 12, party_of(2), net, 9);
  sim.join(0, testing::walking_script());
  sim.join(1, testing::walking_script());
  sim.at_tick(400, [](NetSim& s) { s.change_stage(2, 77); });
  sim.run_ticks(900);
  const SimReport report = expect_in_step(sim);
  EXPECT_EQ(sim.host().epoch, 1);
  EXPECT_LT(report.server_tick, 900u);  // the new stage counts from its own start
  for (const auto& [slot, client] : report.clients) {
    EXPECT_EQ(client.rebuilds, 2u);
    EXPECT_EQ(sim.session(slot)->confirmed.stage_index, 2u);
  }
}

TEST(NetPlay, SyncTestRollsBackEveryTick) {
  const World world = new_game(0, 99, party_of(4));
  std::map<std::uint64_t, std::vector<Command>> commands;
  commands[700] = {LeaveCommand{3}, SpendCommand{0, Attribute::ht}};
  commands[1500] = {LeaveCommand{2}};
  const auto report = testing::sync_test(world, testing::walking_script(), 3000, 8, commands);
  EXPECT_EQ(report.mismatches, 0u) << "first at tick " << report.first_mismatch_tick;
  EXPECT_GT(report.hashes_compared, 3000u * 8);
}

}  // namespace
}  // namespace velmora
