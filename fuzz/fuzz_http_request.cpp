// Arbitrary bytes, handed out in pieces whose sizes the input chooses, go to
// the HTTP request reader: it must never crash, and what it accepts must keep
// its caps (stored headers, body size, UTF-8 body) and the reply written for
// it must be well-formed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/base/text.h"
#include "web/http_server.h"
#include "web/http_wire.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

struct PiecesStream : velmora::Stream {
  PiecesStream(std::string_view in, std::size_t piece) : input(in), piece(piece) {}
  velmora::Result<std::size_t> read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece, input.size() - at});
    input.copy(buffer, n, at);
    at += n;
    return n;
  }
  velmora::Status write(std::string_view bytes) override {
    output += bytes;
    return velmora::done();
  }
  void close() override {}
  std::string_view input;
  std::size_t piece, at = 0;
  std::string output;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  PiecesStream stream(input, piece);
  auto request = velmora::read_http_request(stream);
  if (request) {
    if (request->headers.size() > velmora::http_max_stored_headers) fail("too many headers stored");
    if (request->body.size() > velmora::http_max_body) fail("body past the cap");
    if (!velmora::valid_utf8(request->body)) fail("body not UTF-8");
    if (!velmora::valid_utf8(request->path)) fail("path not UTF-8");
    for (const auto& [name, value] : request->headers) {
      for (const char c : name) {
        if (c >= 'A' && c <= 'Z') fail("header name not lower-cased");
      }
    }
  }

  PiecesStream again(input, piece);
  velmora::handle_http_connection(again, [](const velmora::HttpRequest& r) {
    return velmora::HttpResponse{200, "text/plain", r.path};
  });
  if (again.output.rfind("HTTP/1.1 ", 0) != 0) fail("reply without a status line");
  if (again.output.find("\r\n\r\n") == std::string::npos) fail("reply without a head end");
  return 0;
}
