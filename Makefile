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

# Without a display the program could not show its window (Qt would abort,
# or, on the offscreen platform, run invisibly forever): say so and fail.
run: build
	@case "$${QT_QPA_PLATFORM%%:*}" in \
	  offscreen|minimal) echo "QT_QPA_PLATFORM=$$QT_QPA_PLATFORM shows no window: unset it to run Quorvex3." >&2; exit 1;; \
	  "") if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	        echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so Quorvex3 cannot open its window." >&2; \
	        echo "Run it on a desktop, or under a virtual display (e.g. xvfb-run -a make run)." >&2; exit 1; fi;; \
	esac; exec $(APP)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j $(JOBS)

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
	  ctest --output-on-failure --timeout 600 -j $(JOBS)
	@cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DQUORVEX3_BUILD_GUI=OFF -DQUORVEX3_BUILD_BENCH=OFF \
	  -DQUORVEX3_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target test_reader_concurrency
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  $(TSAN_DIR)/tests/core/test_reader_concurrency

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR)
