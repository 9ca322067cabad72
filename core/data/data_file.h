// The line syntax shared by the six data files: sections, "key = value"
// entries, comments, and the data hash over their canonical form.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Every fault of one load, in the order found.
using Faults = std::vector<std::string>;

inline constexpr std::size_t data_file_count = 6;

// The six files in load order.
inline constexpr std::array<std::string_view, data_file_count> data_file_names = {
    "moves.txt", "items.txt", "kinds.txt", "loot.txt", "stage.txt", "region.txt"};

struct SectionEntry {
  std::string key;
  std::string value;
  std::uint64_t line = 0;
};

struct Section {
  std::string kind;
  std::string name;
  std::vector<SectionEntry> entries;
  std::string_view file;  // one of data_file_names
  std::uint64_t line = 0;
};

// "{file}:{line}: {text}"
std::string fault_at(std::string_view file, std::uint64_t line, std::string_view text);

// Splits one file into its sections, recording the syntax faults.
std::vector<Section> parse_data_file(std::string_view file, std::string_view text, Faults& faults);

// FNV-1a 64 over the canonical form of the six texts (comments, blank lines,
// indentation and line ends left out).
std::uint64_t data_hash(std::span<const std::string_view> texts);

// The FNV-1a constants, shared with the state hash.
inline constexpr std::uint64_t fnv_offset_basis = 0xcbf29ce484222325ULL;
inline constexpr std::uint64_t fnv_prime = 0x100000001b3ULL;

inline std::uint64_t fnv1a_byte(std::uint64_t hash, std::uint8_t byte) {
  return (hash ^ byte) * fnv_prime;
}

inline std::uint64_t fnv1a(std::uint64_t hash, std::string_view bytes) {
  for (char c : bytes) hash = fnv1a_byte(hash, static_cast<std::uint8_t>(c));
  return hash;
}

}  // namespace velmora
