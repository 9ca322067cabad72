# The front door. `make run` starts the local server, `make test` runs every test.
JOBS ?= $(shell nproc 2>/dev/null || echo 4)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CLANG_CXX ?= clang++
FUZZ_SECONDS ?= 20
# The local server's port for `make run`.
PORT ?= 7790

.PHONY: all build run test test-sanitize test-tsan bench fuzz fuzz-smoke clean

all: build

build:
	cmake -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

run: build
	./build/velmora-server --port $(PORT) --replays replays

# A test whose optional peer is missing skips; the closing lines say which
# package would run it.
test: build
	ctest --test-dir build -j $(JOBS) --output-on-failure
	@grep -h ' is missing: install the Debian package ' build/Testing/Temporary/LastTest.log 2>/dev/null \
	  | sort | uniq -c | sed 's/^ *\([0-9]*\) \(.*\)/\1 skipped: \2/'

test-sanitize:
	cmake -S . -B build-sanitize $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=$(CLANG_CXX) -DVELMORA_SANITIZE=ON
	cmake --build build-sanitize -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-sanitize -j $(JOBS) --output-on-failure

# The threaded test programs under ThreadSanitizer: the online server over
# loopback with its session threads, its metrics server and its Agones pings,
# the error reporter's queue and worker, the online client with its reader
# threads, and a loopback game of the program built so.
TSAN_TESTS := online_threads_test online_services_test error_reporter_test client_threads_test loopback_test \
  client_local_server_test
test-tsan:
	cmake -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(CLANG_CXX) -DVELMORA_TSAN=ON
	cmake --build build-tsan -j $(JOBS) --target velmora-server $(TSAN_TESTS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir build-tsan -j $(JOBS) --output-on-failure -R '^(OnlineThreads|OnlineServices|Reporter|ClientThreads|OnlineFront|OnlineFrontRejoin)\.|^Loopback\.FourBots'

bench:
	cmake -S . -B build-bench $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF -DVELMORA_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/*_bench; do echo "== $$b"; $$b; done

fuzz:
	cmake -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(CLANG_CXX) -DVELMORA_TESTS=OFF -DVELMORA_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)

fuzz-smoke: fuzz
	./fuzz/smoke.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-sanitize build-tsan build-bench build-fuzz build-image
