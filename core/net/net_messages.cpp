#include "core/net/net_messages.h"

namespace velmora {

namespace {

constexpr std::uint64_t wire_tick_span = std::uint64_t{1} << 32;

// Little-endian writing into storage sized beforehand, and reading; reads
// only ever follow a length check.
class Writer {
 public:
  explicit Writer(std::uint8_t* at) : at_(at) {}
  void put(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) *at_++ = static_cast<std::uint8_t>(v >> (8 * i));
  }

 private:
  std::uint8_t* at_;
};

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

std::size_t input_payload_bytes(const InputMessage& m) { return input_payload_head + 2 * std::size_t{m.count}; }

void put_input_payload(const InputMessage& m, Writer& w) {
  w.put(input_message_kind, 1);
  w.put(m.epoch, 2);
  w.put(low32(m.acked), 4);
  w.put(low32(m.first), 4);
  w.put(m.count, 1);
  for (Buttons word : m.words()) w.put(word, 2);
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
  std::vector<std::uint8_t> out(input_payload_bytes(message));
  Writer w(out.data());
  put_input_payload(message, w);
  return out;
}

void encode_input_datagram(std::uint64_t session_id, const InputMessage& message, std::vector<std::uint8_t>& out) {
  out.resize(session_id_bytes + input_payload_bytes(message));
  Writer w(out.data());
  w.put(session_id, 8);
  put_input_payload(message, w);
}

void encode_tick_datagram(std::uint64_t session_id, const TickMessage& message, std::vector<std::uint8_t>& out) {
  const std::size_t players = message.players < net_slots ? message.players : net_slots;
  out.resize(session_id_bytes + tick_payload_head + message.count * tick_record_bytes(players) + tick_payload_tail);
  Writer w(out.data());
  w.put(session_id, 8);
  w.put(tick_message_kind, 1);
  w.put(message.epoch, 2);
  w.put(low32(message.first), 4);
  w.put(message.count, 1);
  w.put(players, 1);
  for (const TickRecord& record : message.tick_records()) {
    w.put(record.commands, 1);
    for (std::size_t s = 0; s < players; ++s) w.put(record.inputs[s], 2);
  }
  w.put(static_cast<std::uint8_t>(message.slack), 1);
  w.put(low32(message.last_input), 4);
  w.put(low32(message.hash_tick), 4);
  w.put(message.hash, 8);
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
  // A hash tick of 0 is a server that has no hash yet (a fresh stage); it
  // stays 0 rather than becoming the multiple of 2^32 nearest the client. (A
  // real hash at a multiple of 2^32 is then skipped: one in 2^32 ticks.)
  const std::uint32_t hash_tick = get32(bytes, tail + 5);
  m.hash_tick = hash_tick == 0 ? 0 : widen_tick(hash_tick, near);
  m.hash = get(bytes, tail + 9, 8);
  return d;
}

}  // namespace velmora
