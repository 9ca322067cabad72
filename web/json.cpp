#include "web/json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace velmora {

namespace {

// For each byte: 0 when it is written as it is, the letter of its two-byte
// escape, or 'u' for the six-byte \u00XX form.
constexpr std::array<char, 256> escape_table = [] {
  std::array<char, 256> table{};
  for (std::size_t c = 0; c < 0x20; ++c) table[c] = 'u';
  table['"'] = '"';
  table['\\'] = '\\';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\r'] = 'r';
  return table;
}();

// The next size of a text being written that needs `least` bytes.
std::size_t grown_size(const std::string& text, std::size_t least) {
  const std::size_t doubled = std::max(least, text.size() * 2);
  return least <= text.capacity() ? std::min(doubled, text.capacity()) : doubled;
}

// Appends to a text through a pointer into its storage: the text is grown in
// large steps and cut back to what was written when the writer goes, so that
// each piece costs a bounds check and a copy rather than a call into the string.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out), end_(out.size()) { refresh(); }
  ~Writer() { out_.resize(end_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void write(const Json& value);

 private:
  char* room(std::size_t n) {
    if (size_ - end_ < n) [[unlikely]] grow(n);
    return data_ + end_;
  }
  // Kept out of line so that room stays small enough to inline. The text
  // doubles, within the capacity reserved while that is enough: every byte
  // resize adds is zeroed first, so a jump to a large capacity would cost.
  [[gnu::noinline]] void grow(std::size_t n) {
    out_.resize(grown_size(out_, end_ + n + 256));
    refresh();
  }
  void refresh() {
    data_ = out_.data();
    size_ = out_.size();
  }
  void put(char c) {
    *room(1) = c;
    ++end_;
  }
  void put(const char* bytes, std::size_t n) {
    std::memcpy(room(n), bytes, n);
    end_ += n;
  }

  void string(std::string_view text);
  void escaped(std::string_view text, std::size_t first_escape);
  void integer(std::int64_t number);
  void array(const JsonArr& elements);
  template <class Pairs>
  void pairs(const Pairs& pairs);

  std::string& out_;
  char* data_ = nullptr;   // out_'s storage
  std::size_t size_ = 0;   // out_'s size, spare room included
  std::size_t end_;        // end of the written text
};

std::size_t first_escape(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (escape_table[static_cast<unsigned char>(text[i])] != 0) return i;
  }
  return text.size();
}

void Writer::string(std::string_view text) {
  const std::size_t plain = first_escape(text);
  if (plain < text.size()) return escaped(text, plain);
  char* at = room(text.size() + 2);
  at[0] = '"';
  if (!text.empty()) std::memcpy(at + 1, text.data(), text.size());
  at[text.size() + 1] = '"';
  end_ += text.size() + 2;
}

// The slow road, for a text with at least one byte to escape.
void Writer::escaped(std::string_view text, std::size_t first) {
  static constexpr char hex[] = "0123456789abcdef";
  put('"');
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = first; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const char escape = escape_table[byte];
    if (escape == 0) continue;
    put(text.data() + run, i - run);
    run = i + 1;
    if (escape == 'u') {
      const char unit[6] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
      put(unit, sizeof unit);
    } else {
      const char pair[2] = {'\\', escape};
      put(pair, sizeof pair);
    }
  }
  put(text.data() + run, text.size() - run);
  put('"');
}

void Writer::integer(std::int64_t number) {
  constexpr std::size_t longest = 20;  // "-9223372036854775808"
  char* at = room(longest);
  end_ += static_cast<std::size_t>(std::to_chars(at, at + longest, number).ptr - at);
}

void Writer::array(const JsonArr& elements) {
  put('[');
  bool first = true;
  for (const Json& element : elements) {
    if (!first) put(',');
    first = false;
    write(element);
  }
  put(']');
}

template <class Pairs>
void Writer::pairs(const Pairs& pairs) {
  put('{');
  bool first = true;
  for (const auto& [key, element] : pairs) {
    if (!first) put(',');
    first = false;
    string(key);
    put(':');
    write(element);
  }
  put('}');
}

void Writer::write(const Json& value) {
  switch (value.kind()) {
    case Json::Kind::Bool:
      if (value.as_bool()) {
        put("true", 4);
      } else {
        put("false", 5);
      }
      return;
    case Json::Kind::Int: return integer(value.as_int());
    case Json::Kind::Str: return string(value.as_str());
    case Json::Kind::Arr: return array(value.as_arr());
    case Json::Kind::Obj: return pairs(value.as_obj());
    case Json::Kind::Map: return pairs(value.as_map());
  }
}

