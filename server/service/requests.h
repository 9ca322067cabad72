// The game requests of the line protocol and the readers of request words.
// Each request takes the state and all words of its line (the request word
// first) and gives its one-line JSON reply.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/buttons.h"
#include "server/service/protocol.h"

namespace velmora {

using Words = std::span<const std::string_view>;

// Word i as an unsigned decimal (optional "+") no larger than max; none when
// it is missing or does not read.
std::optional<std::uint64_t> unsigned_word(Words words, std::size_t i, std::uint64_t max = UINT64_MAX);

// Word i as a slot: an unsigned 8-bit number. A larger number never wraps.
std::optional<std::uint8_t> slot_word(Words words, std::size_t i);

// Word i as a signed 32-bit number with an optional sign.
std::optional<std::int32_t> signed_word(Words words, std::size_t i);

// A button word: an unsigned 16-bit number, or "bot".
struct ButtonWord {
  Buttons value = 0;
  bool bot = false;
};
std::optional<ButtonWord> button_word(std::string_view word);

std::string request_new(ServerState& state, Words words);
std::string request_tick(ServerState& state, Words words);
std::string request_run(ServerState& state, Words words);
std::string request_watch(ServerState& state, Words words);

}  // namespace velmora
