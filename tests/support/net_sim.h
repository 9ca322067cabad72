// A simulated network for the netcode: one server side (a ServerState stepped
// with step_tick and a NetHost) and up to four clients (each a
// RollbackSession) exchange the real encoded datagrams through a seeded event
// queue with delay, jitter, loss, reordering and duplication, and session
// lines ("sync", the stage record, "cmd") through a reliable delayed stream per
// client. Time is simulated in microseconds: a run is fast and the same seed
// always gives the same run.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "core/base/rng.h"
#include "core/net/net_host.h"
#include "core/net/rollback_session.h"
#include "core/replay/commands.h"
#include "server/service/protocol.h"

namespace velmora::testing {

struct NetConditions {
  std::uint64_t delay_us = 1000;  // one way, datagrams and lines alike
  std::uint64_t jitter_us = 0;    // each trip takes delay ± up to this
  std::uint32_t loss_per_mille = 0;
  std::uint32_t reorder_per_mille = 0;    // held back one to three tick periods more
  std::uint32_t duplicate_per_mille = 0;  // sent twice, each copy with its own delay
};

// The word a client's player presses when its prediction runs tick `tick`.
using InputScript = std::function<Buttons(std::uint64_t slot, std::uint64_t tick)>;

// Walks right and left in turns and strikes, with the slot's own rhythm.
InputScript walking_script();

struct ClientReport {
  RollbackCounters counters;
  std::uint64_t confirmed_tick = 0;
  std::uint64_t confirmed_hash = 0;
  std::uint64_t rebuilds = 0;  // sessions built from a stage record
  // Passes after which the predicted world was checked against the confirmed
  // world run on with the words the prediction claims, and the failures.
  std::uint64_t predictions_checked = 0;
  std::uint64_t predictions_wrong = 0;
};

struct SimReport {
  std::uint64_t server_tick = 0;
  std::uint64_t server_hash = 0;
  std::array<std::uint64_t, net_slots> guessed{};
  std::uint64_t datagrams_lost = 0;
  std::uint64_t datagrams_duplicated = 0;
  std::map<std::uint64_t, ClientReport> clients;  // by slot
};

class NetSim {
 public:
  // A server on a new game of the stage with the party; no client yet.
  NetSim(std::uint64_t stage, std::uint64_t seed, std::vector<CharacterSheet> party, NetConditions net,
         std::uint64_t network_seed);

  // A client takes the slot now. With `through_record` (as online) it receives
  // the stage record and builds its worlds by playing it back; without, its
  // worlds start as copies of the server's.
  void join(std::uint64_t slot, InputScript script, bool through_record = true);

  // A party command on the server between ticks, as a session request makes
  // it: refused when the coming tick is full, else applied (a refusal by the
  // game is recorded all the same), recorded and sent as a "cmd" line.
  Status command(const Command& command);

  // The stage changes: a new game of the stage, a new NetHost of the next
  // epoch, and the stage record to every client.
  void change_stage(std::uint64_t stage, std::uint64_t seed);

  // Runs simulated time until the server has run `ticks` more ticks.
  void run_ticks(std::uint64_t ticks);

  // Stops the server's ticks and runs on until every client has confirmed
  // the server's last tick (or `max_us` have passed); true when they have.
  bool settle(std::uint64_t max_us = 10'000'000);

  // Runs `action` on the server just before its tick number `tick` runs.
  void at_tick(std::uint64_t tick, std::function<void(NetSim&)> action);

  ServerState& server() { return server_; }
  NetHost& host() { return host_; }
  const RollbackSession* session(std::uint64_t slot) const;
  RollbackSession* session(std::uint64_t slot);
  SimReport report() const;

 private:
  enum class Kind : std::uint8_t { server_pass, client_pass, to_server, to_client, line };
  struct Event {
    std::uint64_t time = 0;
    std::uint64_t order = 0;
    Kind kind = Kind::server_pass;
    std::uint64_t slot = 0;
    std::vector<std::uint8_t> bytes;
    std::string line;
  };
  struct Later {
    bool operator()(const Event& a, const Event& b) const {
      return a.time != b.time ? a.time > b.time : a.order > b.order;
    }
  };
  struct Client {
    std::optional<RollbackSession> session;
    InputScript script;
    std::deque<std::string> lines;  // arrived, not yet taken in
    std::vector<std::vector<std::uint8_t>> datagrams;
    std::uint64_t session_id = 0;
    std::uint64_t stream_free_at = 0;  // lines arrive in order
    std::uint64_t rebuilds = 0;
    std::uint64_t predictions_checked = 0;
    std::uint64_t predictions_wrong = 0;
    bool passes_running = false;
  };

  static Event event_at(std::uint64_t time, Kind kind, std::uint64_t slot = 0);
  void schedule(Event event);
  void send_datagram(bool to_server, std::uint64_t slot, std::vector<std::uint8_t> bytes);
  void send_line(std::uint64_t slot, std::string line);
  std::uint64_t trip_us();
  void send_stage_record(std::uint64_t slot);
  void handle(Event& event);
  void server_pass();
  void server_tick();
  void client_pass(std::uint64_t slot);
  void take_lines(std::uint64_t slot, Client& client);
  void take_datagrams(Client& client);

  ServerState server_;
  NetHost host_;
  NetConditions net_;
  Rng rng_;
  std::priority_queue<Event, std::vector<Event>, Later> queue_;
  std::map<std::uint64_t, Client> clients_;
  std::array<std::optional<std::uint64_t>, net_slots> session_ids_{};
  std::array<bool, net_slots> address_known_{};
  std::multimap<std::uint64_t, std::function<void(NetSim&)>> actions_;
  std::uint64_t now_ = 0;
  std::uint64_t order_ = 0;
  std::uint64_t datagrams_lost_ = 0;
  std::uint64_t datagrams_duplicated_ = 0;
  std::uint64_t ticks_run_ = 0;
  bool ticking_ = true;
};

// Whether the predicted world is the confirmed world run on through the
// predicted ticks with the words and commands the session holds for them: a
// misprediction that was never rolled back shows here.
bool prediction_consistent(const RollbackSession& session);

// The sync test: one session whose prediction is rolled back and run again
// on every tick, `depth` ticks deep, its confirmed world `depth` ticks behind.
// Every tick run again is hashed against the hash of its first run.
struct SyncTestReport {
  std::uint64_t ticks = 0;
  std::uint64_t hashes_compared = 0;
  std::uint64_t mismatches = 0;
  std::uint64_t first_mismatch_tick = 0;
};

SyncTestReport sync_test(const World& world, const InputScript& script, std::uint64_t ticks, std::uint64_t depth,
                         const std::map<std::uint64_t, std::vector<Command>>& commands = {});

}  // namespace velmora::testing
