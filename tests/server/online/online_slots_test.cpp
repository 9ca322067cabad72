// The slot choice in its order and when a slot's player counts as away.
#include "server/online/online_slots.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;

// A table from one letter per slot: '.' free, 'o' occupied, 'r' reserved
// (connection lost), 'b' free after "bye". Ids are 10 + slot.
SlotTable table_of(std::string_view s) {
  SlotTable t;
  for (std::size_t i = 0; i < slot_count; ++i) {
    SlotEntry& e = t.slots[i];
    if (s[i] == 'o') take_slot(t, i, 10 + i, 0s);
    if (s[i] == 'r') {
      take_slot(t, i, 10 + i, 0s);
      vacate_slot(t, i, 1s);
    }
    if (s[i] == 'b') {
      take_slot(t, i, 10 + i, 0s);
      say_bye(t, i);
      vacate_slot(t, i, 1s);
    }
    EXPECT_EQ(e.reserved, s[i] == 'o' || s[i] == 'r');
  }
  return t;
}

TEST(Slots, ChoiceInOrder) {
  struct Case {
    const char* slots;
    std::optional<std::size_t> wished;
    std::optional<std::uint64_t> offered;
    std::string expected;  // the slot and "+" for a reconnect, or the refusal
  };
  const Case cases[] = {
      {"....", {}, {}, "0"},
      {"o...", {}, {}, "1"},
      {"....", 2, {}, "2"},
      {"..o.", 2, {}, "0"},      // the wished slot is taken
      {"r...", 0, {}, "1"},      // reserved for someone else
      {"b...", {}, {}, "1"},     // a bye slot comes last
      {"bbor", {}, {}, "0"},     // ... but before a reserved one
      {"rrrr", {}, {}, "0"},     // a newcomer takes a reserved slot
      {"orrr", 3, {}, "1"},
      {"oooo", {}, {}, "the game is full"},
      {"r...", 0, 10, "0+"},     // its own player is back
      {"o...", 0, 10, "0+"},     // also while the old connection lingers
      {"o...", 0, 11, "your slot was given away"},  // a newcomer took it
      {"r...", 0, 11, "your slot was given away"},
      {"oooo", 2, 99, "your slot was given away"},
      // Without a reservation the offered id counts for nothing: the wished
      // slot by the first rule, with a new id (its player said "bye").
      {"....", 0, 10, "0"},
      {"b...", 0, 10, "0"},
      {"rbrr", 1, 11, "1"},
  };
  for (const Case& c : cases) {
    const auto choice = find_free_slot(table_of(c.slots), c.wished, c.offered);
    const std::string got =
        choice ? std::to_string(choice->slot) + (choice->reconnect ? "+" : "") : choice.message();
    EXPECT_EQ(got, c.expected) << c.slots << " wished " << c.wished.value_or(9) << " offered " << c.offered.value_or(0);
  }
}

TEST(Slots, Away) {
  SlotTable t = table_of("orb.");
  const auto away = 30s;
  // Joined at 0 s and never heard from; dropped at 1 s; said bye.
  EXPECT_FALSE(slot_is_away(t, 0, 29s, away));
  EXPECT_TRUE(slot_is_away(t, 0, 30s, away));
  heard_from(t, 0, loopback_address(1), 20s);
  EXPECT_FALSE(slot_is_away(t, 0, 49s, away));
  EXPECT_EQ(slot_of_session(t, 10), 0u);
  EXPECT_FALSE(slot_is_away(t, 1, 30s, away));
  EXPECT_TRUE(slot_is_away(t, 1, 31s, away));
  EXPECT_TRUE(slot_is_away(t, 2, 1s, away));
  EXPECT_FALSE(slot_is_away(t, 3, 1000s, away));
  // Taking a slot clears what was left of its last player.
  take_slot(t, 2, 99, 50s);
  EXPECT_FALSE(slot_is_away(t, 2, 51s, away));
  EXPECT_EQ(t.slots[2].bye, 0);
  EXPECT_FALSE(t.slots[2].source.has_value());
  EXPECT_EQ(slot_of_session(t, 11), std::nullopt);  // dropped, not occupied
}

}  // namespace
}  // namespace velmora
