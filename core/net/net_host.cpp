#include "core/net/net_host.h"

#include <algorithm>

#include "core/world/state_hash.h"

namespace velmora {

namespace {

std::size_t ring_index(std::uint64_t tick) { return static_cast<std::size_t>(tick % 128); }

// last - T clamped to -127..127, computed without a signed overflow.
std::int32_t lead_of(std::uint64_t last, std::uint64_t t) {
  if (last >= t) return static_cast<std::int32_t>(std::min<std::uint64_t>(last - t, max_lead));
  return -static_cast<std::int32_t>(std::min<std::uint64_t>(t - last, max_lead));
}

bool slot_in_play(const NetHost& host, std::uint64_t slot) { return slot < host.players; }

// Stores the words for ticks T + 1 .. T + horizon; others are dropped.
void store_inputs(NetHost& host, std::uint64_t slot, const InputMessage& m) {
  for (std::size_t i = 0; i < m.count; ++i) {
    const std::uint64_t t = m.first + i;
    if (t > host.tick && t - host.tick <= input_horizon) host.inputs[slot].put(t, m.inputs[i]);
  }
}

void note_lead(NetHost& host, std::uint64_t slot, std::uint64_t last) {
  if (last > host.last_received[slot] && last - host.last_received[slot] > lead_restart_jump) {
    host.lead[slot].clear();
  }
  host.last_received[slot] = std::max(host.last_received[slot], last);
  host.lead[slot].push(lead_of(last, host.tick));
}

Buttons next_word(NetHost& host, std::size_t s) {
  if (const auto word = host.inputs[s].take(host.tick + 1)) {
    host.last[s] = *word;
    host.miss[s] = 0;
    return *word;
  }
  host.guessed[s] += host.active[s];
  host.miss[s] += 1;
  if (host.miss[s] > max_repeated_ticks) host.last[s] = 0;
  return host.last[s];
}

// Lets go of every active slot whose acknowledgement lies more than the
// history cap behind T; the bit mask of those slots.
std::uint8_t drop_lagging_slots(NetHost& host) {
  std::uint8_t dropped = 0;
  for (std::size_t s = 0; s < host.players; ++s) {
    if (host.active[s] != 0 && host.tick - host.acked[s] > max_history_ticks) {
      deactivate_slot(host, s);
      dropped = static_cast<std::uint8_t>(dropped | (1u << s));
    }
  }
  return dropped;
}

// Drops the history records every active slot has acknowledged.
void prune_history(NetHost& host) {
  std::uint64_t bound = host.tick + 1;
  for (std::size_t s = 0; s < host.players; ++s) {
    if (host.active[s] != 0) bound = std::min(bound, host.acked[s] + 1);
  }
  while (host.history_base < bound && !host.history.empty()) {
    host.history.pop_front();
    ++host.history_base;
  }
}

}  // namespace

void InputStore::put(std::uint64_t tick, Buttons word) { entries[ring_index(tick)] = Entry{tick, word}; }

std::optional<Buttons> InputStore::take(std::uint64_t tick) {
  Entry& e = entries[ring_index(tick)];
  if (tick == 0 || e.tick != tick) return std::nullopt;
  const Buttons word = e.word;
  e = Entry{};
  return word;
}

bool InputStore::holds(std::uint64_t tick) const {
  const Entry& e = entries[ring_index(tick)];
  return tick != 0 && e.tick == tick;
}

void LeadWindow::push(std::int32_t lead) {
  leads[next] = lead;
  next = (next + 1) % lead_window_size;
  if (size < lead_window_size) ++size;
}

std::int32_t LeadWindow::least() const {
  if (size == 0) return 0;
  std::int32_t least = max_lead;
  // The window holds its entries at the `size` places before `next`.
  for (std::size_t i = 0; i < size; ++i) {
    least = std::min(least, leads[(next + lead_window_size - 1 - i) % lead_window_size]);
  }
  return least;
}

NetHost new_net_host(std::uint64_t players, std::uint64_t start, std::uint16_t epoch) {
  NetHost host;
  host.players = std::clamp<std::uint64_t>(players, 1, net_slots);
  host.tick = start;
  host.history_base = start + 1;
  host.acked.fill(start);
  for (std::size_t s = 0; s < net_slots; ++s) host.active[s] = s < host.players ? 1 : 0;
  host.epoch = epoch;
  return host;
}

void activate_slot(NetHost& host, std::uint64_t slot) {
  if (!slot_in_play(host, slot)) return;
  host.active[slot] = 1;
  host.acked[slot] = host.tick;
  host.inputs[slot].clear();
  host.lead[slot].clear();
  host.last_received[slot] = 0;
}

void deactivate_slot(NetHost& host, std::uint64_t slot) {
  if (!slot_in_play(host, slot)) return;
  host.active[slot] = 0;
}

void add_inputs(NetHost& host, std::uint64_t slot, const InputMessage& message) {
  if (!slot_in_play(host, slot) || message.epoch != host.epoch) return;
  host.acked[slot] = std::max(host.acked[slot], std::min(message.acked, host.tick));
  if (message.count == 0) return;
  store_inputs(host, slot, message);
  note_lead(host, slot, message.first + message.count - 1);
}

std::array<Buttons, net_slots> next_inputs(NetHost& host) {
  std::array<Buttons, net_slots> words{};
  for (std::size_t s = 0; s < host.players; ++s) words[s] = next_word(host, s);
  return words;
}

std::uint8_t confirm_tick(NetHost& host, const std::array<Buttons, net_slots>& inputs, const World& world) {
  host.tick += 1;
  host.history.push_back(TickRecord{inputs, host.commands});
  host.commands = 0;
  if (host.tick % hash_interval == 0) {
    host.hash_tick = host.tick;
    host.hash = state_hash(world);
  }
  const std::uint8_t dropped = drop_lagging_slots(host);
  prune_history(host);
  return dropped;
}

bool command_room(const NetHost& host) { return host.commands < max_tick_commands; }

Status note_command(NetHost& host) {
  if (!command_room(host)) return error(too_many_commands_message);
  host.commands += 1;
  return done();
}

std::string cmd_line(std::uint16_t epoch, std::uint64_t tick, const Command& command) {
  return "cmd " + std::to_string(epoch) + " " + std::to_string(tick) + " " + format_command(command);
}

std::int8_t slot_slack(const NetHost& host, std::uint64_t slot) {
  if (slot >= net_slots) return 0;
  return static_cast<std::int8_t>(std::clamp(host.lead[slot].least(), -128, 127));
}

std::optional<std::size_t> handle_input_datagram(NetHost& host, std::span<const std::uint8_t> datagram,
                                                 const std::array<std::optional<std::uint64_t>, net_slots>& session_ids) {
  const auto decoded = decode_input_datagram(datagram, host.tick);
  if (!decoded) return std::nullopt;
  const auto sender = std::find(session_ids.begin(), session_ids.end(), decoded->session_id);
  if (sender == session_ids.end()) return std::nullopt;
  const auto slot = static_cast<std::size_t>(sender - session_ids.begin());
  add_inputs(host, slot, decoded->message);
  return slot;
}

TickMessage tick_message(const NetHost& host, std::uint64_t slot) {
  TickMessage m;
  const bool known = slot < net_slots;
  m.epoch = host.epoch;
  m.players = net_slots;
  m.first = std::max((known ? host.acked[slot] : host.tick) + 1, host.history_base);
  const std::uint64_t last = std::min(host.tick, m.first + (max_tick_records - 1));
  for (std::uint64_t t = m.first; t <= last && t - host.history_base < host.history.size(); ++t) {
    m.records[m.count++] = host.history[t - host.history_base];
  }
  m.slack = known ? slot_slack(host, slot) : 0;
  m.last_input = known ? host.last_received[slot] : 0;
  m.hash_tick = host.hash_tick;
  m.hash = host.hash;
  return m;
}

void build_tick_message(const NetHost& host, std::uint64_t slot, std::uint64_t session_id,
                        std::vector<std::uint8_t>& out) {
  encode_tick_datagram(session_id, tick_message(host, slot), out);
}

}  // namespace velmora
