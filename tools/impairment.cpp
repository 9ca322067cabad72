#include "tools/impairment.h"

#include <algorithm>

#include "core/base/text.h"

namespace velmora {

namespace {

std::optional<Nanos> parse_milliseconds(std::string_view text) {
  const auto ms = parse_unsigned(text, 60'000);
  if (!ms) return std::nullopt;
  return std::chrono::milliseconds(*ms);
}

template <class T, class Read>
Status set_each_way(std::string_view option, std::string_view value, Read read, T Impairment::*field,
                    ImpairmentSettings& settings) {
  const auto both = parse_each_way<T>(value, read);
  if (!both) return error("bad value for --" + std::string(option) + ": " + std::string(value));
  settings.up.*field = both->first;
  settings.down.*field = both->second;
  return done();
}

}  // namespace

std::optional<std::uint32_t> parse_percent(std::string_view text) {
  const std::size_t dot = text.find('.');
  const auto whole = parse_unsigned(text.substr(0, dot), 100);
  if (!whole) return std::nullopt;
  std::uint32_t hundredths = 0;
  if (dot != std::string_view::npos) {
    const std::string_view fraction = text.substr(dot + 1);
    if (fraction.empty() || fraction.size() > 2) return std::nullopt;
    for (std::size_t i = 0; i < 2; ++i) {
      const char c = i < fraction.size() ? fraction[i] : '0';
      if (c < '0' || c > '9') return std::nullopt;
      hundredths = hundredths * 10 + static_cast<std::uint32_t>(c - '0');
    }
  }
  const std::uint64_t value = *whole * 100 + hundredths;
  if (value > chance_scale) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

Status set_impairment(ImpairmentSettings& settings, std::string_view option, std::string_view value) {
  if (option == "delay") return set_each_way<Nanos>(option, value, parse_milliseconds, &Impairment::delay, settings);
  if (option == "jitter") return set_each_way<Nanos>(option, value, parse_milliseconds, &Impairment::jitter, settings);
  if (option == "loss") return set_each_way<std::uint32_t>(option, value, parse_percent, &Impairment::loss, settings);
  if (option == "reorder")
    return set_each_way<std::uint32_t>(option, value, parse_percent, &Impairment::reorder, settings);
  if (option == "duplicate")
    return set_each_way<std::uint32_t>(option, value, parse_percent, &Impairment::duplicate, settings);
  return error("unknown option --" + std::string(option));
}

DatagramLine::DatagramLine(const Impairment& impairment, std::uint64_t seed)
    : impairment_(impairment), rng_(Rng::from_seed(seed)) {}

bool DatagramLine::draw(std::uint32_t chance) { return rng_.next() % chance_scale < chance; }

Nanos DatagramLine::draw_delay() {
  const std::uint64_t jitter_us = static_cast<std::uint64_t>(impairment_.jitter.count()) / 1000;
  const std::uint64_t spread = rng_.next() % (2 * jitter_us + 1);
  const Nanos delay = impairment_.delay + std::chrono::microseconds(spread) - std::chrono::microseconds(jitter_us);
  return std::max(delay, Nanos(0));
}

void DatagramLine::queue(Nanos due, Datagram datagram) {
  if (waiting_.size() >= max_waiting_datagrams) {
    ++counts_.overflowed;
    return;
  }
  waiting_.emplace(std::make_pair(due, order_++), std::move(datagram));
}

void DatagramLine::release_held(Nanos at) {
  if (!held_) return;
  queue(std::max(held_->first, at), std::move(held_->second));
  held_.reset();
}

void DatagramLine::push(Nanos now, std::string_view bytes, std::uint64_t route) {
  ++counts_.sent;
  // Every datagram draws the same values, so that one setting changed leaves
  // the draws of the others where they were.
  const bool lost = draw(impairment_.loss);
  const bool twice = draw(impairment_.duplicate);
  const bool reordered = draw(impairment_.reorder);
  const Nanos first_delay = draw_delay();
  const Nanos second_delay = draw_delay();
  if (lost) {
    ++counts_.lost;
    return;
  }
  for (int copy = 0; copy < (twice ? 2 : 1); ++copy) {
    Datagram datagram{std::string(bytes), route, now};
    const Nanos due = now + (copy == 0 ? first_delay : second_delay);
    if (held_) {
      queue(due, std::move(datagram));
      release_held(due + Nanos(1));  // right after this one
    } else if (reordered && copy == 0) {
      ++counts_.reordered;
      held_.emplace(due, std::move(datagram));
    } else {
      queue(due, std::move(datagram));
    }
  }
  if (twice) ++counts_.duplicated;
}

std::vector<Datagram> DatagramLine::take_due(Nanos now) {
  if (held_ && held_->first + reorder_hold_limit <= now) release_held(held_->first + reorder_hold_limit);
  std::vector<Datagram> due;
  while (!waiting_.empty() && waiting_.begin()->first.first <= now) {
    auto node = waiting_.extract(waiting_.begin());
    Datagram& datagram = node.mapped();
    const auto delay_us = static_cast<std::uint64_t>(std::max(now - datagram.sent, Nanos(0)).count() / 1000);
    ++counts_.delivered;
    counts_.delay_sum_us += delay_us;
    counts_.delay_max_us = std::max(counts_.delay_max_us, delay_us);
    due.push_back(std::move(datagram));
  }
  return due;
}

std::optional<Nanos> DatagramLine::next_due() const {
  std::optional<Nanos> next;
  if (!waiting_.empty()) next = waiting_.begin()->first.first;
  if (held_) {
    const Nanos release = held_->first + reorder_hold_limit;
    next = next ? std::min(*next, release) : release;
  }
  return next;
}

void StreamLine::push(Nanos now, std::string_view bytes) {
  if (bytes.empty() || end_) return;
  waiting_ += bytes.size();
  chunks_.emplace_back(now + delay_, std::string(bytes));
}

void StreamLine::end(Nanos now) {
  if (!end_) end_ = now + delay_;
}

void StreamLine::take_due(Nanos now, std::string& out) {
  while (!chunks_.empty() && chunks_.front().first <= now) {
    out += chunks_.front().second;
    waiting_ -= chunks_.front().second.size();
    chunks_.pop_front();
  }
}

std::optional<Nanos> StreamLine::next_due() const {
  if (!chunks_.empty()) return chunks_.front().first;
  return end_;
}

}  // namespace velmora
