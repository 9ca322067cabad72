// The JSON the program reads (the Agones sidecar's GameServer record).
//
// The parser is small and has exact acceptance rules:
//   - White space is space, tab, line feed and carriage return only.
//   - null, true and false are matched on their own bytes; what follows is not
//     looked at ("truex" reads true and leaves the cursor on the x).
//   - A number is the longest run of 0-9 + - . e E; only the part before the
//     first '.', 'e' or 'E' counts, read as a signed 64-bit integer with an
//     optional sign and leading zeros allowed (1.9 reads 1, 2E+3 reads 2, -.5
//     and 9223372036854775808 fail).
//   - Strings take raw bytes as they are; \b \f \n \r \t and \uXXXX are
//     resolved, any other escaped byte stands for itself. A \u escape in the
//     surrogate range gives "?" (pairs are not combined). The result must be
//     valid UTF-8.
//   - Arrays and objects fail on a trailing comma; a repeated object key gives
//     a second pair.
//   - At most json_max_depth arrays and objects may be open at once; a deeper
//     document fails, so no input can exhaust the stack.
// A failure gives no value; the cursor position after it means nothing.
// Memory use grows linearly with the input: every value takes at least one
// input byte.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace velmora {

// Arrays and objects nested deeper than this fail to parse.
inline constexpr std::size_t json_max_depth = 128;

class JsonValue {
 public:
  enum class Kind : std::uint8_t { Null, Bool, Num, Str, Arr, Obj };
  using Array = std::vector<JsonValue>;
  using Object = std::vector<std::pair<std::string, JsonValue>>;

  // null.
  JsonValue() = default;
  explicit JsonValue(bool value) : value_(value) {}
  template <std::signed_integral T>
  explicit JsonValue(T value) : value_(static_cast<std::int64_t>(value)) {}
  explicit JsonValue(const char* text) : value_(std::string(text)) {}
  explicit JsonValue(std::string text) : value_(std::move(text)) {}
  explicit JsonValue(Array elements) : value_(std::move(elements)) {}
  explicit JsonValue(Object pairs) : value_(std::move(pairs)) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_null() const { return kind() == Kind::Null; }

  // The payload when the value is of that variant, else none or nullptr.
  std::optional<bool> as_bool() const;
  std::optional<std::int64_t> as_num() const;
  const std::string* as_str() const;
  const Array* as_arr() const;
  const Object* as_obj() const;

  // The value of the first pair with this key; nullptr when there is no such
  // pair or this is not an object.
  const JsonValue* get(std::string_view key) const;

  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  std::variant<std::monostate, bool, std::int64_t, std::string, Array, Object> value_;
};

// The text being read and the byte position reached.
struct JsonCursor {
  std::string_view text;
  std::size_t pos = 0;
};

// Skips white space, reads one value and leaves the cursor just after it.
// Whatever follows is the caller's business.
std::optional<JsonValue> json_parse(JsonCursor& cursor);

// Reads one string token; the cursor must stand on its opening quotation mark.
std::optional<std::string> json_parse_string(JsonCursor& cursor);

// Moves the cursor past space, tab, line feed and carriage return (the check
// for trailing text after a document).
void json_skip_white(JsonCursor& cursor);

}  // namespace velmora
