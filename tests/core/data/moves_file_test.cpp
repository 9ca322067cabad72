#include "core/data/moves_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

// The keys every move needs, good values, on lines 2 to 9 after the header.
constexpr std::string_view shape =
    "startup = 3\nactive = 2\nrecovery = 10\nforward = 0 40\nheight = 20 90\ndepth = 25\n";
const std::string base = std::string(shape) + "damage = swing 0 crushing\nreaction = stagger 12 3\n";

// Reads one moves.txt text; the sections stay alive for the name map.
struct MovesRead {
  Faults faults;
  std::vector<Section> sections;
  std::vector<MoveDef> moves;
  explicit MovesRead(std::string_view text) : sections(parse_data_file("moves.txt", text, faults)) {
    DataNames names;
    names.moves = section_names(sections, "move");
    moves = read_moves_file(sections, names, faults);
  }
};

// [move jab] with the base keys, then `extra` from line 10.
MovesRead one_move(std::string_view extra) { return MovesRead("[move jab]\n" + base + std::string(extra)); }

// Read while the program is still starting up, before main.
const Faults start_up_faults = one_move("").faults;

TEST(MovesFile, RequiredKeysAndDefaults) {
  const MovesRead r = one_move("");
  ASSERT_EQ(r.faults, Faults{});
  EXPECT_EQ(start_up_faults, Faults{});  // the key table is ready before main
  const MoveDef& m = r.moves.at(0);
  EXPECT_EQ(m.title, "jab");
  EXPECT_EQ(m.damage_base, DamageBase::swing);
  EXPECT_EQ(m.reaction, ReactionKind::stagger);
  EXPECT_EQ((std::vector<int>{m.startup, m.active, m.recovery, m.forward.from, m.forward.to, m.height.from,
                              m.height.to, m.depth, m.stun, m.push}),
            (std::vector<int>{3, 2, 10, 0, 40, 20, 90, 25, 12, 3}));
  EXPECT_EQ((std::vector<int>{m.hitstop, m.stamina, m.armor_divisor, m.backstab_mult, m.undead_mult}),
            (std::vector<int>{4, 8, 1, 2, 1}));
  EXPECT_FALSE(m.next || m.projectile || m.rally || m.ward || m.burst || m.storm);
}

TEST(MovesFile, DamageAndReactionForms) {
  const MovesRead dice("[move a]\n" + std::string(shape) + "damage = +3d -1 burning\nreaction = knockdown 0 -4\n");
  ASSERT_EQ(dice.faults, Faults{});
  const MoveDef& d = dice.moves.at(0);
  EXPECT_EQ(d.damage_base, DamageBase::dice);
  EXPECT_EQ((std::vector<int>{d.damage_dice, d.damage_add, d.vx, d.vy}), (std::vector<int>{3, -1, 0, -4}));
  EXPECT_EQ(d.damage_type, DamageType::burning);
  EXPECT_EQ(d.reaction, ReactionKind::knockdown);

  const std::string damage = "moves.txt:8: 'damage' must be thrust|swing|Nd MODIFIER crushing|cutting|impaling|burning";
  const std::string reaction = "moves.txt:9: 'reaction' must be stagger STUN PUSH or knockdown VX VY";
  const std::pair<std::size_t, const char*> bad[] = {
      {6, "0d 1 burning"}, {6, "d 1 burning"}, {6, "-2d 0 cutting"}, {6, "swing 1"}, {6, "swing x cutting"},
      {6, "swing 1 fire"}, {6, "2 1 burning"}, {6, "2d 1 burning extra"}, {7, "stagger 0 10"},
      {7, "stagger 5"}, {7, "push 5 5"}, {7, "knockdown 3 y"}};
  for (const auto& [entry, text] : bad) {
    MovesRead r = one_move("");
    r.sections[0].entries[entry].value = text;
    Faults faults;
    read_moves_file(r.sections, DataNames{}, faults);
    EXPECT_EQ(faults, Faults{entry == 6 ? damage : reaction}) << text;
  }
}

