#include "web/error_reporter.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <exception>

#include "core/base/text.h"
#include "web/http_client.h"
#include "web/http_wire.h"

namespace velmora {

namespace {

constexpr std::string_view dsn_not_http =
    "SENTRY_DSN must be http:// (GlitchTip's address inside the cluster): https needs TLS, not on the standard library";
constexpr std::string_view dsn_no_key = "SENTRY_DSN has no key";
constexpr std::string_view dsn_no_project = "SENTRY_DSN has no project id";
constexpr std::string_view dsn_malformed = "SENTRY_DSN is not http://KEY@HOST/PROJECT_ID";
constexpr std::size_t reply_excerpt_characters = 200;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view s) {
  for (char c : s) {
    if (!is_digit(c)) return false;
  }
  return !s.empty();
}

// Visible ASCII: nothing that could end a request line or a header.
bool all_visible(std::string_view s, std::string_view refused = "") {
  for (char c : s) {
    if (c < 0x21 || c > 0x7E || refused.find(c) != std::string_view::npos) return false;
  }
  return true;
}

bool host_name_char(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_';
}

bool ipv6_char(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

// A port of one to five digits from 1 to 65535.
bool valid_port(std::string_view s) {
  if (s.size() > 5 || !all_digits(s)) return false;
  const auto port = parse_unsigned(s, 65535);
  return port && *port > 0;
}

// HOST as "host:port": a bracketed IPv6 address splits after its "]", a name
// at its last ":"; without a port the collector is on port 80. Empty when the
// host cannot be reached as written.
std::string host_with_port(std::string_view host) {
  std::string_view name = host;
  std::string_view port;
  bool has_port = false;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos || close == 1) return "";
    for (char c : host.substr(1, close - 1)) {
      if (!ipv6_char(c)) return "";
    }
    name = host.substr(0, close + 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return "";
      port = rest.substr(1);
      has_port = true;
    }
  } else {
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos) {
      name = host.substr(0, colon);
      port = host.substr(colon + 1);
      has_port = true;
    }
    if (name.empty()) return "";
    for (char c : name) {
      if (!host_name_char(c)) return "";
    }
  }
  if (has_port && !valid_port(port)) return "";
  return std::string(name) + ":" + std::string(has_port ? port : "80");
}

// The body of a refusal, trimmed and cut to its first 200 characters.
std::string reply_excerpt(const std::string& body) {
  const std::string text = utf8_lossy(body);
  const std::string_view trimmed = trim_white(text);
  std::size_t end = 0;
  std::size_t characters = 0;
  while (end < trimmed.size() && characters < reply_excerpt_characters) {
    ++end;
    while (end < trimmed.size() && (static_cast<unsigned char>(trimmed[end]) & 0xC0) == 0x80) ++end;
    ++characters;
  }
  return std::string(trimmed.substr(0, end));
}

// ---- Process-wide state ----

std::atomic<Reporter*> process_reporter{nullptr};
std::atomic<PanicHook> previous_panic_hook{nullptr};
std::atomic<std::terminate_handler> previous_terminate{nullptr};
thread_local std::string thread_name;

std::string current_exception_text() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return "a panic";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    return e.what();
  } catch (const std::string& text) {
    return text;
  } catch (const char* text) {
    return text ? text : "";
  } catch (...) {
  }
  return "a panic";
}

// Posts a fatal event for the panic from this thread, past the queue.
void report_panic(std::string_view message, const PanicPlace& place) {
  Reporter* reporter = active_reporter();
  if (!reporter) return;
  const std::string label = "thread " + (thread_name.empty() ? std::string("unnamed") : thread_name);
  const std::string_view text = clip_message(message);
  const std::string envelope =
      reporter->event_envelope("fatal", text, EventExtra{"exception", panic_exception(text, label, place)});
  const Status sent = reporter->send_envelope(envelope);
  if (!sent) write_log_line("sentry: " + sent.message());
}

// An exception that nobody caught, on any thread, or a call of std::terminate.
[[noreturn]] void on_terminate() {
  static std::atomic<bool> entered{false};
  if (!entered.exchange(true)) report_panic(current_exception_text(), PanicPlace{});
  if (std::terminate_handler previous = previous_terminate.load()) previous();
  std::abort();
}

}  // namespace

std::string_view clip_message(std::string_view message) {
  if (message.size() <= reported_message_bytes) return message;
  std::size_t end = reported_message_bytes;
  while (end > 0 && (static_cast<unsigned char>(message[end]) & 0xC0) == 0x80) --end;
  return message.substr(0, end);
}

// ---- Configuration ----

