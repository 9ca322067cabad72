#include "web/metrics.h"

#include <utility>

namespace velmora {

namespace {

struct Family {
  const char* name;
  const char* type;
  const char* help;
  std::uint64_t MetricsStats::*value;
};

constexpr Family game_families[] = {
    {"velmora_game_players", "gauge", "Players connected.", &MetricsStats::players},
    {"velmora_game_seconds", "gauge", "Seconds since the game started.", &MetricsStats::game_seconds},
    {"velmora_game_ticks_total", "counter", "Ticks simulated.", &MetricsStats::ticks},
    {"velmora_game_tick_microseconds_max", "gauge", "Slowest tick of the last second.",
     &MetricsStats::slowest_tick_us},
    {"velmora_game_inputs_guessed_total", "counter", "Player inputs that came too late and were guessed.",
     &MetricsStats::inputs_guessed},
    {"velmora_game_packets_received_total", "counter", "UDP packets received.", &MetricsStats::packets_received},
    {"velmora_game_bytes_received_total", "counter", "UDP bytes received.", &MetricsStats::bytes_received},
    {"velmora_game_packets_sent_total", "counter", "UDP packets sent.", &MetricsStats::packets_sent},
    {"velmora_game_bytes_sent_total", "counter", "UDP bytes sent.", &MetricsStats::bytes_sent},
};

constexpr const char* stage_results_name = "velmora_stage_results_total";

void write_family_head(std::string& text, std::string_view name, std::string_view type, std::string_view help) {
  text.append("# HELP ").append(name).append(" ").append(help).append("\n");
  text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void write_label(std::string& text, std::string_view label, std::string_view value) {
  text.append(label).append("=\"").append(escape_label_value(value)).append("\"");
}

}  // namespace

std::string escape_label_value(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string rebuild_metrics(const MetricsStats& stats, const StageResults& results) {
  std::string text;
  for (const Family& family : game_families) {
    write_family_head(text, family.name, family.type, family.help);
    text.append(family.name).append(" ").append(std::to_string(stats.*family.value)).append("\n");
  }
  write_family_head(text, stage_results_name, "counter",
                    "Players at the end of a stage, by stage, result and class.");
  for (const auto& [key, count] : results) {
    const auto& [stage, result, class_name] = key;
    text.append(stage_results_name).append("{");
    write_label(text, "stage", stage);
    text.append(",");
    write_label(text, "result", result);
    text.append(",");
    write_label(text, "class", class_name);
    text.append("} ").append(std::to_string(count)).append("\n");
  }
  return text;
}

void count_stage_result(StageResults& results, std::string_view stage, std::string_view result,
                        std::string_view class_name) {
  ++results[{std::string(stage), std::string(result), std::string(class_name)}];
}

void MetricsText::replace(std::string text) {
  std::lock_guard lock(mutex_);
  text_.swap(text);
}

std::string MetricsText::copy() const {
  std::lock_guard lock(mutex_);
  return text_;
}

HttpHandler metrics_handler(std::shared_ptr<const MetricsText> text) {
  return [text = std::move(text)](const HttpRequest& request) {
    if (request.path == "/metrics") return HttpResponse{200, std::string(http_text_type), text->copy()};
    return HttpResponse{404, std::string(http_text_type), "not found\n"};
  };
}

}  // namespace velmora
