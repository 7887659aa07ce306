# Quick start: `make demo` builds and starts the demo, `make platformer` the
# platformer, `make check` builds and runs every test. All install missing
# Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES := cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config \
            libgtest-dev libgmock-dev libbenchmark-dev libsdl2-dev libsdl2-ttf-dev \
            fonts-dejavu-core libpng-dev xvfb xauth xdotool x11-apps imagemagick \
            libpugixml-dev libzstd-dev zlib1g-dev libimagequant-dev rapidjson-dev tiled
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

FUZZ_SECONDS ?= 60
# Warnings fail every build of `make check`; WERROR=OFF builds anyway.
WERROR ?= ON
CLANG_FORMAT ?= clang-format

.PHONY: deps configure build check test check-format check-sanitize check-fuzz format demo platformer clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -q && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DVEXIL_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Every test: the source's formatting, the suite, the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the fuzz corpus
# replayed and leak checks), then a short libFuzzer run of each loader and of
# the Tiled importer; one line sums them up.
check: check-format test check-sanitize check-fuzz
	@tests() { sed -n 's/.*tests failed out of \([0-9]*\)$$/\1/p' "$$1" | tail -n 1; }; \
	skipped() { grep -c '(Skipped)$$' "$$1"; }; \
	runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $(BUILD)-fuzz/fuzz/fuzz-*.log | awk '{n += $$1} END {print n + 0}'); \
	echo "make check: passed: $$(tests $(BUILD)/ctest.log) tests ($$(skipped $(BUILD)/ctest.log) skipped)," \
	  "$$(tests $(BUILD)-asan/ctest.log) tests under the sanitizers ($$(skipped $(BUILD)-asan/ctest.log) skipped)," \
	  "$$runs fuzz runs of the loaders and the importer in $(FUZZ_SECONDS) s each"

# The C++ sources as .clang-format has them; `make format` applies it.
check-format: deps
	@git ls-files '*.cpp' '*.h' | xargs $(CLANG_FORMAT) --dry-run --Werror && echo "format: every C++ file as .clang-format has it"

format:
	git ls-files '*.cpp' '*.h' | xargs $(CLANG_FORMAT) -i

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -O ctest.log

check-sanitize: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DVEXIL_SANITIZE=ON -DVEXIL_WERROR=$(WERROR)
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS) -O ctest.log

check-fuzz: deps
	cmake -S . -B $(BUILD)-fuzz -G Ninja -DVEXIL_FUZZ=ON -DVEXIL_WERROR=$(WERROR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_decode fuzz_load fuzz_tmx fuzz_json vexil_seeds
	cd $(BUILD)-fuzz/fuzz && for t in decode load tmx json; do \
	  case $$t in tmx|json) seeds=$(CURDIR)/fuzz/$$t dict=$(CURDIR)/fuzz/$$t.dict;; *) seeds=seeds dict=vexil.dict;; esac; \
	  mkdir -p corpus-$$t && \
	  ./fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 \
	    -dict=$$dict -print_final_stats=1 corpus-$$t $$seeds > fuzz-$$t.log 2>&1; rc=$$?; \
	  grep -E "^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)|ERROR|SUMMARY" fuzz-$$t.log; \
	  [ $$rc -eq 0 ] || { tail -n 40 fuzz-$$t.log; exit 1; }; \
	done

demo: build
	cd $(BUILD)/demo && ./kvdx

# The platformer in a window; its level is imported from Tiled by the build.
platformer: build
	$(BUILD)/examples/platformer/platformer

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz
