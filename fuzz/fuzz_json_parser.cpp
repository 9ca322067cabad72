// Arbitrary bytes go to the JSON parser: it must never crash, never nest
// deeper than its limit, and leave the cursor inside the text. A parsed value
// without null is written again and must parse back to the same value.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "web/json.h"
#include "web/json_parser.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Containers open around the deepest value; none when the value holds a null.
std::optional<std::size_t> depth_without_null(const velmora::JsonValue& value) {
  if (value.is_null()) return std::nullopt;
  std::size_t deepest = 0;
  if (const auto* elements = value.as_arr()) {
    for (const auto& element : *elements) {
      const auto depth = depth_without_null(element);
      if (!depth) return std::nullopt;
      deepest = std::max(deepest, *depth);
    }
    return deepest + 1;
  }
  if (const auto* pairs = value.as_obj()) {
    for (const auto& pair : *pairs) {
      const auto depth = depth_without_null(pair.second);
      if (!depth) return std::nullopt;
      deepest = std::max(deepest, *depth);
    }
    return deepest + 1;
  }
  return 0;
}

// The writer's value for a parsed value that holds no null.
velmora::Json to_json(const velmora::JsonValue& value) {
  if (const auto flag = value.as_bool()) return velmora::Json(*flag);
  if (const auto number = value.as_num()) return velmora::Json(*number);
  if (const auto* text = value.as_str()) return velmora::Json(*text);
  if (const auto* elements = value.as_arr()) {
    velmora::Json out = velmora::Json::array(elements->size());
    for (const auto& element : *elements) out.push(to_json(element));
    return out;
  }
  velmora::Json out = velmora::Json::map(value.as_obj()->size());
  for (const auto& pair : *value.as_obj()) out.add_owned(pair.first, to_json(pair.second));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  velmora::JsonCursor string_cursor{input, 0};
  if (velmora::json_parse_string(string_cursor) && string_cursor.pos > size) fail("string cursor past end");

  velmora::JsonCursor cursor{input, 0};
  const std::optional<velmora::JsonValue> value = velmora::json_parse(cursor);
  if (!value) return 0;
  if (cursor.pos > size) fail("cursor past end");

  const std::optional<std::size_t> depth = depth_without_null(*value);
  if (!depth) return 0;
  if (*depth > velmora::json_max_depth) fail("nesting beyond the limit");

  const std::string written = velmora::json_to_string(to_json(*value));
  velmora::JsonCursor again{written, 0};
  const std::optional<velmora::JsonValue> reparsed = velmora::json_parse(again);
  if (!reparsed || again.pos != written.size()) fail("written text does not parse whole");
  if (!(*reparsed == *value)) fail("round trip changed the value");
  return 0;
}
