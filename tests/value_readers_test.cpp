#include "core/value_readers.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// One section parsed from text, with a reader over it.
struct Fixture {
  std::vector<Section> sections;
  Faults faults;
  explicit Fixture(std::string_view body) {
    sections = parse_data_file("kinds.txt", "[kind brute]\n" + std::string(body), faults);
  }
  SectionReader reader() { return SectionReader(sections.at(0), faults); }
};

TEST(CheckKeys, UnknownAndDoubledKeysButRepeatablesPass) {
  Fixture f("st = 10\nwing = 2\nst = 11\nspawn = a\nspawn = b\nst = 12\n");
  f.reader().check_keys({"st", "spawn"}, {"spawn"});
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:3: unknown key 'wing' in [kind brute]",
                              "kinds.txt:4: 'st' is set twice", "kinds.txt:7: 'st' is set twice"}));
  EXPECT_EQ(f.reader().read_int("st", std::nullopt), 10);  // the first entry counts
}

TEST(ReadInts, GoodBadAndMissing) {
  Fixture f("stamina = 8 9\nforward = 10 x\ndepth = +30\nbig = 2147483648\nempty =\npair = -5 7\n");
  SectionReader r = f.reader();
  EXPECT_EQ(r.read_int("stamina", 3), 3);
  EXPECT_EQ(r.read_ints("forward", 2, std::nullopt), (std::vector<std::int32_t>{0, 0}));
  EXPECT_EQ(r.read_int("depth", std::nullopt), 30);
  EXPECT_EQ(r.read_int("big", 1), 1);
  EXPECT_EQ(r.read_int("empty", 2), 2);
  EXPECT_EQ(r.read_ints("pair", 2, std::nullopt), (std::vector<std::int32_t>{-5, 7}));
  EXPECT_EQ(r.read_int("missing", 9), 9);
  EXPECT_EQ(r.read_ints("absent", 3, std::nullopt), (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:2: 'stamina' must be 1 whole number",
                              "kinds.txt:3: 'forward' must be 2 whole numbers",
                              "kinds.txt:5: 'big' must be 1 whole number",
                              "kinds.txt:6: 'empty' must be 1 whole number",
                              "kinds.txt:1: [kind brute] needs 'absent'"}));
}

TEST(ReadFlag, OnlyExactYesOrNo) {
  Fixture f("air = Yes\nboss = yes\nundead = no\n");
  SectionReader r = f.reader();
  EXPECT_FALSE(r.read_flag("air"));
  EXPECT_TRUE(r.read_flag("boss"));
  EXPECT_FALSE(r.read_flag("undead"));
  EXPECT_FALSE(r.read_flag("absent"));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:2: 'air' must be yes or no"}));
}

TEST(ReadFields, WordCountAndLeadingNumbers) {
  Fixture f("ward = 3 60\nguard = 2 x\nbad = x 2\nshort = 1\n");
  SectionReader r = f.reader();
  auto ward = r.read_fields("ward", 2, 2, "DR TICKS");
  ASSERT_TRUE(ward);
  EXPECT_EQ(field_int(*ward, 1), 60);
  auto guard = r.read_fields("guard", 2, 1, "N WORD");
  ASSERT_TRUE(guard);
  EXPECT_EQ((*guard)[1], "x");
  EXPECT_EQ(field_int(*guard, 1), 0);
  EXPECT_FALSE(r.read_fields("bad", 2, 1, "N WORD"));
  EXPECT_FALSE(r.read_fields("short", 2, 2, "DR TICKS"));
  EXPECT_FALSE(r.read_fields("absent", 2, 2, "DR TICKS"));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:4: 'bad' must be N WORD", "kinds.txt:5: 'short' must be DR TICKS"}));
}

TEST(ReadBurst, FourWordsWithADamageType) {
  Fixture f("burst = 2 0 150 burning\nb2 = 2 0 150 fire\nb3 = 2 0 150\n");
  SectionReader r = f.reader();
  EXPECT_EQ(r.read_burst(), (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_FALSE(r.read_burst("b2"));
  EXPECT_FALSE(r.read_burst("b3"));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:3: 'b2' must be DICE ADD RADIUS crushing|cutting|impaling|burning",
                              "kinds.txt:4: 'b3' must be DICE ADD RADIUS crushing|cutting|impaling|burning"}));
}

TEST(References, MovesByWholeValueItemsByWord) {
  Fixture f("attack = heavy blow\nspecial = jab\ngear = dagger shield dagger\n");
  NameList moves({"jab", "heavy blow", "jab"});
  NameList items({"dagger", "sword"});
  SectionReader r = f.reader();
  EXPECT_EQ(r.read_move_ref("attack", moves), 1);
  EXPECT_EQ(r.read_move_ref("special", moves), 0);  // first match
  EXPECT_EQ(r.read_item_refs("gear", items), (std::vector<std::uint16_t>{0, 0}));
  EXPECT_TRUE(r.read_item_refs("absent", items).empty());
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:4: 'gear' must be items from items.txt ('shield' is not)"}));

  Fixture g("attack = Jab\n");
  SectionReader rg = g.reader();
  EXPECT_FALSE(rg.read_move_ref("attack", moves));
  EXPECT_EQ(g.faults, (Faults{"kinds.txt:2: 'attack' must be a move from moves.txt ('Jab' is not)"}));
}

TEST(PercentagesAndPoints, DefaultsAndFallbacks) {
  Fixture f("minions = 100 150 200 250\nelite_hp = 1 2\nexit = 10 x\nstart = -5 40\n");
  SectionReader r = f.reader();
  EXPECT_EQ(r.read_percentages("minions"), (std::vector<std::int32_t>{100, 150, 200, 250}));
  EXPECT_EQ(r.read_percentages("elite_hp"), (std::vector<std::int32_t>{100, 100, 100, 100}));
  EXPECT_EQ(r.read_percentages("boss_hp"), (std::vector<std::int32_t>{100, 100, 100, 100}));
  EXPECT_EQ(r.optional_point("exit"), (Point{0, 0}));
  EXPECT_EQ(r.optional_point("start"), (Point{-5, 40}));
  EXPECT_FALSE(r.optional_point("absent"));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:3: 'elite_hp' must be 4 whole numbers",
                              "kinds.txt:4: 'exit' must be 2 whole numbers"}));
}

TEST(Limits, TickCountsSaturate) {
  EXPECT_EQ(limit_ticks(-5), 0);
  EXPECT_EQ(limit_ticks(900000), 65535);
  EXPECT_EQ(frame_count(12), 12);
}

}  // namespace
}  // namespace velmora
