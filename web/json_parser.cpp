#include "web/json_parser.h"

#include "core/base/text.h"

namespace velmora {

namespace {

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_number_char(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

bool at_end(const JsonCursor& cursor) { return cursor.pos >= cursor.text.size(); }

char current(const JsonCursor& cursor) { return cursor.text[cursor.pos]; }

// True, and the cursor moved past it, when the text continues with `word`.
bool take_word(JsonCursor& cursor, std::string_view word) {
  if (cursor.text.substr(cursor.pos, word.size()) != word) return false;
  cursor.pos += word.size();
  return true;
}

// An optional "+" or "-", then one or more decimal digits, within the signed
// 64-bit range. The magnitude is checked before every step, so any number of
// digits is safe.
std::optional<std::int64_t> read_integer(std::string_view part) {
  bool negative = false;
  if (!part.empty() && (part[0] == '+' || part[0] == '-')) {
    negative = part[0] == '-';
    part.remove_prefix(1);
  }
  if (part.empty()) return std::nullopt;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  std::uint64_t magnitude = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  if (magnitude == 9223372036854775808ULL) return INT64_MIN;
  return -static_cast<std::int64_t>(magnitude);
}

std::optional<JsonValue> read_number(JsonCursor& cursor) {
  const std::size_t start = cursor.pos;
  while (!at_end(cursor) && is_number_char(current(cursor))) ++cursor.pos;
  const std::string_view token = cursor.text.substr(start, cursor.pos - start);
  const std::optional<std::int64_t> number = read_integer(token.substr(0, token.find_first_of(".eE")));
  if (!number) return std::nullopt;
  return JsonValue(*number);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four bytes of a \u escape as an unsigned hexadecimal number; a leading
// "+" is allowed, as in any unsigned number.
std::optional<std::uint32_t> read_code_unit(std::string_view digits) {
  if (digits[0] == '+') digits.remove_prefix(1);
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = hex_digit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// Appends a code point below U+10000 as UTF-8; a surrogate becomes "?".
void append_code_unit(std::uint32_t unit, std::string& out) {
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    out.push_back('?');
  } else if (unit < 0x80) {
    out.push_back(static_cast<char>(unit));
  } else if (unit < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
    out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
  }
}

// Reads the escape after a backslash (the cursor past the backslash).
bool read_escape(JsonCursor& cursor, std::string& out) {
  if (at_end(cursor)) return false;
  const char letter = cursor.text[cursor.pos++];
  switch (letter) {
    case 'b': out.push_back('\b'); return true;
    case 'f': out.push_back('\f'); return true;
    case 'n': out.push_back('\n'); return true;
    case 'r': out.push_back('\r'); return true;
    case 't': out.push_back('\t'); return true;
    case 'u': break;
    default: out.push_back(letter); return true;
  }
  if (cursor.text.size() - cursor.pos < 4) return false;
  const std::optional<std::uint32_t> unit = read_code_unit(cursor.text.substr(cursor.pos, 4));
  if (!unit) return false;
  cursor.pos += 4;
  append_code_unit(*unit, out);
  return true;
}

std::optional<JsonValue> parse_value(JsonCursor& cursor, std::size_t depth);

// `depth` is the number of arrays and objects open around the elements.
std::optional<JsonValue> parse_array(JsonCursor& cursor, std::size_t depth) {
  ++cursor.pos;  // [
  JsonValue::Array elements;
  json_skip_white(cursor);
  if (!at_end(cursor) && current(cursor) == ']') {
    ++cursor.pos;
    return JsonValue(std::move(elements));
  }
  for (;;) {
    std::optional<JsonValue> element = parse_value(cursor, depth);
    if (!element) return std::nullopt;
    elements.push_back(std::move(*element));
    json_skip_white(cursor);
    if (at_end(cursor)) return std::nullopt;
    const char next = cursor.text[cursor.pos++];
    if (next == ']') return JsonValue(std::move(elements));
    if (next != ',') return std::nullopt;
  }
}

std::optional<JsonValue> parse_object(JsonCursor& cursor, std::size_t depth) {
  ++cursor.pos;  // {
  JsonValue::Object pairs;
  json_skip_white(cursor);
  if (!at_end(cursor) && current(cursor) == '}') {
    ++cursor.pos;
    return JsonValue(std::move(pairs));
  }
  for (;;) {
    json_skip_white(cursor);
    std::optional<std::string> key = json_parse_string(cursor);
    if (!key) return std::nullopt;
    json_skip_white(cursor);
    if (at_end(cursor) || current(cursor) != ':') return std::nullopt;
    ++cursor.pos;
    std::optional<JsonValue> value = parse_value(cursor, depth);
    if (!value) return std::nullopt;
    pairs.emplace_back(std::move(*key), std::move(*value));
    json_skip_white(cursor);
    if (at_end(cursor)) return std::nullopt;
    const char next = cursor.text[cursor.pos++];
    if (next == '}') return JsonValue(std::move(pairs));
    if (next != ',') return std::nullopt;
  }
}

// `depth` is the number of arrays and objects already open around this value.
std::optional<JsonValue> parse_value(JsonCursor& cursor, std::size_t depth) {
  json_skip_white(cursor);
  if (at_end(cursor)) return std::nullopt;
  switch (current(cursor)) {
    case '"': {
      std::optional<std::string> text = json_parse_string(cursor);
      if (!text) return std::nullopt;
      return JsonValue(std::move(*text));
    }
    case '[':
      if (depth >= json_max_depth) return std::nullopt;
      return parse_array(cursor, depth + 1);
    case '{':
      if (depth >= json_max_depth) return std::nullopt;
      return parse_object(cursor, depth + 1);
    case 'n':
      if (take_word(cursor, "null")) return JsonValue();
      return std::nullopt;
    case 't':
      if (take_word(cursor, "true")) return JsonValue(true);
      return std::nullopt;
    case 'f':
      if (take_word(cursor, "false")) return JsonValue(false);
      return std::nullopt;
    default:
      return read_number(cursor);
  }
}

}  // namespace

std::optional<bool> JsonValue::as_bool() const {
  if (const bool* value = std::get_if<bool>(&value_)) return *value;
  return std::nullopt;
}

std::optional<std::int64_t> JsonValue::as_num() const {
  if (const std::int64_t* value = std::get_if<std::int64_t>(&value_)) return *value;
  return std::nullopt;
}

const std::string* JsonValue::as_str() const { return std::get_if<std::string>(&value_); }

const JsonValue::Array* JsonValue::as_arr() const { return std::get_if<Array>(&value_); }

const JsonValue::Object* JsonValue::as_obj() const { return std::get_if<Object>(&value_); }

const JsonValue* JsonValue::get(std::string_view key) const {
  const Object* pairs = as_obj();
  if (pairs == nullptr) return nullptr;
  for (const auto& pair : *pairs) {
    if (pair.first == key) return &pair.second;
  }
  return nullptr;
}

bool operator==(const JsonValue& a, const JsonValue& b) { return a.value_ == b.value_; }

void json_skip_white(JsonCursor& cursor) {
  while (!at_end(cursor) && is_white(current(cursor))) ++cursor.pos;
}

std::optional<JsonValue> json_parse(JsonCursor& cursor) { return parse_value(cursor, 0); }

std::optional<std::string> json_parse_string(JsonCursor& cursor) {
  if (at_end(cursor) || current(cursor) != '"') return std::nullopt;
  ++cursor.pos;
  const std::string_view text = cursor.text;
  std::string out;
  for (;;) {
    const std::size_t stop = text.find_first_of("\"\\", cursor.pos);
    if (stop == std::string_view::npos) return std::nullopt;
    out.append(text.data() + cursor.pos, stop - cursor.pos);
    cursor.pos = stop + 1;
    if (text[stop] == '"') break;
    if (!read_escape(cursor, out)) return std::nullopt;
  }
  if (!valid_utf8(out)) return std::nullopt;
  return out;
}

}  // namespace velmora
