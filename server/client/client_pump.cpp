#include "server/client/client_pump.h"

#include <ostream>
#include <span>
#include <string_view>
#include <utility>

#include "core/base/text.h"
#include "core/net/net_messages.h"

namespace velmora {

namespace {

// A signed 64-bit decimal ("+" or "-" allowed); 0 when the word is no number.
std::int64_t look_number(std::string_view word) {
  const bool negative = word.starts_with('-');
  if (negative || word.starts_with('+')) word.remove_prefix(1);
  if (word.starts_with('+') || word.starts_with('-')) return 0;
  const auto magnitude = parse_unsigned(word, negative ? std::uint64_t{1} << 63 : INT64_MAX);
  if (!magnitude) return 0;
  if (!negative) return static_cast<std::int64_t>(*magnitude);
  return *magnitude == std::uint64_t{1} << 63 ? INT64_MIN : -static_cast<std::int64_t>(*magnitude);
}

void take_reply(ClientSession& session, std::string line) {
  if (session.abandoned > 0) {
    // The reply of a request whose wait has ended.
    session.abandoned -= 1;
    return;
  }
  if (session.replies.size() < max_waiting_replies) session.replies.push_back(std::move(line));
}

void take_looks(ClientSession& session, std::string_view line) {
  const std::vector<std::string_view> words = split_words(line);
  for (std::size_t i = 1; i < words.size() && i <= net_slots; ++i) session.looks[i - 1] = look_number(words[i]);
}

void take_stage(ClientSession& session, std::string_view line) {
  auto stage = receive_stage(session.env, line, session.connection.lines());
  if (!stage) {
    session.env.log << "cannot take the new stage: " << stage.message() << "\n";
    return start_reconnect(session);
  }
  install_stage(session, std::move(*stage));
}

void take_command(ClientSession& session, std::string_view line) {
  if (Status taken = receive_cmd_line(session.rollback, line); !taken) {
    // The stage is followed no more: a reconnection brings it whole again.
    session.env.log << taken.message() << "\n";
    start_reconnect(session);
  }
}

void take_lines(ClientSession& session) {
  if (!session.connection.open()) return;
  LineChannel& lines = session.connection.lines();
  for (std::size_t i = 0; i < max_lines_per_pump; ++i) {
    auto line = lines.try_recv();
    if (!line) break;
    handle_server_line(session, std::move(*line));
    if (!session.connection.open()) return;
  }
  if (session.connection.lines().drained()) start_reconnect(session);
}

void take_datagrams(ClientSession& session) {
  if (!session.udp) return;
  std::array<char, datagram_buffer_bytes> buffer;
  for (std::size_t i = 0; i < max_datagrams_per_pump; ++i) {
    SocketAddress from;
    auto n = session.udp->receive(buffer, from, std::chrono::nanoseconds(0));
    if (!n) break;
    handle_tick_datagram(session, std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), *n));
  }
}

void send_input_datagram(ClientSession& session) {
  if (!session.udp) return;
  encode_input_datagram(session.session_id, input_message(session.rollback), session.datagram);
  const std::string_view bytes(reinterpret_cast<const char*>(session.datagram.data()), session.datagram.size());
  (void)session.udp->send_to(bytes, session.server_udp);
}

// Keep-alive: false when the "ping" could not be written.
bool keep_alive(ClientSession& session) {
  if (session.env.clock.monotonic() - session.last_sent < session.env.timings.keep_alive) return true;
  return send_session_line(session, "ping");
}

template <class List>
void move_events(List& from, std::vector<Event>& to) {
  to.insert(to.end(), from.begin(), from.end());
  from.clear();
}

void gather_events(ClientSession& session) {
  move_events(session.rollback.confirmed_events, session.events);
  move_events(session.rollback.own_events, session.events);
  if (session.events.size() > max_client_events) {
    const auto excess = static_cast<std::ptrdiff_t>(session.events.size() - max_client_events);
    session.events.erase(session.events.begin(), session.events.begin() + excess);
  }
}

}  // namespace

void client_pump(ClientSession& session) {
  take_lines(session);
  take_datagrams(session);
}

void handle_server_line(ClientSession& session, std::string line) {
  if (line.starts_with('{')) return take_reply(session, std::move(line));
  if (line.starts_with("cmd ")) return take_command(session, line);
  if (line.starts_with("looks ")) return take_looks(session, line);
  if (line.starts_with("sync ")) return take_stage(session, line);
}

void handle_tick_datagram(ClientSession& session, std::span<const std::uint8_t> bytes) {
  RollbackSession& rollback = session.rollback;
  const auto datagram = decode_tick_datagram(bytes, rollback.confirmed.tick);
  if (!datagram || datagram->session_id != session.session_id) return;
  const std::uint64_t before = rollback.confirmed.tick;
  receive_tick_message(rollback, datagram->message);
  if (rollback.confirmed.tick != before) {
    session.last_confirmed = session.env.clock.monotonic();
    session.confirmed_any = true;
  }
  if (rollback.newest_own_hash) session.newest_hash = *rollback.newest_own_hash;
}

std::uint64_t client_tick_loop(ClientSession& session, const InputSource& input) {
  if (!keep_alive(session)) return 0;
  Clock& clock = session.env.clock;
  std::uint64_t advanced = 0;
  for (std::uint64_t i = 0; i < max_ticks_per_pass && session.deadline <= clock.monotonic(); ++i) {
    advanced += client_tick(session.rollback, input);
    send_input_datagram(session);
    session.deadline += std::chrono::microseconds(client_tick_period_us(session.rollback.slack, session.speed));
  }
  if (clock.monotonic() - session.deadline > catch_up_limit) session.deadline = clock.monotonic();
  session.ticks_played += advanced;
  gather_events(session);
  return advanced;
}

}  // namespace velmora
