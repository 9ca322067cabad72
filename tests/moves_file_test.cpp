#include "core/moves_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace velmora {
namespace {

// The keys every move needs, good values.
constexpr std::string_view base =
    "startup = 3\nactive = 2\nrecovery = 10\nforward = 0 40\nheight = 20 90\ndepth = 25\n"
    "damage = thrust 0 crushing\nreaction = stagger 12 3\n";

// Reads one moves.txt text; the sections stay alive for the name map.
struct MovesRead {
  std::vector<Section> sections;
  Faults faults;
  std::vector<MoveDef> moves;
  explicit MovesRead(std::string_view text) {
    sections = parse_data_file("moves.txt", text, faults);
    DataNames names;
    names.moves = section_names(sections, "move");
    moves = read_moves_file(sections, names, faults);
  }
};

// A single move: the base keys and then `extra`, with the header on line 1.
MovesRead one_move(std::string_view extra) {
  return MovesRead("[move jab]\n" + std::string(base) + std::string(extra));
}

TEST(MovesFile, DefaultsOfAPlainMove) {
  MovesRead r = one_move("");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  ASSERT_EQ(r.moves.size(), 1U);
  const MoveDef& m = r.moves[0];
  EXPECT_EQ(m.name, "jab");
  EXPECT_EQ(m.title, "jab");
  EXPECT_EQ(m.blurb, "");
  EXPECT_EQ(m.forward, (FromTo{0, 40}));
  EXPECT_EQ(m.reaction, ReactionKind::stagger);
  EXPECT_EQ(m.stun, 12);
  EXPECT_EQ(m.push, 3);
  EXPECT_EQ(m.hitstop, 4);
  EXPECT_EQ(m.stamina, 8);
  EXPECT_EQ(m.armor_divisor, 1);
  EXPECT_EQ(m.backstab_mult, 2);
  EXPECT_EQ(m.undead_mult, 1);
  EXPECT_EQ(m.invulnerable, (FrameSpan{0, 0}));
  EXPECT_FALSE(m.next || m.projectile || m.rally || m.ward || m.burst || m.storm);
}

// Reads the move of `r` again with one entry's value replaced.
std::pair<MoveDef, Faults> reread(MovesRead& r, std::size_t entry, std::string value) {
  r.sections[0].entries.at(entry).value = std::move(value);
  Faults faults;
  auto moves = read_moves_file(r.sections, DataNames{}, faults);
  return {moves.at(0), faults};
}

TEST(MovesFile, DamageForms) {
  MovesRead r = one_move("");
  const auto [dice, none] = reread(r, 6, "2d 1 burning");
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(dice.damage_base, DamageBase::dice);
  EXPECT_EQ(dice.damage_dice, 2);
  EXPECT_EQ(dice.damage_add, 1);
  EXPECT_EQ(dice.damage_type, DamageType::burning);
  EXPECT_EQ(reread(r, 6, "+3d -1 cutting").first.damage_dice, 3);
  EXPECT_EQ(reread(r, 6, "swing 2 impaling").first.damage_base, DamageBase::swing);

  const Faults bad{"moves.txt:8: 'damage' must be thrust|swing|Nd MODIFIER crushing|cutting|impaling|burning"};
  for (std::string_view text : {"0d 1 burning", "d 1 burning", "-2d 0 cutting", "swing 1", "swing x cutting",
                                "swing 1 fire", "2 1 burning", "2d 1 burning extra"}) {
    EXPECT_EQ(reread(r, 6, std::string(text)).second, bad) << text;
  }
}

TEST(MovesFile, Reactions) {
  MovesRead r = one_move("");
  const auto [knock, none] = reread(r, 7, "knockdown 0 0");
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(knock.reaction, ReactionKind::knockdown);
  const Faults bad{"moves.txt:9: 'reaction' must be stagger STUN PUSH or knockdown VX VY"};
  EXPECT_EQ(reread(r, 7, "stagger 0 10").second, bad);  // a stagger stuns at least one tick
  EXPECT_EQ(reread(r, 7, "stagger 5").second, bad);
  EXPECT_EQ(reread(r, 7, "push 5 5").second, bad);
  EXPECT_EQ(reread(r, 7, "knockdown 3 y").second, bad);
}

TEST(MovesFile, ChainsNameAnyMoveOfTheFile) {
  MovesRead r("[move jab]\n" + std::string(base) + "next = cross from 8\n" +   // lines 1-10
              "[move cross]\n" + std::string(base) + "next = cross from 0\n" +  // lines 11-20
              "[move hook]\n" + std::string(base) + "next = jab at 8\n" +       // lines 21-30
              "[move upper]\n" + std::string(base) + "next = nosuch from 3\n" +
              "[move body]\n" + std::string(base) + "next = jab from 65536\n");
  ASSERT_EQ(r.moves.size(), 5U);
  EXPECT_EQ(r.moves[0].next, (ChainSpec{1, 8}));
  EXPECT_EQ(r.moves[1].next, (ChainSpec{1, 0}));  // loops are the validation's business
  EXPECT_FALSE(r.moves[2].next);
  EXPECT_EQ(r.faults, (Faults{"moves.txt:30: 'next' must be MOVE from FRAME",
                              "moves.txt:40: 'next' must be a move defined in this file ('nosuch' is not)",
                              "moves.txt:50: 'next' must be MOVE from FRAME"}));
}

TEST(MovesFile, LimitedAndClampedCounts) {
  MovesRead r("[move jab]\nstartup = -3\nactive = 70000\nrecovery = 65535\nforward = 0 40\n"
              "height = 20 90\ndepth = 25\ndamage = thrust 0 crushing\nreaction = stagger 12 3\n"
              "hitstop = 900\nshout = -5\ntaunt = 90000\ninvulnerable = -1 70000\nrally = 5 90000\n"
              "vanish = -2 50\nsleep = 65536\n");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const MoveDef& m = r.moves[0];
  EXPECT_EQ(m.startup, 0);
  EXPECT_EQ(m.active, 65535);
  EXPECT_EQ(m.recovery, 65535);
  EXPECT_EQ(m.hitstop, 255);
  EXPECT_EQ(m.shout, 0);
  EXPECT_EQ(m.taunt, 65535);
  EXPECT_EQ(m.sleep, 65535);
  EXPECT_EQ(m.invulnerable, (FrameSpan{0, 65535}));
  EXPECT_EQ(m.rally, (RallySpec{5, 65535}));
  EXPECT_EQ(m.vanish, (VanishSpec{0, 50}));
}

TEST(MovesFile, EffectsAndTheirForms) {
  MovesRead r = one_move(
      "title = Whirlwind\nblurb = spins\nrequires = 2\nprojectile = 12 400\npoison = 6 300\n"
      "ward = 2 600\nturn_undead = 200 5\nfreeze = 150 100\nburst = 2 0 150 burning\n"
      "storm = 3 1 cutting\nspell = yes\n");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const MoveDef& m = r.moves[0];
  EXPECT_EQ(m.title, "Whirlwind");
  EXPECT_EQ(m.blurb, "spins");
  EXPECT_EQ(m.requires_skill, 2);
  EXPECT_EQ(m.projectile, (ProjectileSpec{12, 400}));
  EXPECT_EQ(m.poison, (PoisonSpec{6, 300}));
  EXPECT_EQ(m.ward, (WardSpec{2, 600}));
  EXPECT_EQ(m.turn_undead, (TurnUndeadSpec{200, 5}));
  EXPECT_EQ(m.freeze, (RadiusTicks{150, 100}));
  EXPECT_EQ(m.burst, (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_EQ(m.storm, (StormSpec{3, 1, DamageType::cutting}));
  EXPECT_TRUE(m.spell);

  MovesRead bad = one_move("projectile = 12\nstorm = 3 1 fire\nward = 2 x\n");
  EXPECT_FALSE(bad.moves[0].projectile);
  EXPECT_FALSE(bad.moves[0].storm);
  EXPECT_EQ(bad.faults, (Faults{"moves.txt:10: 'projectile' must be 2 whole numbers",
                                "moves.txt:12: 'ward' must be 2 whole numbers",
                                "moves.txt:11: 'storm' must be DICE ADD crushing|cutting|impaling|burning"}));
}

TEST(MovesFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one.
  MovesRead r("[move jab]\nhitstop = x\nnext = a b c\nstamina = x\nfp = x\nprojectile = 1\n"
              "storm = 1\nspell = maybe\nsmash = 3\nfp = 2\n");
  EXPECT_EQ(r.faults, (Faults{"moves.txt:9: unknown key 'smash' in [move jab]",
                              "moves.txt:10: 'fp' is set twice",
                              "moves.txt:1: [move jab] needs 'startup'",
                              "moves.txt:1: [move jab] needs 'active'",
                              "moves.txt:1: [move jab] needs 'recovery'",
                              "moves.txt:1: [move jab] needs 'forward'",
                              "moves.txt:1: [move jab] needs 'height'",
                              "moves.txt:1: [move jab] needs 'depth'",
                              "moves.txt:1: [move jab] needs 'damage'",
                              "moves.txt:1: [move jab] needs 'reaction'",
                              "moves.txt:3: 'next' must be MOVE from FRAME",
                              "moves.txt:6: 'projectile' must be 2 whole numbers",
                              "moves.txt:2: 'hitstop' must be 1 whole number",
                              "moves.txt:5: 'fp' must be 1 whole number",
                              "moves.txt:4: 'stamina' must be 1 whole number",
                              "moves.txt:8: 'spell' must be yes or no",
                              "moves.txt:7: 'storm' must be DICE ADD crushing|cutting|impaling|burning"}));
}

TEST(MovesFile, SectionsOfAnotherKindAreSkipped) {
  MovesRead r("[item jab]\nbogus = 1\n[move cross]\n" + std::string(base));
  EXPECT_EQ(r.faults, (Faults{"moves.txt:1: unknown section [item] (this file holds [move ...])"}));
  ASSERT_EQ(r.moves.size(), 1U);
  EXPECT_EQ(r.moves[0].name, "cross");
}

TEST(MovesFile, EnumWords) {
  for (DamageBase b : {DamageBase::thrust, DamageBase::swing, DamageBase::dice}) {
    EXPECT_EQ(parse_damage_base(damage_base_word(b)), b);
  }
  for (ReactionKind k : {ReactionKind::stagger, ReactionKind::knockdown}) {
    EXPECT_EQ(parse_reaction_kind(reaction_kind_word(k)), k);
  }
  EXPECT_FALSE(parse_damage_base("Thrust"));
}

}  // namespace
}  // namespace velmora