std::optional<std::string> env_value(const char* raw) {
  if (!raw) return std::nullopt;
  const std::string_view text(raw);
  if (!valid_utf8(text)) return std::nullopt;
  const std::string_view trimmed = trim_white(text);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

std::optional<std::string> read_env(const char* name) { return env_value(std::getenv(name)); }

Result<Dsn> parse_dsn(std::string_view dsn) {
  constexpr std::string_view scheme = "http://";
  if (dsn.substr(0, scheme.size()) != scheme) return error(std::string(dsn_not_http));
  const std::string_view rest = dsn.substr(scheme.size());
  const std::size_t at = rest.find('@');
  if (at == std::string_view::npos) return error(std::string(dsn_no_key));
  const std::string_view user = rest.substr(0, at);
  const std::string_view key = user.substr(0, user.find(':'));
  const std::string_view after = rest.substr(at + 1);
  const std::size_t slash = after.find('/');
  if (slash == std::string_view::npos) return error(std::string(dsn_no_project));
  const std::string_view host = after.substr(0, slash);
  std::string_view path = after.substr(slash + 1);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  std::string_view project = path;
  std::string prefix;
  if (const std::size_t last = path.rfind('/'); last != std::string_view::npos) {
    project = path.substr(last + 1);
    prefix = "/" + std::string(path.substr(0, last));
  }
  // The key goes into a header and the prefix into the request line: only
  // visible ASCII, and no comma in the key, which separates the header's fields.
  const std::string authority = host_with_port(host);
  if (key.empty() || !all_visible(key, ",") || authority.empty() || !all_digits(project) || !all_visible(prefix)) {
    return error(std::string(dsn_malformed));
  }
  return Dsn{std::string(key), "http://" + authority + prefix + "/api/" + std::string(project) + "/envelope/"};
}

double parse_sample_rate(const std::optional<std::string>& text) {
  constexpr double fallback = 1.0;
  if (!text) return fallback;
  std::string_view digits = *text;
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '-') return fallback;
  }
  double rate = 0;
  const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), rate);
  if (end != digits.data() + digits.size() || digits.empty()) return fallback;
  // A number beyond the range of a double is still a number: it underflows
  // to 0 or overflows to an infinity, with its sign.
  if (failure == std::errc::result_out_of_range) return std::strtod(std::string(digits).c_str(), nullptr);
  if (failure != std::errc()) return fallback;
  return rate;
}

Result<std::optional<ReporterConfig>> reporter_config(const EnvReader& env) {
  const std::optional<std::string> dsn_text = env("SENTRY_DSN");
  if (!dsn_text) return std::optional<ReporterConfig>();
  Result<Dsn> dsn = parse_dsn(*dsn_text);
  if (!dsn) return error(dsn.message());
  ReporterConfig config;
  config.key = std::move(dsn->key);
  config.endpoint = std::move(dsn->endpoint);
  config.dsn = *dsn_text;
  config.release = env("SENTRY_RELEASE").value_or("some-velmora@" + std::string(reporter_version));
  config.environment = env("SENTRY_ENVIRONMENT").value_or("production");
  config.server_name = env("HOSTNAME").value_or("");
  config.traces_sample_rate = parse_sample_rate(env("SENTRY_TRACES_SAMPLE_RATE"));
  return std::optional<ReporterConfig>(std::move(config));
}

// ---- Sending ----

std::string sentry_auth_header(std::string_view key) {
  return "Sentry sentry_version=7, sentry_key=" + std::string(key) + ", sentry_client=velmora/" +
         std::string(reporter_version);
}

Result<CollectorReply> http_collector_post(const std::string& url, const std::string& auth,
                                           const std::string& envelope) {
  Result<HttpReply> reply =
      http_request("POST", url, HttpHeader{"X-Sentry-Auth", auth},
                   HttpBody{"application/x-sentry-envelope", envelope}, collector_timeout_seconds);
  if (!reply) return error(reply.message());
  return CollectorReply{reply->status, std::move(reply->body)};
}

// ---- Reporter ----

Reporter::Reporter(ReporterConfig config, CollectorPost post, std::chrono::milliseconds flush_wait)
    : config_(std::move(config)), post_(std::move(post)), flush_wait_(flush_wait) {
  auto worker = start_thread([this] { work(); }, service_stack_bytes);
  if (worker) {
    worker_ = std::move(*worker);
  } else {
    worker_error_ = worker.message();
  }
}

Reporter::~Reporter() {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    closed_ = true;
  }
  queue_ready_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void Reporter::add_breadcrumb(std::string_view level, std::string_view message) {
  // The level is kept as a static text, whatever the caller's text lives on.
  const std::string_view kept = level == "error" ? std::string_view("error") : std::string_view("info");
  Breadcrumb crumb{rfc3339_timestamp(), std::string(clip_message(message)), kept};
  std::lock_guard<std::mutex> lock(ring_mutex_);
  if (ring_.size() >= breadcrumb_capacity) ring_.pop_front();
  ring_.push_back(std::move(crumb));
}

std::vector<Breadcrumb> Reporter::breadcrumbs() const {
  std::lock_guard<std::mutex> lock(ring_mutex_);
  return std::vector<Breadcrumb>(ring_.begin(), ring_.end());
}

