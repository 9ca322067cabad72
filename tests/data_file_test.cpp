#include "core/data_file.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace velmora {
namespace {

struct Parsed {
  std::vector<Section> sections;
  Faults faults;
};

Parsed parse(std::string_view text, std::string_view file = "moves.txt") {
  Parsed p;
  p.sections = parse_data_file(file, text, p.faults);
  return p;
}

TEST(LineSplitting, CountsEveryLineAndDropsOnlyTheFinalCarriageReturn) {
  std::vector<std::pair<std::uint64_t, std::string>> lines;
  for_each_line("a\r\n\nb\rc\r\nlast", [&](std::uint64_t n, std::string_view l) {
    lines.emplace_back(n, std::string(l));
  });
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], (std::pair<std::uint64_t, std::string>{1, "a"}));
  EXPECT_EQ(lines[1], (std::pair<std::uint64_t, std::string>{2, ""}));
  EXPECT_EQ(lines[2], (std::pair<std::uint64_t, std::string>{3, "b\rc"}));
  EXPECT_EQ(lines[3], (std::pair<std::uint64_t, std::string>{4, "last"}));

  int count = 0;
  for_each_line("one\n", [&](std::uint64_t, std::string_view) { ++count; });
  for_each_line("", [&](std::uint64_t, std::string_view) { ++count; });
  EXPECT_EQ(count, 1);
}

TEST(LineParser, HeadersOpenSectionsWhateverTheirSpacing) {
  auto p = parse("# moves\n[move  jab]\nstartup = 4\n\t[ move\tcross ]  # second\n  active=2  \n");
  ASSERT_TRUE(p.faults.empty());
  ASSERT_EQ(p.sections.size(), 2u);
  EXPECT_EQ(p.sections[0].kind, "move");
  EXPECT_EQ(p.sections[0].name, "jab");
  EXPECT_EQ(p.sections[0].line, 2u);
  EXPECT_EQ(p.sections[0].file, "moves.txt");
  ASSERT_EQ(p.sections[0].entries.size(), 1u);
  EXPECT_EQ(p.sections[0].entries[0].key, "startup");
  EXPECT_EQ(p.sections[0].entries[0].value, "4");
  EXPECT_EQ(p.sections[0].entries[0].line, 3u);
  EXPECT_EQ(p.sections[1].name, "cross");
  EXPECT_EQ(p.sections[1].entries[0].key, "active");
  EXPECT_EQ(p.sections[1].entries[0].value, "2");
}

TEST(LineParser, ValuesAreCutAtCommentsAndSplitAtTheFirstEquals) {
  auto p = parse("[move jab]\ntitle = Fire # and ice\nblurb = a=b\n= 5\nempty =\n");
  ASSERT_TRUE(p.faults.empty());
  const auto& e = p.sections[0].entries;
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].value, "Fire");
  EXPECT_EQ(e[1].key, "blurb");
  EXPECT_EQ(e[1].value, "a=b");
  EXPECT_EQ(e[2].key, "");
  EXPECT_EQ(e[2].value, "5");
  EXPECT_EQ(e[3].value, "");
}

TEST(LineParser, TrimsUnicodeWhiteSpaceButNotOtherBytes) {
  // U+00A0 and U+3000 around the value, U+2003 inside the header.
  auto p = parse("[move\xE2\x80\x83jab]\ntitle = \xC2\xA0" "Caf\xC3\xA9" "\xE3\x80\x80\n");
  ASSERT_TRUE(p.faults.empty());
  EXPECT_EQ(p.sections[0].name, "jab");
  EXPECT_EQ(p.sections[0].entries[0].value, "Caf\xC3\xA9");
}

TEST(LineParser, SyntaxFaultsKeepTheParseGoing) {
  auto p = parse(
      "stray\n"                // 1: no "=": expected key = value
      "a = 1\n"                // 2: before any header
      "[move]\n"               // 3: one word
      "[move jab]\n"           // 4
      "[move jab extra]\n"     // 5: three words, jab stays current
      "b = 2\n"                // 6: goes to jab
      "[move jab]\n"           // 7: defined twice, added all the same
      "[]\n"                   // 8
      "[move\n"                // 9: not a header, no "="
      "[move x]=y\n");         // 10: not a header (ends in y), an entry of jab
  EXPECT_EQ(p.faults, (Faults{
                          "moves.txt:1: expected key = value",
                          "moves.txt:2: value outside any section",
                          "moves.txt:3: a section header is [kind name]",
                          "moves.txt:5: a section header is [kind name]",
                          "moves.txt:7: [move jab] is defined twice",
                          "moves.txt:8: a section header is [kind name]",
                          "moves.txt:9: expected key = value",
                      }));
  ASSERT_EQ(p.sections.size(), 2u);
  ASSERT_EQ(p.sections[0].entries.size(), 1u);
  EXPECT_EQ(p.sections[0].entries[0].key, "b");
  ASSERT_EQ(p.sections[1].entries.size(), 1u);
  EXPECT_EQ(p.sections[1].entries[0].key, "[move x]");
}

TEST(LineParser, SameNameInAnotherKindIsNoFault) {
  auto p = parse("[stage a]\n[scaling a]\n", "stage.txt");
  EXPECT_TRUE(p.faults.empty());
  EXPECT_EQ(p.sections.size(), 2u);
}

TEST(LineParser, NamesThatAReplayCannotHoldAreFaults) {
  auto p = parse("[move a,b]\n[move -]\n[move a-b]\n");
  EXPECT_EQ(p.faults, (Faults{
                          "moves.txt:1: [move a,b] has a name that cannot be written in a replay",
                          "moves.txt:2: [move -] has a name that cannot be written in a replay",
                      }));
}

TEST(DataHash, KnownAnswersOfFnv1a) {
  EXPECT_EQ(fnv1a(fnv_offset_basis, ""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv1a(fnv_offset_basis, "a"), 0xaf63dc4c8601ec8cULL);
}

TEST(DataHash, FeedsEachContentLineAndAnEndMarkPerFile) {
  const std::string_view texts[6] = {"[move a]\n  x = 1  # c\n", "", "", "", "", ""};
  std::uint64_t expected = fnv1a(fnv_offset_basis, "[move a]\nx = 1\n");
  for (int i = 0; i < 6; ++i) expected = fnv1a_byte(expected, 0xFF);
  EXPECT_EQ(data_hash(texts), expected);
}

TEST(DataHash, StableUnderReformattingAndChangedByValues) {
  const std::string_view plain[6] = {"[move a]\nx = 1\n", "b", "", "", "", ""};
  const std::string_view styled[6] = {"# head\r\n\r\n\t[move a]   \r\n   x = 1 # note\r\n", "b\n", "\n", "#", "", ""};
  const std::string_view changed[6] = {"[move a]\nx = 2\n", "b", "", "", "", ""};
  const std::string_view spaced[6] = {"[move a]\nx=1\n", "b", "", "", "", ""};
  const std::string_view moved[6] = {"[move a]\nx = 1\n", "", "b", "", "", ""};
  EXPECT_EQ(data_hash(plain), data_hash(styled));
  EXPECT_NE(data_hash(plain), data_hash(changed));
  EXPECT_NE(data_hash(plain), data_hash(spaced));
  EXPECT_NE(data_hash(plain), data_hash(moved));
}

}  // namespace
}  // namespace velmora
