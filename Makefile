# Pedkin: two commands do all the set-up on a fresh Debian machine.
#   make run   install what is missing, build, run the bundled example
#   make test  install what is missing, build, run the whole test suite
# Nothing is downloaded at build time; dependencies are Debian packages.

BUILD_DIR   ?= build
SAN_DIR     ?= build-sanitize
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
EXAMPLE     ?= examples/microsat_dioecious.dat
PACKAGES    := g++ cmake make libopenmpi-dev openmpi-bin libgtest-dev libbenchmark-dev python3 graphviz

.PHONY: all deps build run test sanitize bench clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; elif command -v sudo >/dev/null; then SUDO="sudo"; \
	  else echo "Please install as root:$$missing"; exit 1; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@mkdir -p $(BUILD_DIR)/example-run
	cd $(BUILD_DIR)/example-run && ../pedkin IFN:../../$(EXAMPLE)
	@echo
	@echo "Results are in $(BUILD_DIR)/example-run/ (files named after the output name of $(EXAMPLE))"

test: build sanitize
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The readers of untrusted input (the project file, with its mutation
# fuzzing, and the cache and checkpoint files) also run under
# AddressSanitizer and UndefinedBehaviorSanitizer.
SANITIZED_TESTS ?= ReadData*:*Reader*:*Project*:*FreeFormat*:*DataProcess*:*Resume*:*Checkpoint*:*Dyad*:*OutputFiles*:*CommandLine*:*RunArchive*:*PairwiseInference*
sanitize: deps
	cmake -S . -B $(SAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DPEDKIN_SANITIZE=ON -DPEDKIN_BUILD_BENCH=OFF
	cmake --build $(SAN_DIR) -j $(JOBS) --target pedkin_tests
	cd $(SAN_DIR)/tests && PEDKIN_SOURCE_DIR=$(CURDIR) ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ./pedkin_tests --gtest_filter='$(SANITIZED_TESTS)' --gtest_brief=1

bench: build
	$(BUILD_DIR)/bench/pedkin_bench
	$(BUILD_DIR)/bench/prepare_memory 1000 1000 2
	$(BUILD_DIR)/bench/prepare_memory 5000 10000 2
	$(BUILD_DIR)/bench/prepare_memory 2000 50 10

clean:
	rm -rf $(BUILD_DIR) $(SAN_DIR)
