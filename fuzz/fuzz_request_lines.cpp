// Arbitrary request lines go to one service state, one after another: every
// line must be answered with one strict JSON object whose "ok" is a boolean,
// and nothing may crash. Lines that are not UTF-8 are passed over, as the
// line server closes the connection on them before they reach a request. The state has no replay folder and a disk that holds
// no files, so nothing is read or written outside the process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/disk.h"
#include "core/text.h"
#include "server/protocol.h"
#include "web/json_parser.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view line, const std::string& reply) {
  std::fprintf(stderr, "%s\nline: %.*s\nreply: %s\n", what, static_cast<int>(line.size()), line.data(), reply.c_str());
  std::abort();
}

class EmptyDisk final : public velmora::Disk {
 public:
  velmora::Result<std::string> read_file(const std::string&, std::uint64_t) override {
    return velmora::error("No such file or directory");
  }
};

// Enough for a new game, some ticks, a stage change and the replies between,
// while an input stays quick to run (a run is at most 600 ticks).
constexpr std::size_t max_lines = 48;

void check_reply(std::string_view line, const std::string& reply) {
  velmora::JsonCursor cursor{reply, 0};
  auto value = velmora::json_parse(cursor);
  if (!value || cursor.pos != reply.size() || value->kind() != velmora::JsonValue::Kind::Obj) {
    fail("the reply is not one JSON object", line, reply);
  }
  const velmora::JsonValue* ok = value->get("ok");
  if (ok == nullptr || !ok->as_bool().has_value()) fail("the reply has no ok flag", line, reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EmptyDisk disk;
  velmora::FakeClock clock;
  velmora::ServerState state = velmora::new_server_state(std::nullopt, disk, clock);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (std::size_t n = 0; n < max_lines && start <= input.size(); ++n) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    if (velmora::valid_utf8(line)) check_reply(line, velmora::handle_request(state, line));
    start = end + 1;
  }
  return 0;
}
