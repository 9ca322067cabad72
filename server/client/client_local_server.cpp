#include "server/client/client_local_server.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <vector>

#include "core/base/disk.h"
#include "core/base/text.h"
#include "core/bot/bot.h"
#include "server/service/local_server.h"
#include "server/service/protocol.h"
#include "server/service/requests.h"
#include "server/views/world_view.h"
#include "web/json.h"

namespace velmora {

namespace {

using Words = std::span<const std::string_view>;

// The requests that only a local game can answer.
constexpr std::array<std::string_view, 6> offline_only = {"new", "run", "watch", "boost", "give", "save_replay"};

std::string ok_message(std::string_view message) {
  return json_to_string(Json::object(2).add("ok", true).add("message", message));
}

std::string hello_reply(const ClientSession& session) {
  FakeClock clock;  // an empty state reads neither clock nor disk
  ServerState empty = new_server_state(std::nullopt, real_disk(), clock);
  std::string reply = handle_request(empty, "hello");
  reply = json_text_add_field(std::move(reply), "online", true);
  reply = json_text_add_field(std::move(reply), "slot", session.slot);
  return json_text_add_field(std::move(reply), "session", std::to_string(session.session_id));
}

// One pass of the client, as the tick loop of every front end runs it.
void client_pass(ClientSession& session, const InputSource& input) {
  client_pump(session);
  if (session.reconnecting) {
    client_reconnect(session);
  } else {
    client_tick_loop(session, input);
  }
}

Json net_json(const ClientSession& session) {
  const RollbackSession& r = session.rollback;
  const std::uint64_t predicted = r.predicted.tick;
  const std::uint64_t confirmed = r.confirmed.tick;
  return Json::object(8)
      .add("slot", session.slot)
      .add("ahead", predicted > confirmed ? predicted - confirmed : 0)
      .add("slack", r.slack)
      .add("rollbacks", r.counters.rollbacks)
      .add("desyncs", r.counters.desyncs)
      .add("waiting", predicted >= confirmed + max_prediction_ticks)
      .add("reconnecting", session.reconnecting.has_value() && !session.lost && !session.said_bye)
      .add("lost", session.lost.has_value() || session.said_bye);  // also a chosen leave
}

Json looks_json(const ClientSession& session) {
  Json looks = Json::array(session.looks.size());
  for (const std::int64_t look : session.looks) looks.push(look);
  return looks;
}

std::string request_tick(ClientFront& front, Words words) {
  ClientSession& session = front.session;
  const auto input = tick_input(words, session.slot);
  if (!input) return reply_error(bad_buttons_message);
  // After an ok "bye" the game goes on without this client: nothing is sent
  // and nothing moves.
  if (session.said_bye) {
    session.events.clear();
  } else {
    client_pass(session, *input);
  }
  Json events = events_to_values(session.events, 0, session.events.size());
  session.events.clear();
  std::string reply = view_text(session.rollback.predicted, std::move(events), front.debug);
  reply = json_text_add_field(std::move(reply), "net", net_json(session));
  return json_text_add_field(std::move(reply), "looks", looks_json(session));
}

std::string request_debug(ClientFront& front, Words words, std::string_view line) {
  (void)client_command(front.session, line);  // the server's own switch; its answer is not the front end's
  front.debug = words.size() > 1 && words[1] == "on";
  return ok_message(front.debug ? "debug on" : "debug off");
}

}  // namespace

std::optional<InputSource> tick_input(Words words, std::uint64_t slot) {
  std::string_view word = "0";
  if (slot + 1 < words.size()) {
    word = words[slot + 1];
  } else if (words.size() > 1) {
    word = words[1];
  }
  const auto button = button_word(word);
  if (!button) return std::nullopt;
  if (button->bot) return InputSource([slot](const World& predicted) { return bot_input(predicted, slot); });
  return InputSource([fixed = button->value](const World&) { return fixed; });
}

std::string client_local_request(ClientFront& front, std::string_view line) {
  const std::vector<std::string_view> words = split_words(line);
  if (words.empty()) return reply_error("empty request");
  const std::string_view request = words[0];
  if (request == "hello") return hello_reply(front.session);
  if (request == "tick") return request_tick(front, words);
  if (request == "state") return view_text(front.session.rollback.predicted, Json::array(), front.debug);
  if (request == "debug") return request_debug(front, words, line);
  if (std::find(offline_only.begin(), offline_only.end(), request) != offline_only.end()) {
    return reply_error(offline_only_message);
  }
  // The server answers "ping" with a bare "pong", which is no reply to a
  // request: forwarded, it would leave the front end waiting and its late
  // answer would be counted against the next request's.
  if (request == "ping") return reply_error("unknown request ping");
  return client_command(front.session, line);
}

namespace {

class FrontService final : public LineService {
 public:
  explicit FrontService(ClientSession& session) : front_(session) {}
  std::string handle(std::string_view line) override { return client_local_request(front_, trim_white(line)); }
  void save_unsaved() override {}  // the server keeps the record

 private:
  ClientFront front_;
};

}  // namespace

int serve_local_online(ClientSession& session, std::uint16_t port, std::ostream& out, std::ostream& err) {
  auto listener = listen_tcp("127.0.0.1", port);
  if (!listener) {
    err << "cannot bind 127.0.0.1:" << port << ": " << listener.message() << "\n";
    return 1;
  }
  out << "LISTENING " << (*listener)->port() << "\n";
  out.flush();
  FrontService service(session);
  return serve_lines(**listener, service);
}

}  // namespace velmora
