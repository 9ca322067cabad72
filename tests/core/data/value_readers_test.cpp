#include "core/data/value_readers.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Ints = std::vector<std::int32_t>;

// One [kind brute] section (header on line 1) and a reader over it.
struct Fixture {
  Faults faults;
  std::vector<Section> sections;
  SectionReader r;
  explicit Fixture(std::string_view body)
      : sections(parse_data_file("kinds.txt",
      "[kind brute]\n" + std::string(body), faults)), r(sections.at(0), faults) {}
};

TEST(CheckKeys, UnknownAndDoubledKeysButRepeatablesPass) {
  Fixture f("st = 10\nwing = 2\nst = 11\nspawn = a\nspawn = b\nst = 12\n");
  f.r.check_keys({"st", "spawn"}, {"spawn"});
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:3: unknown key 'wing' in [kind brute]", "kinds.txt:4: 'st' is set twice",
                              "kinds.txt:7: 'st' is set twice"}));
  EXPECT_EQ(f.r.read_int("st", std::nullopt), 10);  // the first entry counts
}

TEST(ReadInts, GoodBadAndMissing) {
  Fixture f("stamina = 8 9\nforward = 10 x\ndepth = +30\nbig = 2147483648\nempty =\npair = -5 7\n");
  EXPECT_EQ(f.r.read_int("stamina", 3), 3);
  EXPECT_EQ(f.r.read_ints("forward", 2, std::nullopt), (Ints{0, 0}));
  EXPECT_EQ(f.r.read_int("depth", std::nullopt), 30);
  EXPECT_EQ(f.r.read_int("big", 1), 1);
  EXPECT_EQ(f.r.read_int("empty", 2), 2);
  EXPECT_EQ(f.r.read_ints("pair", 2, std::nullopt), (Ints{-5, 7}));
  EXPECT_EQ(f.r.read_int("missing", 9), 9);
  EXPECT_EQ(f.r.read_ints("absent", 3, std::nullopt), (Ints{0, 0, 0}));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:2: 'stamina' must be 1 whole number",
                              "kinds.txt:3: 'forward' must be 2 whole numbers",
                              "kinds.txt:5: 'big' must be 1 whole number",
                              "kinds.txt:6: 'empty' must be 1 whole number",
                              "kinds.txt:1: [kind brute] needs 'absent'"}));
}

TEST(OptionalForms, FlagsFieldsAndBursts) {
  Fixture f("air = Yes\nboss = yes\nundead = no\nward = 3 60\nbad = 2 x\nshort = 1\n"
            "burst = 2 0 150 burning\nb2 = 2 0 150 fire\nb3 = 2 0 150\n");
  EXPECT_FALSE(f.r.read_flag("air"));
  EXPECT_TRUE(f.r.read_flag("boss"));
  EXPECT_FALSE(f.r.read_flag("undead"));
  EXPECT_FALSE(f.r.read_flag("absent"));
  EXPECT_EQ(field_int(f.r.read_fields("ward", 2, 2, "DR TICKS").value(), 1), 60);
  EXPECT_FALSE(f.r.read_fields("bad", 2, 2, "DR TICKS"));
  EXPECT_FALSE(f.r.read_fields("short", 2, 2, "DR TICKS"));
  EXPECT_FALSE(f.r.read_fields("absent", 2, 2, "DR TICKS"));
  EXPECT_EQ(f.r.read_burst(), (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_FALSE(f.r.read_burst("b2"));
  EXPECT_FALSE(f.r.read_burst("b3"));
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:2: 'air' must be yes or no", "kinds.txt:6: 'bad' must be DR TICKS",
                              "kinds.txt:7: 'short' must be DR TICKS",
                              "kinds.txt:9: 'b2' must be DICE ADD RADIUS crushing|cutting|impaling|burning",
                              "kinds.txt:10: 'b3' must be DICE ADD RADIUS crushing|cutting|impaling|burning"}));
}

TEST(References, MovesByWholeValueItemsByWord) {
  Fixture f("attack = heavy blow\nspecial = jab\ngear = dagger shield dagger\nother = Jab\n");
  const NameList moves({"jab", "heavy blow", "jab"});
  const NameList items({"dagger", "sword"});
  EXPECT_EQ(f.r.read_move_ref("attack", moves), 1);
  EXPECT_EQ(f.r.read_move_ref("special", moves), 0);  // first match
  EXPECT_FALSE(f.r.read_move_ref("other", moves));
  EXPECT_EQ(f.r.read_item_refs("gear", items), (std::vector<std::uint16_t>{0, 0}));
  EXPECT_TRUE(f.r.read_item_refs("absent", items).empty());
  EXPECT_EQ(f.faults, (Faults{"kinds.txt:5: 'other' must be a move from moves.txt ('Jab' is not)",
                              "kinds.txt:4: 'gear' must be items from items.txt ('shield' is not)"}));
}

}  // namespace
}  // namespace velmora
