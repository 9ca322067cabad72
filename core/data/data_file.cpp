#include "core/data/data_file.h"

#include <set>
#include <utility>

#include "core/base/text.h"

namespace velmora {

namespace {

// The meaningful part of a line: cut at the first "#", then trimmed.
std::string_view content_of(std::string_view line) {
  const std::size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  return trim_white(line);
}

bool is_header(std::string_view content) {
  return content.size() > 1 && content.front() == '[' && content.back() == ']';
}

// The kinds and names of the headers seen so far in one file.
using HeaderSet = std::set<std::pair<std::string, std::string>>;

void read_header(std::string_view file, std::uint64_t line, std::string_view content,
                 std::vector<Section>& sections, HeaderSet& seen, Faults& faults) {
  const auto words = split_words(content.substr(1, content.size() - 2));
  if (words.size() != 2) {
    faults.push_back(fault_at(file, line, "a section header is [kind name]"));
    return;
  }
  const std::string label = "[" + std::string(words[0]) + " " + std::string(words[1]) + "]";
  if (!seen.emplace(std::string(words[0]), std::string(words[1])).second) {
    faults.push_back(fault_at(file, line, label + " is defined twice"));
  }
  // Replay files list names separated by "," and write "-" for no name.
  if (words[1] == "-" || words[1].find(',') != std::string_view::npos) {
    faults.push_back(fault_at(file, line, label + " has a name that cannot be written in a replay"));
  }
  Section section;
  section.kind = std::string(words[0]);
  section.name = std::string(words[1]);
  section.file = file;
  section.line = line;
  sections.push_back(std::move(section));
}

void read_entry(std::string_view file, std::uint64_t line, std::string_view content,
                std::vector<Section>& sections, Faults& faults) {
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    faults.push_back(fault_at(file, line, "expected key = value"));
    return;
  }
  if (sections.empty()) {
    faults.push_back(fault_at(file, line, "value outside any section"));
    return;
  }
  sections.back().entries.push_back(SectionEntry{std::string(trim_white(content.substr(0, equals))),
                                                 std::string(trim_white(content.substr(equals + 1))),
                                                 line});
}

}  // namespace

std::string fault_at(std::string_view file, std::uint64_t line, std::string_view text) {
  std::string out;
  out.reserve(file.size() + text.size() + 24);
  out += file;
  out += ':';
  out += std::to_string(line);
  out += ": ";
  out += text;
  return out;
}

std::vector<Section> parse_data_file(std::string_view file, std::string_view text, Faults& faults) {
  std::vector<Section> sections;
  HeaderSet seen;
  for_each_line(text, [&](std::uint64_t line, std::string_view raw) {
    const std::string_view content = content_of(raw);
    if (content.empty()) return;
    if (is_header(content)) {
      read_header(file, line, content, sections, seen, faults);
    } else {
      read_entry(file, line, content, sections, faults);
    }
  });
  return sections;
}

std::uint64_t data_hash(std::span<const std::string_view> texts) {
  std::uint64_t hash = fnv_offset_basis;
  for (std::string_view text : texts) {
    for_each_line(text, [&](std::uint64_t, std::string_view raw) {
      const std::string_view content = content_of(raw);
      if (content.empty()) return;
      hash = fnv1a(hash, content);
      hash = fnv1a_byte(hash, 0x0A);
    });
    hash = fnv1a_byte(hash, 0xFF);
  }
  return hash;
}

}  // namespace velmora
