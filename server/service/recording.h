// Recording a stage and saving it: one tick of the service's game with its
// button words appended to the record, replay files written into the replay
// folder, and the folder kept to its newest replay files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/buttons.h"
#include "core/base/disk.h"
#include "core/base/result.h"
#include "server/service/protocol.h"

namespace velmora {

// How many replay files a folder keeps.
inline constexpr std::size_t replays_kept = 30;

// The largest replay file that "watch" reads (a stage of some hours is a few
// megabytes at most).
inline constexpr std::uint64_t max_replay_file_bytes = 64ull * 1024 * 1024;

// One tick of the game with recording: the words (missing ones 0) go into the
// record run-length and the tick runs. When this tick ends the stage, a
// cleared stage's party goes to the campaign and the unsaved record is saved;
// the path written, if any. Nothing happens without a game or once its stage
// is over.
std::optional<std::string> step_tick(ServerState& state, std::span<const Buttons> buttons);

// Writes the record as a new replay file now; the path or a message.
Result<std::string> save_replay_file(ServerState& state);

// Saves only an unsaved record; failures are dropped.
std::optional<std::string> save_replay_if_unsaved(ServerState& state);

// "replay-*.txt".
bool is_replay_file_name(std::string_view name);

struct ReplayFile {
  std::string path;
  FileTime modified;
};

// The regular files of the folder named like replay files, oldest first
// (ties by path).
Result<std::vector<ReplayFile>> list_replay_files(Disk& disk, const std::string& folder);

// Deletes the oldest replay files until `replays_kept` remain, counting `keep`
// (the file just written), which is never deleted. Errors are ignored.
void prune_replay_files(Disk& disk, const std::string& folder, const std::string& keep);

}  // namespace velmora
