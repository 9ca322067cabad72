// Replays of the same inputs give the same worlds, tick for tick, whether the
// world runs straight, from a copy, or rolls back after a wrong guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"
#include "core/world/world.h"

namespace velmora {
namespace {

constexpr std::size_t players = 4;
constexpr std::size_t ticks = 3000;
using Inputs = std::array<Buttons, players>;

// A fixed generator for the script, independent of the world's own.
struct ScriptRng {
  std::uint64_t state;
  std::uint64_t next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  }
};

// Each player holds a heading for 24 ticks at a time, wandering at first
// among the enemies placed in view and then mostly walking right, so the
// party reaches the first gate and its wave comes in; presses are random.
std::vector<Inputs> script(std::uint64_t seed) {
  ScriptRng rng{seed};
  std::array<Buttons, players> heading{};
  std::vector<Inputs> out(ticks);
  for (std::size_t t = 0; t < ticks; ++t) {
    for (std::size_t p = 0; p < players; ++p) {
      if (t % 24 == 0) {
        const std::uint64_t h = rng.next();
        const std::uint64_t right_in_8 = t < ticks / 2 ? 5 : 7;
        heading[p] = (h % 8 < right_in_8) ? button::right : button::left;
        if ((h >> 4) % 3 == 0) heading[p] |= button::up;
        if ((h >> 4) % 3 == 1) heading[p] |= button::down;
      }
      const std::uint64_t r = rng.next();
      Buttons word = heading[p];
      if ((r >> 7) % 4 == 0) word |= button::attack;
      if ((r >> 8) % 9 == 0) word |= button::jump;
      if ((r >> 12) % 11 == 0) word |= button::guard;
      if ((r >> 16) % 13 == 0) word |= button::dash;
      if ((r >> 20) % 5 == 0) word |= button::special | static_cast<Buttons>(((r >> 24) % 8) << button::art_shift);
      if ((r >> 28) % 19 == 0) word |= button::quick;
      if ((r >> 3) % 29 == 0) word |= button::quick_next;
      out[t][p] = word;
    }
  }
  return out;
}

World start() {
  std::vector<CharacterSheet> party;
  const auto& kinds = game_data().kinds;
  for (std::uint8_t slot = 0; slot < players; ++slot) {
    std::uint8_t cls = default_class();
    std::uint8_t seen = 0;
    for (std::size_t k = 0; k < kinds.size(); ++k) {  // one of each class, in order
      if (kinds[k].player && seen++ == slot) cls = static_cast<std::uint8_t>(k);
    }
    CharacterSheet s = new_character(cls);
    s.slot = slot;
    // Every special learned and a bag of everything that can be used in a
    // fight, so items, spells, projectiles and hazards all come into play.
    for (const std::uint8_t move : kinds[cls].special) s.arts.push_back(move);
    for (const char* item : {"healing_potion", "fire_flask", "caltrops", "holy_water", "warding_charm"}) {
      for (int n = 0; n < 3; ++n) s.bag.push_back(*item_id(game_data().items, item));
    }
    party.push_back(s);
  }
  World w = new_game(*stage_index(game_data().stages, "first_road"), 20240611, party);
  // Enemies in view from the start, so that the party fights before the first gate.
  const char* names[] = {"bandit", "cutpurse", "archer", "shieldbearer", "wolf", "skeleton", "bandit", "ogre"};
  std::int32_t i = 0;
  for (const char* name : names) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    w.actors.push_back(actor_from_kind(id, *kind_id(kinds, name), 1, 255, 500 + 80 * i, 100 + 35 * i, -1));
    ++i;
  }
  return w;
}

// The hash after every tick of a run, and how much fighting it saw.
struct Played {
  std::vector<std::uint64_t> hashes;
  std::size_t hits = 0, kos = 0, spawned = 0;
  std::size_t most_projectiles = 0, most_hazards = 0;
  std::array<std::size_t, event_kind_count> seen{};  // events by kind
};

Played run_of(World w, const std::vector<Inputs>& inputs) {
  Played run;
  const std::size_t placed = w.actors.size();
  for (const Inputs& in : inputs) {
    tick(w, in);
    run.hashes.push_back(state_hash(w));
    for (const Event& e : w.events) {
      run.hits += e.kind == EventKind::hit ? 1 : 0;
      run.kos += e.kind == EventKind::ko ? 1 : 0;
      ++run.seen[static_cast<std::size_t>(e.kind)];
    }
    run.most_projectiles = std::max(run.most_projectiles, w.projectiles.size());
    run.most_hazards = std::max(run.most_hazards, w.hazards.size());
  }
  run.spawned = w.actors.size() - placed;
  return run;
}

TEST(Determinism, SameSeedAndInputsGiveTheSameHashEveryTick) {
  const std::vector<Inputs> inputs = script(1);
  const Played first = run_of(start(), inputs);
  const Played second = run_of(start(), inputs);
  ASSERT_EQ(first.hashes.size(), second.hashes.size());
  for (std::size_t t = 0; t < first.hashes.size(); ++t) {
    ASSERT_EQ(first.hashes[t], second.hashes[t]) << "tick " << t + 1;
  }
  // The script does reach the fighting: blows land, enemies fall, the gate
  // locks and its wave comes in.
  EXPECT_GT(first.hits, 0u);
  EXPECT_GT(first.kos, 0u);
  EXPECT_GT(first.spawned, 0u);
  // Items, specials, projectiles and hazards are in play.
  EXPECT_GT(first.most_projectiles, 0u);
  EXPECT_GT(first.most_hazards, 0u);
  for (const EventKind k : {EventKind::use, EventKind::heal, EventKind::ward, EventKind::blast,
                            EventKind::caltrops, EventKind::turned, EventKind::taunt}) {
    EXPECT_GT(first.seen[static_cast<std::size_t>(k)], 0u) << event_word(k);
  }
}

TEST(Determinism, ACopyRunsOnLikeTheOriginal) {
  const std::vector<Inputs> inputs = script(2);
  const std::vector<std::uint64_t> straight = run_of(start(), inputs).hashes;
  World w = start();
  const std::size_t k = 1234;
  for (std::size_t t = 0; t < k; ++t) tick(w, inputs[t]);
  World copy = world_clone(w);
  EXPECT_EQ(state_hash(copy), straight[k - 1]);
  for (std::size_t t = k; t < inputs.size(); ++t) {
    tick(copy, inputs[t]);
    ASSERT_EQ(state_hash(copy), straight[t]) << "tick " << t + 1;
  }
}

TEST(Determinism, RollbackAfterWrongInputsMatchesTheStraightRun) {
  const std::vector<Inputs> inputs = script(3);
  const std::vector<Inputs> wrong = script(4);
  const std::vector<std::uint64_t> straight = run_of(start(), inputs).hashes;
  World w = start();
  for (std::size_t k = 600; k + 30 <= inputs.size(); k += 600) {
    for (std::size_t t = w.tick; t < k; ++t) tick(w, inputs[t]);
    World saved = world_clone(w);
    for (std::size_t t = k; t < k + 30; ++t) tick(w, wrong[t]);
    if (saved.over == GameStatus::playing) {
      EXPECT_NE(state_hash(w), straight[k + 29]) << "the wrong inputs change the game";
    }
    w = saved;  // restore into the existing world, as a rollback does
    for (std::size_t t = k; t < k + 30; ++t) tick(w, inputs[t]);
    ASSERT_EQ(state_hash(w), straight[k + 29]) << "rolled back at " << k;
  }
}

}  // namespace
}  // namespace velmora
