// Arbitrary bytes, handed out in pieces whose sizes the input chooses, go to
// the HTTP reply reader: it must never crash, never grow a body past its cap
// (chunk sizes near 2^64 included) and always give UTF-8 text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/base/text.h"
#include "web/http_client.h"
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
  velmora::Status write(std::string_view) override { return velmora::done(); }
  void close() override {}
  std::string_view input;
  std::size_t piece, at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  PiecesStream stream(input, piece);
  const auto reply = velmora::read_http_reply(stream);
  if (!reply) return 0;
  if (!velmora::valid_utf8(reply->body)) fail("body not UTF-8");
  // Each replaced byte may grow to three: U+FFFD.
  if (reply->body.size() > 3 * velmora::http_max_body) fail("body past the cap");
  if (reply->body.size() > 3 * input.size()) fail("body larger than the input allows");
  return 0;
}
