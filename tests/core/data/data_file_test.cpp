#include "core/data/data_file.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Strings = std::vector<std::string>;

struct Parsed {
  Faults faults;
  std::vector<Section> sections;
  // "{line}:[{kind} {name}]" per section, then "{line}:{key}={value}" per entry.
  Strings shape() const {
    Strings out;
    for (const Section& s : sections) {
      out.push_back(std::to_string(s.line) + ":[" + s.kind + " " + s.name + "]");
      for (const SectionEntry& e : s.entries) out.push_back(std::to_string(e.line) + ":" + e.key + "=" + e.value);
    }
    return out;
  }
};

Parsed parse(std::string_view text) {
  Parsed p;
  p.sections = parse_data_file("moves.txt", text, p.faults);
  return p;
}

TEST(LineParser, HeadersEntriesCommentsAndLineEnds) {
  const Parsed p = parse(
      "# moves\r\n"                   // 1
      "[move  jab]\r\n"               // 2
      "title = Fire # and ice\r\n"    // 3
      "\r\n"                          // 4
      "blurb = a=b\n"                 // 5
      "\t[ move\tcross ]  # second\n" // 6
      "= 5\n"                         // 7
      "empty = b\rc\r\n"              // 8: only the "\r" before the line end goes
      "[move\xE2\x80\x83hook]\n"      // 9: U+2003 between the words
      "t\xC2\xA0=\xC2\xA0" "Caf\xC3\xA9\xE3\x80\x80");  // 10: U+00A0, U+3000 trimmed; no line end
  ASSERT_EQ(p.faults, Faults{});
  EXPECT_EQ(p.shape(), (Strings{"2:[move jab]", "3:title=Fire", "5:blurb=a=b", "6:[move cross]", "7:=5",
                                "8:empty=b\rc", "9:[move hook]", "10:t=Caf\xC3\xA9"}));
  EXPECT_EQ(p.sections[0].file, "moves.txt");
}

TEST(LineParser, SyntaxFaultsKeepTheParseGoing) {
  const Parsed p = parse(
      "stray\n"             // 1: no "=": expected key = value
      "a = 1\n"             // 2: before any header
      "[move]\n"            // 3: one word
      "[move jab]\n"        // 4
      "[move jab extra]\n"  // 5: three words, jab stays current
      "b = 2\n"             // 6: goes to jab
      "[move jab]\n"        // 7: defined twice, added all the same
      "[]\n"                // 8
      "[move\n"             // 9: not a header, no "="
      "[move x]=y\n"        // 10: not a header (ends in y), an entry of the second jab
      "[item jab]\n"        // 11: the same name under another kind is no fault
      "[move a,b]\n"        // 12: names a replay cannot hold
      "[move -]\n"          // 13
      "[move a-b]\n");      // 14
  EXPECT_EQ(p.faults, (Faults{"moves.txt:1: expected key = value", "moves.txt:2: value outside any section",
                              "moves.txt:3: a section header is [kind name]",
                              "moves.txt:5: a section header is [kind name]",
                              "moves.txt:7: [move jab] is defined twice",
                              "moves.txt:8: a section header is [kind name]", "moves.txt:9: expected key = value",
                              "moves.txt:12: [move a,b] has a name that cannot be written in a replay",
                              "moves.txt:13: [move -] has a name that cannot be written in a replay"}));
  EXPECT_EQ(p.shape(), (Strings{"4:[move jab]", "6:b=2", "7:[move jab]", "10:[move x]=y", "11:[item jab]",
                                "12:[move a,b]", "13:[move -]", "14:[move a-b]"}));
}

TEST(DataHash, FeedsEachContentLineAndAnEndMarkPerFile) {
  EXPECT_EQ(fnv1a(fnv_offset_basis, "a"), 0xaf63dc4c8601ec8cULL);
  const std::string_view texts[6] = {"[move a]\n  x = 1  # c\n", "", "", "", "", ""};
  std::uint64_t expected = fnv1a(fnv_offset_basis, "[move a]\nx = 1\n");
  for (int i = 0; i < 6; ++i) expected = fnv1a_byte(expected, 0xFF);
  EXPECT_EQ(data_hash(texts), expected);

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
