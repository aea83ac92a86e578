# Two entry points: `make run` and `make test`. Both install what is missing
# first, so they work on a fresh Debian 12 machine.
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
JOBS      ?= $(shell nproc)
APP       := $(BUILD_DIR)/src/app/quorvex3
CMAKE_GEN := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build run test test-sanitize bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_GEN) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -x $(APP) ]; then exec $(APP); \
	else echo "The application window is not built yet: only the libraries and their tests exist so far."; fi

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# GUI-free libraries and their tests under AddressSanitizer + UBSan, then the
# reader's concurrency test under ThreadSanitizer.
test-sanitize: deps
	@cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DQUORVEX3_BUILD_GUI=OFF -DQUORVEX3_BUILD_BENCH=OFF \
	  -DQUORVEX3_SANITIZE=address >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DQUORVEX3_BUILD_GUI=OFF -DQUORVEX3_BUILD_BENCH=OFF \
	  -DQUORVEX3_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target test_reader_concurrency
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  $(TSAN_DIR)/tests/core/test_reader_concurrency

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR)