TEST(MovesFile, ChainsNameAnyMoveOfTheFile) {
  const std::string& b = base;
  const MovesRead r("[move jab]\n" + b + "next = cross from +8\n" +   // lines 1-10
                    "[move cross]\n" + b + "next = cross from 0\n" +  // lines 11-20
                    "[move hook]\n" + b + "next = jab at 8\n" +       // lines 21-30
                    "[move upper]\n" + b + "next = nosuch from 3\n" + "[move body]\n" + b + "next = jab from 65536\n");
  ASSERT_EQ(r.moves.size(), 5U);
  EXPECT_EQ(r.moves[0].next, (ChainSpec{1, 8}));
  EXPECT_EQ(r.moves[1].next, (ChainSpec{1, 0}));  // loops are the validation's business
  EXPECT_FALSE(r.moves[2].next);
  EXPECT_EQ(r.faults, (Faults{"moves.txt:30: 'next' must be MOVE from FRAME",
                              "moves.txt:40: 'next' must be a move defined in this file ('nosuch' is not)",
                              "moves.txt:50: 'next' must be MOVE from FRAME"}));
}

TEST(MovesFile, CountsAreLimitedAndEffectsRead) {
  const MovesRead r("[move jab]\nstartup = -3\nactive = 70000\nrecovery = 65535\nforward = 0 40\nheight = 20 90\n"
                    "depth = 25\ndamage = thrust 0 crushing\nreaction = stagger 12 3\nhitstop = 900\nshout = -5\n"
                    "taunt = 90000\ninvulnerable = -1 70000\nrally = 5 90000\nvanish = -2 50\nsleep = 65536\n"
                    "title = Whirlwind\nblurb = spins\nrequires = 2\nprojectile = 12 400\npoison = 6 300\n"
                    "ward = 2 600\nturn_undead = 200 5\nfreeze = 150 100\nburst = 2 0 150 burning\n"
                    "storm = 3 1 cutting\nspell = yes\n");
  ASSERT_EQ(r.faults, Faults{});
  const MoveDef& m = r.moves.at(0);
  EXPECT_EQ((std::vector<int>{m.startup, m.active, m.recovery, m.hitstop, m.shout, m.taunt, m.sleep}),
            (std::vector<int>{0, 65535, 65535, 255, 0, 65535, 65535}));
  EXPECT_EQ(m.invulnerable, (FrameSpan{0, 65535}));
  EXPECT_EQ(m.rally, (RallySpec{5, 65535}));
  EXPECT_EQ(m.vanish, (VanishSpec{0, 50}));
  EXPECT_EQ(m.title + "/" + m.blurb, "Whirlwind/spins");
  ASSERT_TRUE(m.projectile && m.poison && m.ward && m.turn_undead && m.freeze);
  EXPECT_EQ((std::vector<int>{m.requires_skill, m.projectile->speed, m.projectile->range, m.poison->damage,
                              m.poison->ticks, m.ward->dr, m.ward->ticks, m.turn_undead->ticks, m.turn_undead->hp,
                              m.freeze->radius, m.freeze->ticks}),
            (std::vector<int>{2, 12, 400, 6, 300, 2, 600, 200, 5, 150, 100}));
  EXPECT_EQ(m.burst, (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_EQ(m.storm, (StormSpec{3, 1, DamageType::cutting}));
  EXPECT_TRUE(m.spell);
}

TEST(MovesFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one.
  const MovesRead r("[move jab]\nhitstop = x\nnext = a b c\nstamina = x\nfp = x\nprojectile = 1\n"
                    "storm = 1\nspell = maybe\nsmash = 3\nfp = 2\nward = 2 x\n[item jab]\nbogus = 1\n");
  const std::string needs = "moves.txt:1: [move jab] needs '";
  EXPECT_EQ(r.faults, (Faults{"moves.txt:9: unknown key 'smash' in [move jab]", "moves.txt:10: 'fp' is set twice",
                              needs + "startup'", needs + "active'", needs + "recovery'", needs + "forward'",
                              needs + "height'", needs + "depth'", needs + "damage'", needs + "reaction'",
                              "moves.txt:3: 'next' must be MOVE from FRAME",
                              "moves.txt:6: 'projectile' must be 2 whole numbers",
                              "moves.txt:2: 'hitstop' must be 1 whole number",
                              "moves.txt:5: 'fp' must be 1 whole number",
                              "moves.txt:4: 'stamina' must be 1 whole number",
                              "moves.txt:11: 'ward' must be 2 whole numbers", "moves.txt:8: 'spell' must be yes or no",
                              "moves.txt:7: 'storm' must be DICE ADD crushing|cutting|impaling|burning",
                              "moves.txt:12: unknown section [item] (this file holds [move ...])"}));
  ASSERT_EQ(r.moves.size(), 1U);
  EXPECT_FALSE(r.moves[0].projectile || r.moves[0].storm || r.moves[0].ward);
}

}  // namespace
}  // namespace velmora
