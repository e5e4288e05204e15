# Entry points. Every target first makes sure the Debian packages it needs are
# installed (scripts/setup-deps is idempotent and quick once they are).
JOBS ?= $(shell nproc)
BUILD ?= build
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-main test-tsan run install clean \
        bench-calc bench-link bench-start bench-run bench-steps bench-protocol fuzz screenshots

all: build

deps:
	@./scripts/setup-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The whole suite, then the link and procedure tests again under ThreadSanitizer.
test: test-main test-tsan

test-main: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLIBRATO_SANITIZE=thread \
	  -DLIBRATO_WITH_APP=OFF -DLIBRATO_WITH_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS)
	@cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 --repeat until-pass:3 -L 'link|procedure'

run: build
	@./scripts/run

bench-calc: build
	@$(BUILD)/bench/calc/bench_calc

bench-link: build
	@./bench/link/run.sh $(BUILD)

bench-start: build
	@./bench/start/run.sh $(BUILD)

bench-run: build
	@./bench/run/run.sh $(BUILD)

bench-steps: build
	@./bench/steps/run.sh $(BUILD)

bench-protocol: build
	@./bench/protocol/run.sh $(BUILD)

fuzz: deps
	@./tests/fuzz/run.sh

screenshots: build
	@./scripts/screenshots $(BUILD)

clean:
	rm -rf $(BUILD) $(TSAN_BUILD)
