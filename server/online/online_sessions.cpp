#include "server/online/online_sessions.h"

#include <map>
#include <optional>
#include <utility>

namespace velmora {

namespace {

enum class Flush { ok, failed };

// Offers the waiting bytes to the stream once, without waiting.
Flush flush_once(OnlineSession& session, Instant now) {
  if (session.sent == session.outbound.size()) return Flush::ok;
  const std::string_view rest = std::string_view(session.outbound).substr(session.sent);
  auto taken = session.stream->write_some(rest);
  if (!taken) return Flush::failed;
  if (*taken > 0) {
    session.sent += *taken;
    session.progress = now;
  }
  if (session.sent == session.outbound.size()) {
    session.outbound.clear();
    session.sent = 0;
  } else if (session.sent > session.outbound.size() / 2) {
    session.outbound.erase(0, session.sent);
    session.sent = 0;
  }
  return Flush::ok;
}

bool overdue(const OnlineSession& session, Instant now) {
  if (session.sent < session.outbound.size() && now - session.progress >= stalled_time) return true;
  return session.state == OnlineSession::State::connected && now - session.opened >= join_time;
}

// The unjoined connections of one origin: how many, and the oldest.
struct OriginShare {
  std::size_t count = 0;
  std::uint64_t oldest = 0;
};

// The unjoined connection a new one from `origin` pushes out, if any: its
// origin's oldest at the origin's share; else, with every unjoined place
// taken, the oldest of the origin holding the most (ties: the oldest among
// those). Keys grow with every accept, so the first in key order is the oldest.
std::optional<std::uint64_t> unjoined_to_close(const OnlineServer& server, const PeerOrigin& origin) {
  std::map<PeerOrigin, OriginShare> shares;
  std::size_t unjoined = 0;
  for (const auto& [key, session] : server.sessions) {
    if (session.state != OnlineSession::State::connected) continue;
    OriginShare& share = shares[session.origin];
    if (share.count++ == 0) share.oldest = key;
    ++unjoined;
  }
  const auto own = shares.find(origin);
  if (own != shares.end() && own->second.count >= max_unjoined_per_address) return own->second.oldest;
  if (unjoined < max_unjoined_sessions) return std::nullopt;
  const OriginShare* most = nullptr;
  for (const auto& [o, share] : shares) {
    if (!most || share.count > most->count || (share.count == most->count && share.oldest < most->oldest)) most = &share;
  }
  return most->oldest;
}

}  // namespace

void add_session(OnlineServer& server, std::uint64_t key, std::unique_ptr<Stream> stream) {
  close_session(server, key);
  const PeerOrigin origin = peer_origin(stream->peer_address());
  if (const auto pushed_out = unjoined_to_close(server, origin)) close_session(server, *pushed_out);
  const Instant now = server.env.clock.monotonic();
  OnlineSession session;
  session.stream = std::move(stream);
  session.origin = origin;
  session.opened = now;
  session.progress = now;
  server.sessions.emplace(key, std::move(session));
}

void send_to_session(OnlineServer& server, std::uint64_t key, std::string_view text) {
  auto it = server.sessions.find(key);
  if (it == server.sessions.end()) return;
  OnlineSession& session = it->second;
  if (session.sent == session.outbound.size()) session.progress = server.env.clock.monotonic();
  session.outbound += text;
  session.outbound += '\n';
  if (session.outbound.size() - session.sent > max_session_backlog) close_session(server, key);
}

void broadcast_line(OnlineServer& server, std::string_view text) {
  // A snapshot of the keys: a send may close a session.
  std::vector<std::uint64_t> joined;
  for (const auto& [key, session] : server.sessions) {
    if (session.state == OnlineSession::State::joined) joined.push_back(key);
  }
  for (std::uint64_t key : joined) send_to_session(server, key, text);
}

void flush_sessions(OnlineServer& server) {
  const Instant now = server.env.clock.monotonic();
  std::vector<std::uint64_t> closing;
  for (auto& [key, session] : server.sessions) {
    if (flush_once(session, now) == Flush::failed || overdue(session, now)) closing.push_back(key);
  }
  for (std::uint64_t key : closing) close_session(server, key);
}

void close_session(OnlineServer& server, std::uint64_t key) {
  auto it = server.sessions.find(key);
  if (it == server.sessions.end()) return;
  OnlineSession session = std::move(it->second);
  server.sessions.erase(it);
  const Instant now = server.env.clock.monotonic();
  (void)flush_once(session, now);  // a refusal or a farewell goes out when it can
  session.stream->close();
  if (session.state != OnlineSession::State::joined) return;
  const SlotEntry& entry = server.slots.slots[session.slot];
  if (entry.occupied && entry.occupant == session.session_id) {
    vacate_slot(server.slots, session.slot, now);
    deactivate_slot(server.host, session.slot);
  }
  server.env.hooks.log_info("slot " + std::to_string(session.slot) + " left");
}

std::vector<std::uint64_t> filter_sessions(const OnlineServer& server, std::size_t slot) {
  std::vector<std::uint64_t> keys;
  for (const auto& [key, session] : server.sessions) {
    if (session.state == OnlineSession::State::joined && session.slot == slot) keys.push_back(key);
  }
  return keys;
}

}  // namespace velmora
