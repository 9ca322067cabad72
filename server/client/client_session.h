// The online client's connection to the game: the session handshake over TCP
// (an optional join code, "connect", the welcome or the refusal, the stage
// record played back into a world), the UDP socket for tick datagrams, the
// reader thread that hands the server's lines over a channel, requests with
// their replies, and reconnection after the session stream is lost.
//
// Everything here runs on the front end's thread except the reader, which
// owns its own handle of the stream and touches nothing but its channel.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/clock.h"
#include "core/base/result.h"
#include "core/net/rollback_session.h"
#include "core/world/events.h"
#include "core/world/world.h"
#include "web/channel.h"
#include "web/sockets.h"
#include "web/threads.h"

namespace velmora {

using Instant = std::chrono::nanoseconds;  // on the monotonic clock
using LineChannel = Channel<std::string>;

// The longest line taken from the server (a world view is far shorter); a
// longer one ends the session stream as a broken one would.
inline constexpr std::size_t max_server_line = 1u << 20;
// Lines waiting between the reader and the front end: with the line cap this
// bounds what a server can make the client hold.
inline constexpr std::size_t line_channel_capacity = 64;
// Replies kept for requests; a server that sends more unasked is not followed.
inline constexpr std::size_t max_waiting_replies = 16;
// Events kept for a front end that does not take them.
inline constexpr std::size_t max_client_events = 4096;

inline constexpr std::string_view reconnecting_message = "reconnecting to the online game";
inline constexpr std::string_view unreachable_message = "the online game cannot be reached";
inline constexpr std::string_view no_answer_message = "the server did not answer";
inline constexpr std::string_view left_message = "you have left the online game";

// The client's waits. Tests shorten them; the program uses these.
struct ClientTimings {
  std::chrono::milliseconds connect_timeout{2000};
  std::chrono::milliseconds retry_pause{200};       // between connection attempts
  std::chrono::milliseconds answer_wait{10000};     // welcome, sync, each record line, a reply
  std::chrono::milliseconds reply_poll{50};         // one wait for a line while a reply is due
  std::chrono::milliseconds send_timeout{2000};     // a write to a server that stopped reading
  std::chrono::milliseconds reconnect_every{1000};  // between reconnection attempts
  std::chrono::milliseconds give_up_after{30000};   // of reconnection, or of no confirmed tick
  std::chrono::milliseconds keep_alive{10000};      // "ping" after this long without a line sent
};

// What the client reaches outside itself besides its sockets.
struct ClientEnv {
  Clock& clock;
  std::ostream& log;  // standard error
  ClientTimings timings;
};

// Whom to join: the server's "host:port" (an IPv6 host in brackets), and
// optionally a join code, the slot wished for and the session id that held
// that slot before.
struct ClientJoin {
  std::string address;
  std::optional<std::string> code;
  std::optional<std::uint64_t> slot;
  std::optional<std::uint64_t> session;
};

// The session stream and the reader thread that feeds its lines into a
// channel. Ending it shuts the stream down, which ends the reader, and joins
// the reader.
class Connection {
 public:
  Connection() = default;
  // Starts the reader on a second handle of the stream.
  static Result<Connection> start(std::unique_ptr<Stream> stream);
  ~Connection() { end(); }
  Connection(Connection&& other) noexcept = default;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open() const { return channel_ != nullptr; }
  Status write_line(std::string_view line);
  // Shuts the stream down both ways; the reader sees its end.
  void shut_down();
  void end();
  LineChannel& lines() { return *channel_; }

 private:
  std::unique_ptr<Stream> stream_;
  std::shared_ptr<LineChannel> channel_;
  Thread reader_;
};

// The reader thread's body: every line of the stream (without its line end)
// into the channel, then the channel closed, which the receiver sees as the
// end of the session stream.
void server_line_reader(std::unique_ptr<Stream> stream, std::shared_ptr<LineChannel> channel);

// A stage received with "sync": its epoch and the world played back from it.
struct ReceivedStage {
  World world;
  std::uint16_t epoch = 0;
};

// Reads the stage that the "sync EPOCH COUNT" line announces: exactly COUNT
// record lines from the channel, each within the answer wait, played back.
Result<ReceivedStage> receive_stage(const ClientEnv& env, std::string_view sync_line, LineChannel& lines);

// The welcome's number at a word index (unsigned decimal, "+" allowed).
std::optional<std::uint64_t> parse_welcome(const std::vector<std::string_view>& words, std::size_t index);

// A joined connection: the stream and its reader, the welcome and the stage.
struct Handshake {
  Connection connection;
  ReceivedStage stage;
  std::uint64_t slot = 0;
  std::uint64_t session_id = 0;
  std::uint64_t players = 0;
};

// Connects (with up to `retries` more attempts after a failed one), sends the
// join code and "connect", and takes the welcome and the stage.
Result<Handshake> client_handshake(const ClientEnv& env, const ResolvedAddress& server, const ClientJoin& join,
                                   std::uint64_t retries);

struct ClientSession {
  explicit ClientSession(ClientEnv e) : env(e) {}
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  ClientEnv env;
  RollbackSession rollback;
  Connection connection;
  std::deque<std::string> replies;  // reply lines waiting for `client_command`
  std::uint64_t abandoned = 0;      // requests whose reply came too late to be taken
  std::vector<Event> events;        // for the front end, since it last took them
  ClientJoin join;                  // the address text and the join code
  std::optional<std::string> lost;  // the game cannot be reached: final
  Instant installed{0};             // the last stage install
  Instant last_sent{0};             // the last line written to the session stream
  Instant last_attempt{0};          // the last reconnection attempt
  Instant last_confirmed{0};        // the confirmed tick last moved (or the stage came)
  bool confirmed_any = false;       // a tick has been confirmed since joining
  std::optional<Instant> reconnecting;
  ResolvedAddress server;
  SocketAddress server_udp;
  std::unique_ptr<Datagrams> udp;  // connected to the server, never waited on
  std::uint64_t session_id = 0;
  std::uint64_t slot = 0;
  std::uint64_t players = 0;
  std::array<std::int64_t, net_slots> looks{};
  std::uint64_t reconnects = 0;
  std::uint32_t speed = 1;
  // The client tick loop.
  Instant deadline{0};
  std::uint64_t ticks_played = 0;  // advances of the predicted world, jumps included
  std::uint64_t newest_hash = 0;   // the newest own state hash
  bool said_bye = false;           // an ok "bye": the client has left, it never reconnects
  std::vector<std::uint8_t> datagram;
};

// Resolves the address, joins (26 connection attempts at most), opens the
// UDP socket and builds the session. The error is the first failure's text.
Result<std::unique_ptr<ClientSession>> open_client(ClientEnv env, const ClientJoin& join);

// Installs a new stage: the rollback session rebuilt on it (counters kept).
void install_stage(ClientSession& session, ReceivedStage stage);

// Starts reconnection unless it is under way, the session is lost or the
// client said goodbye: the stream is shut down, the first attempt comes a
// reconnection interval later.
void start_reconnect(ClientSession& session);

// One step of reconnection; does nothing while connected.
void client_reconnect(ClientSession& session);

// Writes one line to the session stream; a failure starts reconnection.
bool send_session_line(ClientSession& session, std::string_view line);

// Sends one request and waits for its JSON reply (taking in every server
// line meanwhile); an error reply when reconnecting or when none came, and at
// once after the client has left with an ok "bye".
std::string client_command(ClientSession& session, std::string_view line);

// Shuts the session stream down and closes both sockets.
void close_client(ClientSession& session);

}  // namespace velmora
