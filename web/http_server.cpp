#include "web/http_server.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "core/base/text.h"
#include "web/http_wire.h"

namespace velmora {

namespace {

struct RequestHead {
  HttpRequest request;
  std::string_view target;
  std::uint64_t length = 0;
};

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

Status take_request_header(std::string_view line, RequestHead& head) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return done();
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = trim_white(line.substr(colon + 1));
  if (is_content_length(name)) {
    const auto length = parse_unsigned(value);
    if (!length) return error("a content length that is not a number");
    head.length = *length;
  }
  if (head.request.headers.size() < http_max_stored_headers) {
    head.request.headers.emplace_back(ascii_lower(trim_white(name)), std::string(value));
  }
  return done();
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Two bytes read as a hexadecimal byte value; a leading "+" is a sign.
std::optional<char> hex_byte(char a, char b) {
  if (a == '+') {
    const int low = hex_digit(b);
    if (low < 0) return std::nullopt;
    return static_cast<char>(low);
  }
  const int high = hex_digit(a), low = hex_digit(b);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<char>(high * 16 + low);
}

// The connections being served, oldest first. The accept loop adds to it
// and may shut the oldest down; a connection thread takes itself out before
// its socket is closed, so a descriptor is never shut down after its close.
class ConnectionTable {
 public:
  explicit ConnectionTable(std::size_t capacity) : capacity_(capacity) {}

  std::uint64_t add(int fd) {
    std::lock_guard lock(mutex_);
    if (capacity_ > 0 && open_.size() >= capacity_) {
      interrupt_socket(open_.front().fd);
      open_.pop_front();
    }
    open_.push_back({next_key_, fd});
    ++running_;
    return next_key_++;
  }

  void remove(std::uint64_t key) {
    std::lock_guard lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->key == key) {
        open_.erase(it);
        break;
      }
    }
  }

  // Wakes every connection still being served.
  void interrupt_all() {
    std::lock_guard lock(mutex_);
    for (const Entry& entry : open_) interrupt_socket(entry.fd);
    open_.clear();
  }

  void finished() {
    std::lock_guard lock(mutex_);
    --running_;
    if (running_ == 0) all_done_.notify_all();
  }

  void wait_all_done() {
    std::unique_lock lock(mutex_);
    all_done_.wait(lock, [&] { return running_ == 0; });
  }

 private:
  struct Entry {
    std::uint64_t key;
    int fd;
  };
  std::mutex mutex_;
  std::condition_variable all_done_;
  std::deque<Entry> open_;
  std::size_t capacity_;
  std::size_t running_ = 0;
  std::uint64_t next_key_ = 0;
};

struct Shared {
  Shared(HttpHandler h, HttpServerLimits l) : handler(std::move(h)), limits(l), table(l.max_connections) {}
  HttpHandler handler;
  HttpServerLimits limits;
  ConnectionTable table;
};

// Where the connection threads come from, and the count of those that could not start.
struct Spawn {
  ThreadSpawner& threads;
  RefusedThreads refused;
};

struct Connection {
  std::unique_ptr<SocketStream> socket;
  std::uint64_t key;
  std::shared_ptr<Shared> shared;
};

void end_connection(Connection& connection) {
  connection.shared->table.remove(connection.key);
  connection.socket->close();
  connection.shared->table.finished();
}

void serve_one(std::unique_ptr<Connection> connection) {
  Clock& clock = real_clock();
  const auto deadline = clock.monotonic() + connection->shared->limits.exchange_time;
  DeadlineStream stream(*connection->socket, clock, deadline);
  handle_http_connection(stream, connection->shared->handler);
  end_connection(*connection);
}

void start_connection(std::unique_ptr<SocketStream> socket, const std::shared_ptr<Shared>& shared, Spawn& spawn) {
  const std::uint64_t key = shared->table.add(socket->fd());
  auto connection = std::make_unique<Connection>(Connection{std::move(socket), key, shared});
  Connection* handed = connection.get();
  auto serving = start_thread([handed] { serve_one(std::unique_ptr<Connection>(handed)); }, connection_stack_bytes,
                              spawn.threads);
  if (!serving) {
    // No thread to serve it: the connection is closed unanswered.
    end_connection(*connection);
    spawn.refused.closed(serving.message());
    return;
  }
  (void)connection.release();
  serving->detach();
  spawn.refused.started();
}

}  // namespace

