// The optional programs some tests talk to: promtool and a Prometheus server
// (Debian package prometheus) and the Sentry SDK for Python
// (python3-sentry-sdk). A test whose peer is missing still runs what it can
// without it, then skips with one line naming the package; with
// VELMORA_REQUIRE_PEERS set to anything but "" or "0" (as CI sets it) the
// missing peer fails the test instead.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmora::testing {

// Whether a program is on the PATH.
bool have_program(const char* program);

// Whether the system's Python reads Sentry envelopes with the SDK.
bool have_sentry_sdk();

// Whether VELMORA_REQUIRE_PEERS asks for every peer.
bool peers_required();

// "PEER is missing: install the Debian package PACKAGE".
std::string peer_missing(const char* peer, const char* package);

// A program run to its end with the environment given (and nothing else),
// its standard output and error together.
struct Finished {
  int status = -1;
  std::string output;
};
Finished run_to_end(const std::vector<std::string>& argv, const std::vector<std::string>& environment);

}  // namespace velmora::testing

// Ends the test for a missing peer: skipped, or failed when peers are required.
#define VELMORA_WITHOUT_PEER(peer, package)                                       \
  do {                                                                            \
    const std::string velmora_why_ = ::velmora::testing::peer_missing(peer, package); \
    if (::velmora::testing::peers_required()) {                                   \
      FAIL() << velmora_why_ << " (VELMORA_REQUIRE_PEERS is set)";                \
    } else {                                                                      \
      GTEST_SKIP() << velmora_why_;                                               \
    }                                                                             \
  } while (false)
