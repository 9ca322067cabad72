#include "server/client/client_session.h"

#include <ostream>
#include <utility>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/replay/replay.h"
#include "server/client/client_pump.h"
#include "server/service/protocol.h"
#include "server/service/protocol_numbers.h"
#include "server/service/recording.h"

namespace velmora {

namespace {

using std::chrono::milliseconds;

std::uint64_t millis(Instant span) {
  const auto ms = std::chrono::duration_cast<milliseconds>(span).count();
  return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

// "connect 2 {hash}", then the wished slot and, with it, the session id.
std::string connect_line(const ClientJoin& join) {
  std::string line = "connect " + std::to_string(online_protocol) + " " + hex16(game_data().data_hash);
  if (join.slot) {
    line += " " + std::to_string(*join.slot);
    if (join.session) line += " " + std::to_string(*join.session);
  }
  return line;
}

Result<std::unique_ptr<SocketStream>> connect_with_retries(const ClientEnv& env, const ResolvedAddress& server,
                                                           std::uint64_t retries) {
  for (std::uint64_t attempt = 0;; ++attempt) {
    auto stream = connect_address(server, env.timings.connect_timeout);
    if (stream) return stream;
    if (attempt >= retries) return error("cannot connect to " + server.text() + ": " + stream.message());
    env.clock.sleep_for(env.timings.retry_pause);
  }
}

struct Welcome {
  std::uint64_t slot = 0;
  std::uint64_t session_id = 0;
  std::uint64_t players = 0;
};

// The welcome, or the refusal's or the malformed welcome's error. A slot
// beyond the four or a party outside 1..4 is malformed too.
Result<Welcome> read_welcome(std::string_view line) {
  const std::vector<std::string_view> words = split_words(line);
  if (!words.empty() && words[0] == "refused") {
    std::vector<std::string> reason(words.begin() + 1, words.end());
    return error("refused: " + join(reason, " "));
  }
  const auto slot = parse_welcome(words, 1);
  const auto session_id = parse_welcome(words, 2);
  const auto players = parse_welcome(words, 3);
  if (!slot || !session_id || !players || *slot >= net_slots || *players == 0 || *players > net_slots) {
    return error("a malformed welcome");
  }
  return Welcome{*slot, *session_id, *players};
}

}  // namespace

// ---------------------------------------------------------------------------
// The session stream and its reader

Result<Connection> Connection::start(std::unique_ptr<Stream> stream) {
  auto reading = stream->duplicate();
  if (!reading) {
    stream->close();
    return error(reading.message());
  }
  Connection c;
  c.stream_ = std::move(stream);
  c.channel_ = std::make_shared<LineChannel>(line_channel_capacity);
  auto reader = start_thread([s = std::move(*reading), channel = c.channel_]() mutable {
    server_line_reader(std::move(s), channel);
  }, connection_stack_bytes);
  if (!reader) {
    c.stream_->close();
    return error("cannot start the session's reader: " + reader.message());
  }
  c.reader_ = std::move(*reader);
  return c;
}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    end();
    stream_ = std::move(other.stream_);
    channel_ = std::move(other.channel_);
    reader_ = std::move(other.reader_);
  }
  return *this;
}

Status Connection::write_line(std::string_view line) {
  if (!stream_) return error("the session stream is closed");
  std::string bytes(line);
  bytes += '\n';
  return stream_->write(bytes);
}

void Connection::shut_down() {
  if (stream_) stream_->close();
}

void Connection::end() {
  shut_down();
  // A reader waiting for room in a full channel wakes when it closes.
  if (channel_) channel_->close();
  if (reader_.joinable()) reader_.join();
  stream_.reset();
  channel_.reset();
}

void server_line_reader(std::unique_ptr<Stream> stream, std::shared_ptr<LineChannel> channel) {
  LineReader reader(*stream, max_server_line);
  std::string line;
  while (reader.next(line) == LineReader::Outcome::line) {
    if (!channel->send(line)) break;
  }
  stream.reset();
  channel->close();
}