bool is_content_length(std::string_view name) { return equals_ascii_nocase(name, "content-length"); }

std::pair<std::string_view, std::optional<std::string_view>> split_target(std::string_view target) {
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) return {target, std::nullopt};
  return {target.substr(0, mark), target.substr(mark + 1)};
}

std::string percent_decode(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      bytes += ' ';
      continue;
    }
    if (c == '%' && text.size() - i > 2) {
      if (const auto byte = hex_byte(text[i + 1], text[i + 2])) {
        bytes += *byte;
        i += 2;
        continue;
      }
    }
    bytes += c;
  }
  return utf8_lossy(bytes);
}

std::pair<std::string, std::string> parse_query_pair(std::string_view piece) {
  const std::size_t equals = piece.find('=');
  if (equals == std::string_view::npos) return {percent_decode(piece), std::string()};
  return {percent_decode(piece.substr(0, equals)), percent_decode(piece.substr(equals + 1))};
}

HttpPairs parse_query(std::string_view query) {
  HttpPairs pairs;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    if (end > start) pairs.push_back(parse_query_pair(query.substr(start, end - start)));
    start = end + 1;
  }
  return pairs;
}

Result<HttpRequest> read_http_request(Stream& stream) {
  HttpReader reader(stream);
  std::string line;
  if (auto read = reader.line(line); !read) return error(read.message());
  const std::vector<std::string_view> words = split_words(line);
  if (words.size() < 2) return error("a request line without a target");

  RequestHead head;
  head.request.method = std::string(words[0]);
  head.target = words[1];
  auto headers = reader.header_block([&](std::string_view header) { return take_request_header(header, head); });
  if (!headers) return error(headers.message());
  if (head.length > http_max_body) return error("a body larger than 1048576 bytes");

  HttpRequest& request = head.request;
  if (auto body = reader.exact(static_cast<std::size_t>(head.length), request.body); !body) {
    return error(body.message());
  }
  if (!valid_utf8(request.body)) return error("a body that is not UTF-8");

  const auto [path, query] = split_target(head.target);
  request.path = percent_decode(path);
  if (query) request.query = parse_query(*query);
  return std::move(request);
}

std::string_view http_reason(std::uint16_t status) {
  switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

std::string http_response_head(const HttpResponse& response) {
  std::string head = "HTTP/1.1 ";
  head.append(std::to_string(response.status)).append(" ").append(http_reason(response.status));
  head.append("\r\nContent-Type: ").append(response.content_type);
  head.append("\r\nContent-Length: ").append(std::to_string(response.body.size()));
  head.append("\r\nConnection: close\r\n\r\n");
  return head;
}

void handle_http_connection(Stream& stream, const HttpHandler& handler) {
  auto request = read_http_request(stream);
  const HttpResponse response =
      request ? handler(*request) : HttpResponse{400, std::string(http_text_type), "bad request\n"};
  if (stream.write(http_response_head(response))) (void)stream.write(response.body);
}

void serve_http(TcpListener& listener, HttpHandler handler, HttpServerLimits limits, std::stop_token stop,
                ThreadSpawner& threads, LogLine log) {
  auto shared = std::make_shared<Shared>(std::move(handler), limits);
  Spawn spawn{threads, RefusedThreads("http", std::move(log))};
  // A burst of connections waits for its accept instead of being dropped.
  set_listen_backlog(listener, 128);
  const std::stop_callback wake(stop, [&listener] { interrupt_accept(listener); });
  while (!stop.stop_requested()) {
    auto accepted = accept_socket(listener);
    if (!accepted) {
      if (!stop.stop_requested()) std::this_thread::sleep_for(limits.accept_backoff);
      continue;
    }
    start_connection(std::move(*accepted), shared, spawn);
  }
  shared->table.interrupt_all();
  shared->table.wait_all_done();
}

}  // namespace velmora
