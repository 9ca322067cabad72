#include "tests/support/service.h"

#include <gtest/gtest.h>

namespace velmora::testing {

Service::Service(std::optional<std::string> folder) : state(new_server_state(std::move(folder), disk, clock)) {
  clock.set_wall_seconds(1'700'000'000);
}

JsonValue Service::ask(std::string_view line) {
  const std::string reply = handle_request(state, line);
  JsonCursor cursor{reply, 0};
  auto value = json_parse(cursor);
  if (!value || value->kind() != JsonValue::Kind::Obj || cursor.pos != reply.size()) {
    ADD_FAILURE() << line << ": not one JSON object: " << reply;
    return JsonValue(JsonValue::Object{});
  }
  return std::move(*value);
}

std::string Service::message(std::string_view line) {
  const JsonValue reply = ask(line);
  const JsonValue* at = reply.get("message");
  return at != nullptr && at->as_str() != nullptr ? *at->as_str() : "<none>";
}

bool Service::watch_verified(const std::string& path) {
  EXPECT_EQ(message("watch " + path), "watching");
  for (int i = 0; i < 1000; ++i) {
    const JsonValue reply = ask("run 600");
    const JsonValue* watch = reply.get("watch");
    if (watch == nullptr) break;
    if (flag_at(*watch, "done")) return flag_at(*watch, "verified");
  }
  ADD_FAILURE() << "the replay never ended: " << path;
  return false;
}

std::int64_t num_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr ? at->as_num().value_or(-999) : -999;
}

bool flag_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr && at->as_bool().value_or(false);
}

}  // namespace velmora::testing