// ---------------------------------------------------------------------------
// The handshake

std::optional<std::uint64_t> parse_welcome(const std::vector<std::string_view>& words, std::size_t index) {
  if (index >= words.size()) return std::nullopt;
  return parse_unsigned(words[index]);
}

Result<ReceivedStage> receive_stage(const ClientEnv& env, std::string_view sync_line, LineChannel& lines) {
  const std::vector<std::string_view> words = split_words(sync_line);
  const bool sync = words.size() >= 3 && words[0] == "sync";
  const auto epoch = sync ? parse_unsigned(words[1], UINT16_MAX) : std::nullopt;
  const auto count = sync ? parse_unsigned(words[2]) : std::nullopt;
  if (!epoch || !count) return error("expected a stage, got: " + std::string(sync_line));
  std::string text;
  for (std::uint64_t i = 0; i < *count; ++i) {
    auto line = lines.recv_for(env.timings.answer_wait);
    if (!line) return error("the stage was cut short");
    text += *line;
    text += '\n';
    if (text.size() > max_replay_file_bytes) return error("the stage is too long");
  }
  auto record = read_replay(text);
  if (!record) return error(record.message());
  if (record->data_hash && *record->data_hash != game_data().data_hash) {
    return error("the stage was recorded with other game data");
  }
  return ReceivedStage{play_back(*record), static_cast<std::uint16_t>(*epoch)};
}

Result<Handshake> client_handshake(const ClientEnv& env, const ResolvedAddress& server, const ClientJoin& join,
                                   std::uint64_t retries) {
  const Instant begun = env.clock.monotonic();
  auto stream = connect_with_retries(env, server, retries);
  if (!stream) return error(stream.message());
  const Instant connected = env.clock.monotonic();
  set_socket_timeouts((*stream)->fd(), milliseconds(0), env.timings.send_timeout);
  auto connection = Connection::start(std::move(*stream));
  if (!connection) return error(connection.message());
  if (join.code) {
    if (Status sent = connection->write_line("game " + *join.code); !sent) return error(sent.message());
  }
  if (Status sent = connection->write_line(connect_line(join)); !sent) return error(sent.message());

  auto welcome_line = connection->lines().recv_for(env.timings.answer_wait);
  if (!welcome_line) return error(std::string(no_answer_message));
  auto welcome = read_welcome(*welcome_line);
  if (!welcome) return error(welcome.message());
  const Instant welcomed = env.clock.monotonic();

  auto sync_line = connection->lines().recv_for(env.timings.answer_wait);
  if (!sync_line) return error(std::string(no_answer_message));
  auto stage = receive_stage(env, *sync_line, connection->lines());
  if (!stage) return error(stage.message());
  const Instant staged = env.clock.monotonic();

  env.log << "joined slot " << welcome->slot << " in " << millis(staged - begun) << " ms: connection "
          << millis(connected - begun) << " ms, welcome " << millis(welcomed - connected) << " ms, stage "
          << millis(staged - welcomed) << " ms (tick " << stage->world.tick << ")\n";
  return Handshake{std::move(*connection), std::move(*stage), welcome->slot, welcome->session_id, welcome->players};
}

// ---------------------------------------------------------------------------
// The session

Result<std::unique_ptr<ClientSession>> open_client(ClientEnv env, const ClientJoin& join) {
  auto addresses = resolve_stream_address(join.address);
  if (!addresses) return error("cannot resolve " + join.address + ": " + addresses.message());
  if (addresses->empty()) return error("cannot resolve " + join.address);
  const ResolvedAddress server = addresses->front();
  auto joined = client_handshake(env, server, join, 25);
  if (!joined) return error(joined.message());
  auto udp = bind_udp_for(server);
  if (!udp) return error("cannot open udp: " + udp.message());
  if (Status reached = connect_udp(**udp, server); !reached) {
    return error("cannot reach udp " + server.text() + ": " + reached.message());
  }

  auto session = std::make_unique<ClientSession>(env);
  ClientSession& s = *session;
  s.join = join;
  s.server = server;
  s.server_udp = socket_address(server);
  s.udp = std::move(*udp);
  s.connection = std::move(joined->connection);
  s.session_id = joined->session_id;
  s.slot = joined->slot;
  s.players = joined->players;
  s.rollback = new_rollback_session(joined->stage.world, s.slot, s.players, default_input_delay, joined->stage.epoch);
  const Instant now = env.clock.monotonic();
  s.installed = s.last_sent = s.last_attempt = s.last_confirmed = s.deadline = now;
  return session;
}

