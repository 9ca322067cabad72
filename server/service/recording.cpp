#include "server/service/recording.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/replay/replay.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"
#include "web/error_reporter.h"

namespace velmora {

namespace {

// How many names are tried in one second before a save gives up.
constexpr std::uint64_t max_name_attempts = 100'000;

std::string replay_name(std::uint64_t secs, std::uint64_t seed, std::uint64_t n) {
  std::string name = "replay-" + std::to_string(secs) + "-s" + std::to_string(seed);
  if (n > 0) name += "-" + std::to_string(n);
  return name + ".txt";
}

// The text is first written under a name that no replay pattern matches, so
// that nobody ever sees half a replay file.
std::string temporary_name(std::uint64_t secs, std::uint64_t seed, std::uint64_t n) {
  return ".writing-" + std::to_string(secs) + "-s" + std::to_string(seed) + "-" + std::to_string(n) + ".part";
}

Error cannot_write(const std::string& path, const std::string& why) { return error("cannot write " + path + ": " + why); }

Result<std::string> write_temporary(Disk& disk, const std::string& folder, std::uint64_t secs, std::uint64_t seed,
                                    const std::string& text, const std::string& shown) {
  for (std::uint64_t n = 0; n < max_name_attempts; ++n) {
    const std::string path = join_path(folder, temporary_name(secs, seed, n));
    const auto written = disk.write_new_file(path, text);
    if (!written) return cannot_write(shown, written.message());
    if (*written == NewName::made) return path;
  }
  return cannot_write(shown, "File exists");
}

// Gives the written text the first free replay name of this second.
Result<std::string> place_replay(Disk& disk, const std::string& folder, std::uint64_t secs, std::uint64_t seed,
                                 const std::string& temporary) {
  for (std::uint64_t n = 0; n < max_name_attempts; ++n) {
    const std::string path = join_path(folder, replay_name(secs, seed, n));
    const auto moved = disk.move_to_new_name(temporary, path);
    if (!moved) return cannot_write(path, moved.message());
    if (*moved == NewName::made) return path;
  }
  return cannot_write(join_path(folder, replay_name(secs, seed, 0)), "File exists");
}

Result<std::string> write_replay_file(Disk& disk, const std::string& folder, std::uint64_t secs,
                                      const ReplayRecord& record) {
  const std::string first = join_path(folder, replay_name(secs, record.seed, 0));
  const auto temporary = write_temporary(disk, folder, secs, record.seed, write_replay(record), first);
  if (!temporary) return temporary;
  auto placed = place_replay(disk, folder, secs, record.seed, *temporary);
  if (!placed) (void)disk.remove_file(*temporary);
  return placed;
}

// A save that failed is never silent, whoever asked for it: the message
// names the path and the system's reason.
Error logged(const ServerState& state, Error failure) {
  if (state.log_error) {
    state.log_error(failure.message);
  } else {
    log_error(failure.message);
  }
  return failure;
}

}  // namespace

std::optional<std::string> step_tick(ServerState& state, std::span<const Buttons> buttons) {
  if (!state.game || state.game->over != GameStatus::playing) return std::nullopt;
  std::array<Buttons, 4> words{};
  std::copy_n(buttons.begin(), std::min(buttons.size(), words.size()), words.begin());
  if (state.record) {
    record_tick(*state.record, words);
    state.unsaved = true;
  }
  World& world = *state.game;
  tick(world, words);
  if (world.over == GameStatus::playing) return std::nullopt;
  if (world.over == GameStatus::cleared && state.campaign) note_cleared(*state.campaign, party_sheets(world));
  if (!state.unsaved) return std::nullopt;
  auto saved = save_replay_file(state);
  if (!saved) return std::nullopt;
  return std::move(*saved);
}

Result<std::string> save_replay_file(ServerState& state) {
  if (!state.game || !state.record) return error("nothing recorded");
  if (!state.replay_folder) return error("this server has no replay folder (start it with --replays DIR)");
  ReplayRecord& record = *state.record;
  record.end = ReplayEnd{state.game->tick, state_hash(*state.game)};
  const std::string& folder = *state.replay_folder;
  Disk& disk = *state.disk;
  const Status folder_made = disk.create_folders(folder);
  if (!folder_made) return logged(state, error("cannot create " + folder + ": " + folder_made.message()));
  auto path = write_replay_file(disk, folder, state.clock->wall_seconds(), record);
  if (!path) return logged(state, Error{path.message()});
  state.unsaved = false;
  prune_replay_files(disk, folder, *path);
  return path;
}

std::optional<std::string> save_replay_if_unsaved(ServerState& state) {
  if (!state.unsaved) return std::nullopt;
  auto saved = save_replay_file(state);
  if (!saved) return std::nullopt;
  return std::move(*saved);
}

bool is_replay_file_name(std::string_view name) {
  constexpr std::string_view prefix = "replay-";
  constexpr std::string_view suffix = ".txt";
  return name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

Result<std::vector<ReplayFile>> list_replay_files(Disk& disk, const std::string& folder) {
  auto entries = disk.list_folder(folder);
  if (!entries) return Error{entries.message()};
  std::vector<ReplayFile> files;
  for (FolderEntry& entry : *entries) {
    if (!entry.regular || !is_replay_file_name(entry.name)) continue;
    files.push_back(ReplayFile{join_path(folder, entry.name), entry.modified});
  }
  std::sort(files.begin(), files.end(), [](const ReplayFile& a, const ReplayFile& b) {
    if (a.modified != b.modified) return a.modified < b.modified;
    return a.path < b.path;
  });
  return files;
}

void prune_replay_files(Disk& disk, const std::string& folder, const std::string& keep) {
  auto listed = list_replay_files(disk, folder);
  if (!listed) return;
  std::vector<ReplayFile>& files = *listed;
  // The file just written counts as one of those kept, whatever its time says.
  std::erase_if(files, [&](const ReplayFile& f) { return f.path == keep; });
  const std::size_t others_kept = replays_kept - 1;
  if (files.size() <= others_kept) return;
  const std::size_t doomed = files.size() - others_kept;
  for (std::size_t i = 0; i < doomed; ++i) (void)disk.remove_file(files[i].path);
}

}  // namespace velmora