[[noreturn]] void wrong_kind(const char* wanted) {
  panic(std::string("json value is not ") + wanted);
}

}  // namespace

Json Json::array(std::size_t capacity) {
  JsonArr elements;
  elements.reserve(capacity);
  return Json(std::move(elements));
}

Json Json::object(std::size_t capacity) {
  JsonObj pairs;
  pairs.reserve(capacity);
  return Json(std::move(pairs));
}

Json Json::map(std::size_t capacity) {
  JsonMap pairs;
  pairs.reserve(capacity);
  return Json(std::move(pairs));
}

void Json::reserve(std::size_t capacity) {
  switch (kind()) {
    case Kind::Arr: return std::get_if<JsonArr>(&value_)->reserve(capacity);
    case Kind::Obj: return std::get_if<JsonObj>(&value_)->reserve(capacity);
    case Kind::Map: return std::get_if<JsonMap>(&value_)->reserve(capacity);
    default: wrong_kind("a list");
  }
}

std::size_t Json::size() const {
  switch (kind()) {
    case Kind::Arr: return std::get_if<JsonArr>(&value_)->size();
    case Kind::Obj: return std::get_if<JsonObj>(&value_)->size();
    case Kind::Map: return std::get_if<JsonMap>(&value_)->size();
    default: wrong_kind("a list");
  }
}

bool Json::as_bool() const {
  if (const bool* value = std::get_if<bool>(&value_)) return *value;
  wrong_kind("a boolean");
}

std::int64_t Json::as_int() const {
  if (const std::int64_t* value = std::get_if<std::int64_t>(&value_)) return *value;
  wrong_kind("an integer");
}

const std::string& Json::as_str() const {
  if (const std::string* value = std::get_if<std::string>(&value_)) return *value;
  wrong_kind("a string");
}

const JsonArr& Json::as_arr() const {
  if (const JsonArr* value = std::get_if<JsonArr>(&value_)) return *value;
  wrong_kind("an array");
}

JsonArr& Json::as_arr() {
  if (JsonArr* value = std::get_if<JsonArr>(&value_)) return *value;
  wrong_kind("an array");
}

const JsonObj& Json::as_obj() const {
  if (const JsonObj* value = std::get_if<JsonObj>(&value_)) return *value;
  wrong_kind("an object");
}

JsonObj& Json::as_obj() {
  if (JsonObj* value = std::get_if<JsonObj>(&value_)) return *value;
  wrong_kind("an object");
}

const JsonMap& Json::as_map() const {
  if (const JsonMap* value = std::get_if<JsonMap>(&value_)) return *value;
  wrong_kind("a map");
}

JsonMap& Json::as_map() {
  if (JsonMap* value = std::get_if<JsonMap>(&value_)) return *value;
  wrong_kind("a map");
}

const Json* Json::find(std::string_view key) const {
  if (const JsonObj* pairs = std::get_if<JsonObj>(&value_)) {
    for (const auto& pair : *pairs) {
      if (pair.first == key) return &pair.second;
    }
  } else if (const JsonMap* pairs = std::get_if<JsonMap>(&value_)) {
    for (const auto& pair : *pairs) {
      if (pair.first == key) return &pair.second;
    }
  }
  return nullptr;
}

void json_write(const Json& value, std::string& out) { Writer(out).write(value); }

std::string json_to_string(const Json& value) {
  std::string out;
  json_write(value, out);
  return out;
}

void json_object_push(JsonMap& map, std::string_view key, std::int64_t number) {
  map.emplace_back(std::string(key), Json(number));
}

void json_object_push_str(JsonMap& map, std::string_view key, std::string text) {
  map.emplace_back(std::string(key), Json(std::move(text)));
}

std::string json_text_add_field(std::string object_text, std::string_view key, Json value) {
  if (object_text.empty() || object_text.back() != '}') return object_text;
  const bool has_fields = !(object_text.size() >= 2 && object_text[object_text.size() - 2] == '{');
  if (has_fields) {
    object_text.back() = ',';
  } else {
    object_text.pop_back();
  }
  // The pair is written as a one-pair object whose opening brace is cut off.
  const std::size_t pair_start = object_text.size();
  json_write(Json::object(1).add(key, std::move(value)), object_text);
  object_text.erase(pair_start, 1);
  return object_text;
}

}  // namespace velmora
