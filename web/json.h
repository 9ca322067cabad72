// The JSON the program writes: a value tree built in code and one compact writer.
//
// A `Json` is a boolean, a signed 64-bit integer, a string, an array, or an
// object. There is no null and no floating point: a value that may be absent is
// left out of its object, and every number is an integer. Objects come in two
// forms that write the same way:
//   - Obj: keys fixed in the program (string literals or static texts); the key
//     is not copied, so it must outlive the value.
//   - Map: keys made at run time; each key is an owned copy.
// Arrays and objects keep the order in which entries were added; nothing sorts
// them and repeated keys are written as often as they were added.
//
// Building a reply:
//   Json state = Json::object(28);                 // reserves room for 28 keys
//   state.add("tick", world.tick).add("status", "playing");
//   Json actors = Json::array(world.actors.size());
//   for (...) actors.push(actor_json(actor));
//   state.add("actors", std::move(actors));
//   std::string line = json_to_string(state);
// On a temporary, add and push move the value along, so
//   Json point = Json::array(2).push(x).push(z);
// builds without copying.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "core/base/panic.h"

namespace velmora {

class Json;

// Elements of an array, pairs of an object with program keys, pairs of an
// object with owned keys.
using JsonArr = std::vector<Json>;
using JsonObj = std::vector<std::pair<std::string_view, Json>>;
using JsonMap = std::vector<std::pair<std::string, Json>>;

// An object key fixed in the program. A string literal converts implicitly; a
// string_view is taken as given (the caller vouches that its text lives on). A
// std::string is refused, because the key would dangle once the string goes:
// use a Map for keys made at run time.
class JsonKey {
 public:
  template <std::size_t N>
  constexpr JsonKey(const char (&literal)[N]) : text_(literal) {}  // NOLINT(google-explicit-constructor)
  constexpr JsonKey(std::string_view text) : text_(text) {}        // NOLINT(google-explicit-constructor)
  JsonKey(const std::string&) = delete;
  JsonKey(std::string&&) = delete;

  constexpr std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};

class Json {
 public:
  // The variants, in the order of the alternatives held.
  enum class Kind : std::uint8_t { Bool, Int, Str, Arr, Obj, Map };

  // false.
  Json() = default;

  // Scalars. Any integer type converts; an unsigned value above the signed
  // 64-bit range is a broken invariant and panics. char is refused (it is a
  // character, not a number), floating point has no place here, and neither
  // has any pointer other than a C string.
  Json(bool value) : value_(value) {}  // NOLINT(google-explicit-constructor)
  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  Json(T value) : value_(to_int(value)) {}  // NOLINT(google-explicit-constructor)
  Json(char) = delete;
  template <std::floating_point T>
  Json(T) = delete;
  Json(const char* text) : value_(std::string(text)) {}        // NOLINT(google-explicit-constructor)
  Json(std::string_view text) : value_(std::string(text)) {}   // NOLINT(google-explicit-constructor)
  Json(std::string text) : value_(std::move(text)) {}          // NOLINT(google-explicit-constructor)
  template <class T>
  Json(const T*) = delete;
  Json(std::nullptr_t) = delete;

  // Containers, taken whole.
  Json(JsonArr elements) : value_(std::move(elements)) {}  // NOLINT(google-explicit-constructor)
  Json(JsonObj pairs) : value_(std::move(pairs)) {}        // NOLINT(google-explicit-constructor)
  Json(JsonMap pairs) : value_(std::move(pairs)) {}        // NOLINT(google-explicit-constructor)

  // Empty containers with room reserved for `capacity` entries.
  static Json array(std::size_t capacity = 0);
  static Json object(std::size_t capacity = 0);
  static Json map(std::size_t capacity = 0);

  Kind kind() const { return static_cast<Kind>(value_.index()); }

  // Appends an element to an Arr. The element is made in place from anything
  // a Json can be made from.
  template <class T = Json>
  Json& push(T&& element) & {
    as_arr().emplace_back(std::forward<T>(element));
    return *this;
  }
  template <class T = Json>
  Json&& push(T&& element) && {
    return std::move(push(std::forward<T>(element)));
  }

  // Appends a pair to an Obj; the key is not copied.
  template <class T = Json>
  Json& add(JsonKey key, T&& value) & {
    as_obj().emplace_back(std::piecewise_construct, std::forward_as_tuple(key.text()),
                          std::forward_as_tuple(std::forward<T>(value)));
    return *this;
  }
  template <class T = Json>
  Json&& add(JsonKey key, T&& value) && {
    return std::move(add(key, std::forward<T>(value)));
  }

  // Appends a pair to a Map; the key is owned.
  template <class T = Json>
  Json& add_owned(std::string key, T&& value) & {
    as_map().emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                          std::forward_as_tuple(std::forward<T>(value)));
    return *this;
  }
  template <class T = Json>
  Json&& add_owned(std::string key, T&& value) && {
    return std::move(add_owned(std::move(key), std::forward<T>(value)));
  }

  // Reserves room in an Arr, Obj or Map.
  void reserve(std::size_t capacity);
  // Number of elements or pairs of an Arr, Obj or Map.
  std::size_t size() const;

  // The payload of the variant in hand; asking for another variant panics.
  bool as_bool() const;
  std::int64_t as_int() const;
  const std::string& as_str() const;
  const JsonArr& as_arr() const;
  JsonArr& as_arr();
  const JsonObj& as_obj() const;
  JsonObj& as_obj();
  const JsonMap& as_map() const;
  JsonMap& as_map();

  // The value of the first pair with this key in an Obj or Map; nullptr when
  // there is no such pair or this is not an object.
  const Json* find(std::string_view key) const;

 private:
  template <class T>
  static std::int64_t to_int(T value) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
      if (value > static_cast<T>(INT64_MAX)) panic("json number out of range");
    }
    return static_cast<std::int64_t>(value);
  }

  std::variant<bool, std::int64_t, std::string, JsonArr, JsonObj, JsonMap> value_;
};

// Appends the compact text of `value` to `out`, which may already hold text.
// Strings are written with '"', '\\', tab, line feed and carriage return as
// \" \\ \t \n \r, every other byte below 0x20 as \u00XX (lower-case hex), and
// every other byte, including 0x7F, '/' and the bytes of non-ASCII characters,
// as it is. Never fails.
void json_write(const Json& value, std::string& out);

// json_write into a new text.
std::string json_to_string(const Json& value);

// Appends (copy of key, Int number) to a Map list kept by the caller.
void json_object_push(JsonMap& map, std::string_view key, std::int64_t number);

// Appends (copy of key, Str text) to a Map list kept by the caller.
void json_object_push_str(JsonMap& map, std::string_view key, std::string text);

// Adds one field at the end of an object that already stands as compact JSON
// text: {"ok":true} with key "k" becomes {"ok":true,"k":VALUE}, and {} becomes
// {"k":VALUE}. A text that is empty or does not end in '}' comes back unchanged.
std::string json_text_add_field(std::string object_text, std::string_view key, Json value);

}  // namespace velmora
