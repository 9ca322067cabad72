#include "core/net_messages.h"

namespace velmora {

namespace {

constexpr std::uint64_t wire_tick_span = std::uint64_t{1} << 32;

// Little-endian writing and reading; reads only ever follow a length check.
void put8(std::vector<std::uint8_t>& out, std::uint8_t v) { out.push_back(v); }

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t low32(std::uint64_t tick) { return static_cast<std::uint32_t>(tick); }

std::uint64_t get(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<std::size_t>(i)];
  return v;
}

std::uint16_t get16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(get(bytes, at, 2));
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(get(bytes, at, 4));
}

void put_input_payload(const InputMessage& m, std::vector<std::uint8_t>& out) {
  put8(out, input_message_kind);
  put16(out, m.epoch);
  put32(out, low32(m.acked));
  put32(out, low32(m.first));
  put8(out, m.count);
  for (Buttons word : m.words()) put16(out, word);
}

std::size_t tick_record_bytes(std::size_t players) { return 1 + 2 * players; }

}  // namespace

std::uint64_t widen_tick(std::uint32_t low, std::uint64_t near) {
  // The candidate in near's 2^32 block, then the neighbour block on the side
  // that is closer; the block below is not taken below tick 0, the block above
  // not past the top of the 64-bit range.
  const std::uint64_t candidate = (near & ~(wire_tick_span - 1)) | low;
  if (candidate > near) {
    const std::uint64_t above = candidate - near;
    if (above > wire_tick_span / 2 && candidate >= wire_tick_span) return candidate - wire_tick_span;
    return candidate;
  }
  const std::uint64_t below = near - candidate;
  if (below > wire_tick_span / 2 && candidate <= UINT64_MAX - wire_tick_span) return candidate + wire_tick_span;
  return candidate;
}

std::vector<std::uint8_t> encode_input_message(const InputMessage& message) {
  std::vector<std::uint8_t> out;
  out.reserve(input_payload_head + 2 * message.count);
  put_input_payload(message, out);
  return out;
}

void encode_input_datagram(std::uint64_t session_id, const InputMessage& message, std::vector<std::uint8_t>& out) {
  out.clear();
  put64(out, session_id);
  put_input_payload(message, out);
}

void encode_tick_datagram(std::uint64_t session_id, const TickMessage& message, std::vector<std::uint8_t>& out) {
  const std::size_t players = message.players < net_slots ? message.players : net_slots;
  out.clear();
  put64(out, session_id);
  put8(out, tick_message_kind);
  put16(out, message.epoch);
  put32(out, low32(message.first));
  put8(out, message.count);
  put8(out, static_cast<std::uint8_t>(players));
  for (const TickRecord& record : message.tick_records()) {
    put8(out, record.commands);
    for (std::size_t s = 0; s < players; ++s) put16(out, record.inputs[s]);
  }
  put8(out, static_cast<std::uint8_t>(message.slack));
  put32(out, low32(message.last_input));
  put32(out, low32(message.hash_tick));
  put64(out, message.hash);
}

std::optional<InputDatagram> decode_input_datagram(std::span<const std::uint8_t> bytes, std::uint64_t near) {
  constexpr std::size_t head = session_id_bytes + input_payload_head;
  if (bytes.size() < head) return std::nullopt;
  if (bytes[8] != input_message_kind) return std::nullopt;
  const std::uint8_t count = bytes[19];
  if (bytes.size() < head + 2 * std::size_t{count}) return std::nullopt;
  InputDatagram d;
  d.session_id = get(bytes, 0, 8);
  InputMessage& m = d.message;
  m.epoch = get16(bytes, 9);
  m.acked = widen_tick(get32(bytes, 11), near);
  m.first = widen_tick(get32(bytes, 15), near);
  m.count = count;
  for (std::size_t i = 0; i < count; ++i) m.inputs[i] = get16(bytes, head + 2 * i);
  return d;
}

std::optional<TickDatagram> decode_tick_datagram(std::span<const std::uint8_t> bytes, std::uint64_t near) {
  constexpr std::size_t head = session_id_bytes + tick_payload_head;
  if (bytes.size() < head) return std::nullopt;
  if (bytes[8] != tick_message_kind) return std::nullopt;
  const std::size_t count = bytes[15];
  const std::size_t players = bytes[16];
  if (count > max_tick_records || players > net_slots) return std::nullopt;
  const std::size_t tail = head + count * tick_record_bytes(players);
  if (bytes.size() < tail + tick_payload_tail) return std::nullopt;
  TickDatagram d;
  d.session_id = get(bytes, 0, 8);
  TickMessage& m = d.message;
  m.epoch = get16(bytes, 9);
  m.first = widen_tick(get32(bytes, 11), near + 1);
  m.count = static_cast<std::uint8_t>(count);
  m.players = static_cast<std::uint8_t>(players);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = head + i * tick_record_bytes(players);
    TickRecord& record = m.records[i];
    record.commands = bytes[at];
    for (std::size_t s = 0; s < players; ++s) record.inputs[s] = get16(bytes, at + 1 + 2 * s);
  }
  m.slack = static_cast<std::int8_t>(bytes[tail]);
  m.last_input = widen_tick(get32(bytes, tail + 1), near);
  m.hash_tick = widen_tick(get32(bytes, tail + 5), near);
  m.hash = get(bytes, tail + 9, 8);
  return d;
}

}  // namespace velmora