std::string Reporter::event_envelope(std::string_view level, std::string_view message,
                                     std::optional<EventExtra> extra) const {
  const std::string event_id = random_hex_id(2);
  JsonObj fields = error_event_fields(level, clip_message(message), config_.logger, breadcrumbs(), std::move(extra));
  const Json event = sentry_event_header(config_, event_id, rfc3339_timestamp(), std::move(fields));
  return envelope_text(config_.dsn, event_id, rfc3339_timestamp(), "event", json_to_string(event));
}

void Reporter::capture_event(std::string envelope) {
  {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    ++pending_;
  }
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (!closed_ && queue_.size() < envelope_queue_capacity) {
      queue_.push_back(std::move(envelope));
      queued = true;
    }
  }
  if (queued) {
    queue_ready_.notify_one();
  } else {
    queue_done();
  }
}

Status Reporter::send_envelope(const std::string& envelope) const {
  Result<CollectorReply> reply = post_(config_.endpoint, sentry_auth_header(config_.key), envelope);
  if (!reply) return error(reply.message());
  if (reply->status >= 200 && reply->status <= 299) return done();
  return error("GlitchTip answered " + std::to_string(reply->status) + ": " + reply_excerpt(reply->body));
}

void Reporter::flush() {
  const auto deadline = std::chrono::steady_clock::now() + flush_wait_;
  std::unique_lock<std::mutex> lock(pending_mutex_);
  pending_done_.wait_until(lock, deadline, [this] { return pending_ == 0; });
}

std::size_t Reporter::pending() const {
  std::lock_guard<std::mutex> lock(pending_mutex_);
  return pending_;
}

void Reporter::work() {
  for (;;) {
    std::string envelope;
    {
      std::unique_lock<std::mutex> lock(queue_mutex_);
      queue_ready_.wait(lock, [this] { return closed_ || !queue_.empty(); });
      if (closed_) return;
      envelope = std::move(queue_.front());
      queue_.pop_front();
    }
    const Status sent = send_envelope(envelope);
    if (!sent) write_log_line("sentry: " + sent.message());
    queue_done();
  }
}

void Reporter::queue_done() {
  {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    --pending_;
  }
  pending_done_.notify_all();
}

// ---- The process-wide reporter ----

Result<bool> sentry_init() { return sentry_init_with(read_env, http_collector_post); }

Result<bool> sentry_init_with(const EnvReader& env, CollectorPost post) {
  Result<std::optional<ReporterConfig>> config = reporter_config(env);
  if (!config) {
    write_log_line("sentry: " + config.message());
    return false;
  }
  if (!*config) return false;
  auto* reporter = new Reporter(std::move(**config), std::move(post));
  if (!reporter->worker_error().empty()) {
    const std::string line = "sentry: cannot start the reporter's thread: " + reporter->worker_error();
    delete reporter;
    write_log_line(line);
    return error(line);
  }
  Reporter* expected = nullptr;
  if (!process_reporter.compare_exchange_strong(expected, reporter)) {
    delete reporter;
    return true;
  }
  if (thread_name.empty()) thread_name = "main";
  previous_panic_hook.store(set_panic_hook(&panic_hook));
  previous_terminate.store(std::set_terminate(&on_terminate));
  const ReporterConfig& c = reporter->config();
  write_log_line("sentry: " + c.logger + " to " + c.endpoint + " as " + c.release);
  return true;
}

Reporter* active_reporter() { return process_reporter.load(std::memory_order_acquire); }

double traces_sample_rate() {
  const Reporter* reporter = active_reporter();
  return reporter ? reporter->config().traces_sample_rate : 1.0;
}

void write_log_line(std::string_view message) {
  std::string line(message);
  line += '\n';
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

void log_info(std::string_view message) {
  write_log_line(message);
  add_breadcrumb("info", message);
}

void log_error(std::string_view message) {
  write_log_line(message);
  if (Reporter* reporter = active_reporter()) {
    reporter->capture_event(reporter->event_envelope("error", message));
    reporter->add_breadcrumb("error", message);
  }
}

void add_breadcrumb(std::string_view level, std::string_view message) {
  if (Reporter* reporter = active_reporter()) reporter->add_breadcrumb(level, message);
}

void capture_event(std::string envelope) {
  if (Reporter* reporter = active_reporter()) reporter->capture_event(std::move(envelope));
}

std::string sentry_event_json(std::string_view level, std::string_view message, std::optional<EventExtra> extra) {
  const Reporter* reporter = active_reporter();
  return reporter ? reporter->event_envelope(level, message, std::move(extra)) : std::string();
}

void sentry_flush() {
  if (Reporter* reporter = active_reporter()) reporter->flush();
}

void set_thread_name(std::string name) { thread_name = std::move(name); }

void panic_hook(std::string_view message, const PanicPlace& place) {
  if (PanicHook previous = previous_panic_hook.load()) previous(message, place);
  report_panic(message, place);
}

}  // namespace velmora
