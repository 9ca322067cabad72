#include "server/online/online_services.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "web/http_server.h"

namespace velmora {

OnlineServices::OnlineServices(std::string agones_base, ThreadSpawner& threads)
    : agones_base_(std::move(agones_base)), threads_(threads) {}

// The server stops the services on its way out, while a class built on this
// one (whose log calls the health thread makes) still stands; this is a
// last resort.
OnlineServices::~OnlineServices() { stop_services(); }

Status OnlineServices::start_services(const OnlineConfig& config) {
  agones_ = config.agones;
  if (!config.metrics_port) return done();
  auto listener = listen_tcp(config.bind, *config.metrics_port);
  if (!listener) {
    log_error("cannot bind the metrics port " + std::to_string(*config.metrics_port) + ": " + listener.message());
    return done();
  }
  text_ = std::make_shared<MetricsText>();
  metrics_listener_ = std::move(*listener);
  log_info("metrics on port " + std::to_string(metrics_listener_->port()));
  auto serving = start_thread(
      [listener = metrics_listener_.get(), handler = metrics_handler(text_), this](std::stop_token stop) {
        serve_http(*listener, handler, {}, stop, threads_, [this](std::string_view line) { log_error(line); });
      },
      service_stack_bytes, threads_);
  if (!serving) return error("cannot start the metrics thread: " + serving.message());
  metrics_thread_ = std::move(*serving);
  return done();
}

void OnlineServices::stop_services() {
  health_.stop();
  if (metrics_thread_.joinable()) {
    metrics_thread_.request_stop();
    metrics_thread_.join();
  }
}

Result<std::string> OnlineServices::opening_request(const OnlineConfig& config) {
  if (!config.agones) return config.opening;
  // A stop asked for while the server waits to be allocated ends the wait.
  std::stop_source stop;
  const auto watch_for_stop = [this, &stop](std::stop_token done) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    while (!done.stop_requested()) {
      if (stop_requested()) {
        stop.request_stop();
        return;
      }
      woken.wait_for(lock, done, std::chrono::milliseconds(50), [] { return false; });
    }
  };
  auto watching = start_thread(watch_for_stop, service_stack_bytes, threads_);
  if (!watching) return error("cannot start a thread: " + watching.message());
  Thread& watch = *watching;
  auto opening =
      agones_start(health_, agones_base_, [this](std::string_view line) { log_info(line); }, stop.get_token());
  watch.request_stop();
  watch.join();
  if (!opening) {
    health_.stop();
    return opening;
  }
  log_info("allocated: " + *opening);
  return opening;
}

void OnlineServices::metrics(const MetricsStats& stats, const StageResults& results) {
  if (text_) text_->replace(rebuild_metrics(stats, results));
}

void OnlineServices::stopping() {
  if (!agones_) return;
  if (auto shutdown = agones_post(agones_base_, "/shutdown"); !shutdown) log_error("agones: " + shutdown.message());
}

std::optional<std::uint16_t> OnlineServices::metrics_port() const {
  if (!metrics_listener_) return std::nullopt;
  return metrics_listener_->port();
}

}  // namespace velmora
