#include "core/base/fx.h"

#include "core/base/text.h"

namespace velmora {

namespace {

std::int32_t low_32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::optional<Fx> parse_ratio(std::string_view text, std::size_t slash) {
  const auto n = parse_whole(text.substr(0, slash));
  const auto m = parse_whole(text.substr(slash + 1));
  if (!n || !m || *m <= 0) return std::nullopt;
  return Fx::from_raw(low_32(static_cast<std::int64_t>(*n) * 256 / *m));
}

// A decimal A.F. The sum A × 10^k + F wraps at 32 bits; it is computed
// unsigned so that the wrap is defined.
std::optional<Fx> parse_decimal(std::string_view text, std::size_t point) {
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = text.substr(point + 1);
  if (whole.empty() || fraction.empty() || fraction.size() > 9) return std::nullopt;
  const auto a = parse_whole(whole);
  const auto f = parse_whole(fraction);
  if (!a || !f || fraction.front() == '-') return std::nullopt;
  std::uint32_t scale = 1;
  for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10;
  // A negative decimal takes its fraction away: -1.5 is -1 × 10 - 5.
  const std::uint32_t fraction_part =
      whole.front() == '-' ? 0u - static_cast<std::uint32_t>(*f) : static_cast<std::uint32_t>(*f);
  const std::uint32_t sum = static_cast<std::uint32_t>(*a) * scale + fraction_part;
  const std::int64_t s = static_cast<std::int32_t>(sum);
  return Fx::from_raw(low_32(s * 256 / static_cast<std::int64_t>(scale)));
}

}  // namespace

std::optional<Fx> parse_fx(std::string_view text) {
  if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
    return parse_ratio(text, slash);
  }
  if (const std::size_t point = text.find('.'); point != std::string_view::npos) {
    return parse_decimal(text, point);
  }
  if (const auto n = parse_whole(text)) return Fx::from_int(*n);
  return std::nullopt;
}

}  // namespace velmora