void install_stage(ClientSession& session, ReceivedStage stage) {
  session.rollback = renew_rollback_session(session.rollback, stage.world, stage.epoch);
  session.installed = session.last_confirmed = session.env.clock.monotonic();
}

void start_reconnect(ClientSession& session) {
  if (session.reconnecting || session.lost || session.said_bye) return;
  const Instant now = session.env.clock.monotonic();
  session.reconnecting = now;
  session.last_attempt = now;
  session.connection.shut_down();
}

namespace {

// Takes a welcome for the own slot: the new stream and stage, the old stream gone.
void take_reconnection(ClientSession& session, Handshake joined) {
  session.connection = std::move(joined.connection);
  session.session_id = joined.session_id;
  session.players = joined.players;
  install_stage(session, std::move(joined.stage));
  session.replies.clear();
  session.abandoned = 0;
  session.reconnecting.reset();
  session.reconnects += 1;
  session.last_sent = session.env.clock.monotonic();
}

void attempt_reconnection(ClientSession& session) {
  const ClientJoin again{session.join.address, session.join.code, session.slot, session.session_id};
  auto joined = client_handshake(session.env, session.server, again, 0);
  if (!joined) {
    session.env.log << "reconnection failed: " << joined.message() << "\n";
    return;
  }
  if (joined->slot != session.slot) {
    session.env.log << "reconnection gave slot " << joined->slot << ", not " << session.slot << "\n";
    joined->connection.end();
    return;
  }
  take_reconnection(session, std::move(*joined));
}

}  // namespace

void client_reconnect(ClientSession& session) {
  if (!session.reconnecting || session.lost) return;
  if (session.env.clock.monotonic() - session.last_attempt >= session.env.timings.reconnect_every) {
    session.last_attempt = session.env.clock.monotonic();
    attempt_reconnection(session);
  }
  if (session.reconnecting && session.env.clock.monotonic() - *session.reconnecting >= session.env.timings.give_up_after) {
    session.lost = std::string(unreachable_message);
  }
}

bool send_session_line(ClientSession& session, std::string_view line) {
  if (Status sent = session.connection.write_line(line); !sent) {
    start_reconnect(session);
    return false;
  }
  session.last_sent = session.env.clock.monotonic();
  return true;
}

std::string client_command(ClientSession& session, std::string_view line) {
  if (session.said_bye) return reply_error(left_message);
  if (session.lost) return reply_error(*session.lost);
  if (session.reconnecting || !send_session_line(session, line)) return reply_error(reconnecting_message);
  const Instant sent = session.env.clock.monotonic();
  while (session.env.clock.monotonic() - sent < session.env.timings.answer_wait) {
    auto got = session.connection.lines().recv_for(session.env.timings.reply_poll);
    if (got) {
      handle_server_line(session, std::move(*got));
    } else if (session.connection.lines().drained()) {
      start_reconnect(session);
    }
    if (!session.replies.empty()) {
      std::string reply = std::move(session.replies.front());
      session.replies.pop_front();
      if (trim_white(line) == "bye" && reply.starts_with("{\"ok\":true")) session.said_bye = true;
      return reply;
    }
    if (session.reconnecting) break;
  }
  // Its reply may still come: it is not taken for the next request's.
  session.abandoned += 1;
  return reply_error(no_answer_message);
}

void close_client(ClientSession& session) {
  session.connection.end();
  session.udp.reset();
}

}  // namespace velmora
