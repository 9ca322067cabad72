// The two UDP payloads of online play and their byte layouts: the client's
// InputMessage (kind 1) and the server's TickMessage (kind 2). Every integer
// is little-endian; every datagram begins with the 64-bit session id of its
// slot. Ticks travel as their low 32 bits and are widened on arrival to the
// 64-bit tick nearest the receiver's own, so a game never stalls at 2^32.
//
// The decoders check every length before they read a field: any bytes are
// either decoded or refused, and the messages hold fixed arrays, so decoding
// allocates nothing whatever arrives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/base/buttons.h"

namespace velmora {

inline constexpr std::uint8_t input_message_kind = 1;
inline constexpr std::uint8_t tick_message_kind = 2;

// Input words a datagram's count byte can announce; the client sends at most
// `max_sent_inputs`.
inline constexpr std::size_t max_message_inputs = 255;
inline constexpr std::size_t max_sent_inputs = 32;

// Tick records in one TickMessage, and the input words per record.
inline constexpr std::size_t max_tick_records = 64;
inline constexpr std::size_t net_slots = 4;

// Byte sizes: the session id, the fixed parts of the two payloads.
inline constexpr std::size_t session_id_bytes = 8;
inline constexpr std::size_t input_payload_head = 12;  // kind, epoch, acked, first, count
inline constexpr std::size_t tick_payload_head = 9;    // kind, epoch, first, count, players
inline constexpr std::size_t tick_payload_tail = 17;   // slack, last input, hash tick, hash

// The receive buffer of both sides; every datagram either side sends fits.
inline constexpr std::size_t datagram_buffer_bytes = 2048;

// The client's latest unconfirmed inputs, for ticks first .. first + count - 1.
struct InputMessage {
  std::array<Buttons, max_message_inputs> inputs{};
  std::uint64_t acked = 0;  // the last tick the client holds confirmed
  std::uint64_t first = 0;  // the tick of inputs[0]
  std::uint16_t epoch = 0;
  std::uint8_t count = 0;

  std::span<const Buttons> words() const { return {inputs.data(), count}; }
  bool operator==(const InputMessage&) const = default;
};

// One confirmed tick: the word of each slot and the number of party commands
// that take effect at it.
struct TickRecord {
  std::array<Buttons, net_slots> inputs{};
  std::uint8_t commands = 0;
  bool operator==(const TickRecord&) const = default;
};

// The server's confirmed ticks for one slot, the slot's slack and the latest
// state hash.
struct TickMessage {
  std::array<TickRecord, max_tick_records> records{};
  std::uint64_t first = 0;       // the tick of records[0] (also when count is 0)
  std::uint64_t last_input = 0;  // the last input tick the server holds from the slot
  std::uint64_t hash_tick = 0;
  std::uint64_t hash = 0;
  std::uint16_t epoch = 0;
  std::uint8_t count = 0;
  std::uint8_t players = net_slots;  // input words per record on the wire
  std::int8_t slack = 0;

  std::span<const TickRecord> tick_records() const { return {records.data(), count}; }
  bool operator==(const TickMessage&) const = default;
};

// A decoded datagram: the session id in front and the message.
struct InputDatagram {
  std::uint64_t session_id = 0;
  InputMessage message;
};

struct TickDatagram {
  std::uint64_t session_id = 0;
  TickMessage message;
};

// The 64-bit tick whose low 32 bits are `low` and that lies nearest `near`
// (never below 0).
std::uint64_t widen_tick(std::uint32_t low, std::uint64_t near);

// The InputMessage payload without the session id: 12 + 2 × count bytes.
std::vector<std::uint8_t> encode_input_message(const InputMessage& message);

// A whole input datagram, written over `out` (its storage is reused).
void encode_input_datagram(std::uint64_t session_id, const InputMessage& message, std::vector<std::uint8_t>& out);

// A whole tick datagram: 34 + count × (1 + 2 × players) bytes, written over
// `out`. Slots at or beyond `players` are not written.
void encode_tick_datagram(std::uint64_t session_id, const TickMessage& message, std::vector<std::uint8_t>& out);

// Reads an input datagram as the server does: at least 8 bytes, kind 1, the
// count byte present (a datagram of exactly 19 bytes is refused) and every
// announced input present; bytes after the last input are ignored. The ticks
// are widened near `near` (the server's current tick). None when malformed.
std::optional<InputDatagram> decode_input_datagram(std::span<const std::uint8_t> bytes, std::uint64_t near);

// Reads a tick datagram as the client does: kind 2, at most 4 players, at most
// 64 records, and every byte its layout needs (extra bytes are ignored).
// Words of slots at or beyond the players byte are 0. The ticks are widened
// near `near` (the client's confirmed tick), except a hash tick of 0, which
// means no hash yet. None when malformed.
std::optional<TickDatagram> decode_tick_datagram(std::span<const std::uint8_t> bytes, std::uint64_t near);

}  // namespace velmora
