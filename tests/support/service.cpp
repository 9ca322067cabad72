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

std::int64_t num_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr ? at->as_num().value_or(-999) : -999;
}

bool flag_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr && at->as_bool().value_or(false);
}

}  // namespace velmora::testing
