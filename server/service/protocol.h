// The line protocol's one entry: `handle_request` takes a request line and
// the service state and gives one JSON object as text. The local server and
// the online server each hold one ServerState and send every line here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/buttons.h"
#include "core/base/clock.h"
#include "core/base/disk.h"
#include "core/replay/replay.h"
#include "core/rules/campaign.h"
#include "core/world/world.h"
#include "server/service/local_server.h"
#include "web/json.h"

namespace velmora {

// A replay being watched: the record, the index of its next command and the
// ticks already run of the current ticks command.
struct WatchState {
  ReplayRecord record;
  std::uint64_t next = 0;
  std::uint32_t ticks_run = 0;
};

struct ServerState {
  std::optional<World> game;
  std::optional<ReplayRecord> record;  // of the stage being played
  std::optional<WatchState> watch;
  std::optional<std::string> replay_folder;
  std::optional<CampaignState> campaign;
  // Grows by 1 whenever a stage begins or a replay is watched.
  std::uint64_t stage_counter = 0;
  // Set when a command is appended to the record; cleared when the record
  // is saved, replaced or dropped.
  bool unsaved = false;
  // Unlocks "goto", "give" and "boost" and adds the boxes to the view.
  bool debug = false;
  Disk* disk = &real_disk();  // replay files are written and read through it
  Clock* clock = &real_clock();
  // Where a replay that cannot be written is told; the program's log_error
  // when empty.
  std::function<void(std::string_view)> log_error;
};

// No game, no record, nothing watched, no campaign.
ServerState new_server_state(std::optional<std::string> replay_folder, Disk& disk, Clock& clock);

// One request line (without its line end) in, one JSON object out.
std::string handle_request(ServerState& state, std::string_view line);

// The shared replies.
std::string reply_error(std::string_view message);
// The world view with a message and events; "watch" follows while a replay
// is watched, then "replay_saved" when a path is given. Without a game: the
// error "no game: send new first".
std::string reply_state(const ServerState& state, std::string_view message, Json events,
                        const std::optional<std::string>& replay_saved = std::nullopt);

// Begins the stage of the campaign's current node: the stage counter grows;
// with a campaign, a new game of that stage with the party, a fresh record,
// nothing unsaved and nothing watched.
void begin_node_stage(ServerState& state, std::uint64_t seed);

// The party as it stands: the running game's sheets while its stage runs,
// else the campaign's party, else nobody.
std::vector<CharacterSheet> current_party(const ServerState& state);

// The local server's service: requests through handle_request, and an
// unsaved record saved when a connection ends.
class RequestService final : public LineService {
 public:
  explicit RequestService(ServerState& state) : state_(state) {}
  std::string handle(std::string_view line) override;
  void save_unsaved() override;

 private:
  ServerState& state_;
};

}  // namespace velmora
