// The services the online server runs beside its loop: the metrics HTTP
// server on the metrics port, and the Agones game-server lifecycle (health
// pings, ready, the wait for allocation, shutdown) through the SDK sidecar.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include "web/threads.h"

#include "server/online/agones.h"
#include "server/online/online_hooks.h"
#include "web/metrics.h"
#include "web/sockets.h"

namespace velmora {

class OnlineServices : public OnlineHooks {
 public:
  // `agones_base` is where the sidecar answers (agones_base_from_environment
  // for the program); it is used only with --agones.
  // The metrics server's connection threads come from `threads`.
  explicit OnlineServices(std::string agones_base, ThreadSpawner& threads = system_threads());
  ~OnlineServices() override;
  OnlineServices(const OnlineServices&) = delete;
  OnlineServices& operator=(const OnlineServices&) = delete;

  // With a metrics port: serves "/metrics" on it from a thread of its own; a
  // port that cannot be bound is logged and the server runs on without metrics.
  // The error: that thread cannot start.
  Status start_services(const OnlineConfig& config) override;
  // Stops the health pings and the metrics server and waits for their threads.
  void stop_services() override;
  // With --agones: pings, "/ready", then the line built from the allocation's
  // annotations; a failed "/ready", or a stop asked for (stop_requested)
  // during the wait, is the error. Else the configured line.
  Result<std::string> opening_request(const OnlineConfig& config) override;
  // Rebuilds the text the metrics server hands out.
  void metrics(const MetricsStats& stats, const StageResults& results) override;
  // With --agones: "/shutdown", a failure logged.
  void stopping() override;

  // The port the metrics server listens on, once it does.
  std::optional<std::uint16_t> metrics_port() const;

 private:
  std::string agones_base_;
  ThreadSpawner& threads_;
  bool agones_ = false;
  AgonesHealth health_;
  std::shared_ptr<MetricsText> text_;
  std::unique_ptr<TcpListener> metrics_listener_;
  Thread metrics_thread_;  // last: stopped before what it serves from
};

}  // namespace velmora
