#include "tests/support/service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdlib.h>

#include "server/recording.h"

namespace velmora::testing {

Service::Service(std::optional<std::string> folder) : state(new_server_state(std::move(folder), disk, clock)) {
  clock.set_wall_seconds(1'700'000'000);
}

JsonValue Service::ask(std::string_view line) {
  const std::string reply = handle_request(state, line);
  JsonCursor cursor{reply, 0};
  auto value = json_parse(cursor);
  json_skip_white(cursor);
  if (!value || value->kind() != JsonValue::Kind::Obj || cursor.pos != reply.size()) {
    ADD_FAILURE() << line << ": not one JSON object: " << reply;
    return JsonValue(JsonValue::Object{});
  }
  return std::move(*value);
}

std::string Service::refusal(std::string_view line) {
  const JsonValue reply = ask(line);
  EXPECT_EQ(keys_of(reply), (std::vector<std::string>{"ok", "message"})) << line;
  EXPECT_EQ(reply.get("ok")->as_bool(), false) << line;
  return text_at(reply, "message");
}

std::string Service::granted(std::string_view line) {
  const JsonValue reply = ask(line);
  EXPECT_EQ(reply.get("ok")->as_bool(), true) << line << ": " << text_at(reply, "message");
  return text_at(reply, "message");
}

std::vector<std::string> keys_of(const JsonValue& object) {
  std::vector<std::string> keys;
  if (object.as_obj() == nullptr) return keys;
  for (const auto& entry : *object.as_obj()) keys.push_back(entry.first);
  return keys;
}

std::string text_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr && at->as_str() != nullptr ? *at->as_str() : "<none>";
}

ScratchFolder::ScratchFolder() {
  char name[] = "/tmp/velmora-test-XXXXXX";
  if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
  path = name;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> ScratchFolder::replay_files() const {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    if (is_replay_file_name(entry.path().filename().string())) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace velmora::testing
