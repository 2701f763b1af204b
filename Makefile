# Quick start on a fresh Debian machine (as root):
#   make demo   builds and runs the demo host program
#   make test   builds and runs every test
# Both first install, with apt-get and only when missing, what the build needs.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# command-or-file : Debian package
NEEDS = cmake:cmake g++:g++ clang++:clang bison:bison pkg-config:pkg-config \
        /usr/include/gtest/gtest.h:libgtest-dev /usr/include/gmock/gmock.h:libgmock-dev \
        /usr/include/benchmark/benchmark.h:libbenchmark-dev \
        /usr/include/spdlog/spdlog.h:libspdlog-dev \
        /usr/include/libxml2/libxml/parser.h:libxml2-dev xmllint:libxml2-utils \
        /usr/include/expat.h:libexpat1-dev python3:python3 \
        /usr/include/fmt/format.h:libfmt-dev

# Only for the fuzz targets: clang's libFuzzer runtime.
FUZZ_RT = /usr/lib/llvm-14/lib/clang/$(shell ls /usr/lib/llvm-14/lib/clang 2>/dev/null | head -1)/lib/linux/libclang_rt.fuzzer-$(shell uname -m).a
FUZZ_NEEDS = $(NEEDS) $(FUZZ_RT):libclang-rt-14-dev
FUZZ_SECONDS ?= 60

.PHONY: all deps build demo test test-asan test-tsan bench clean fuzz test-fuzz docs test-otlp test-browser \
        browser-tools screenshots package test-package test-size \
        warnings-gcc test-clang format-check

all: build

deps:
	@missing=""; \
	for need in $(NEEDS); do \
	  what=$${need%%:*}; pkg=$${need##*:}; \
	  case $$what in \
	    /*) [ -e "$$what" ] || missing="$$missing $$pkg" ;; \
	    *) command -v "$$what" >/dev/null 2>&1 || missing="$$missing $$pkg" ;; \
	  esac; \
	done; \
	missing=$$(echo $$missing | tr ' ' '\n' | sort -u | tr '\n' ' '); \
	if [ -n "$${missing% }" ]; then \
	  if command -v apt-get >/dev/null 2>&1 && [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null || exit 1; \
	  else \
	    echo "missing packages (install them, e.g. with apt-get as root):$$missing"; exit 1; \
	  fi; \
	fi

build/CMakeCache.txt: | deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps build/CMakeCache.txt
	cmake --build build -j $(JOBS)

# The demo needs only the library, the tools and itself; `make test` builds
# the rest later in the same tree. Sub-makes do not announce their directories.
DEMO_TARGETS = vantrel vantrel-config vantrel-timeline vantrel_demo

demo: deps build/CMakeCache.txt
	@cmake --build build -j $(JOBS) --target $(DEMO_TARGETS) -- --no-print-directory
	./build/examples/vantrel_demo

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

# Rewrites every output the README and docs/ show from a fresh run of the
# guide's programs and tools (docs/generate.py; the test docs_outputs fails
# while a page differs).
docs: build
	python3 docs/generate.py --build build --write

# Non-blank lines of the test code against those of the code it tests, counted
# over the files git knows (the owner asks for a quarter to a third). Test
# data (cases as input and expected output, under tests/*/cases/) is counted
# apart: it is read by the tests, not written as code.
TEST_SIZE_CODE = src include simpletime zeltools tools
TEST_DATA = ':(glob)tests/**/cases/**'
test-size:
	@code=$$(git ls-files -z $(TEST_SIZE_CODE) | xargs -0 cat | grep -cv '^[[:space:]]*$$'); \
	tests=$$(git ls-files -z tests ':(exclude,glob)tests/**/cases/**' | xargs -0 cat | grep -cv '^[[:space:]]*$$'); \
	data=$$(git ls-files -z $(TEST_DATA) | xargs -0 -r cat | grep -cv '^[[:space:]]*$$'); \
	echo "code  (non-blank lines of $(TEST_SIZE_CODE)): $$code"; \
	echo "tests (non-blank lines of test code under tests): $$tests"; \
	echo "test data (non-blank lines under tests/*/cases, not counted): $$data"; \
	awk -v t=$$tests -v c=$$code 'BEGIN { printf "ratio tests/code: %.2f\n", t / c }'

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=address,undefined -DVANTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=thread -DVANTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Gates for continuous integration: the project's own code builds without a
# warning under g++ (warnings-gcc) and under clang++ with -Wshadow and the
# thread-safety analysis, whose build is also tested (test-clang); every
# tracked C++ file is laid out as .clang-format says (format-check).
warnings-gcc: deps
	CXX=g++ cmake -S . -B build-gcc-werror -DVANTREL_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build-gcc-werror -j $(JOBS)

test-clang: deps
	CXX=clang++ cmake -S . -B build-clang -DVANTREL_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build-clang -j $(JOBS)
	cd build-clang && ctest --output-on-failure -j $(JOBS)

format-check:
	$(MAKE) deps NEEDS="$(NEEDS) clang-format:clang-format"
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror

fuzz:
	$(MAKE) deps NEEDS="$(FUZZ_NEEDS)"
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BUILD_FUZZ=ON -DVANTREL_SANITIZE=address,undefined -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_EXAMPLES=OFF -DVANTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target config_parse_fuzz xml_writer_fuzz \
	  timeline_text_fuzz timeline_xml_fuzz

# Each fuzzer runs FUZZ_SECONDS from its seed corpus; new inputs go to
# build-fuzz/corpus/<name> and failing ones to build-fuzz/crash-*, so the
# checked-in seeds stay as they are. Paths are absolute: a fuzzer may change
# its working directory.
test-fuzz: fuzz
	@for f in config_parse xml_writer timeline_text timeline_xml; do \
	  seeds=$(CURDIR)/fuzz/corpus/$${f%%_*}; work=$(CURDIR)/build-fuzz/corpus/$$f; mkdir -p $$work; \
	  echo "fuzzing $$f for $(FUZZ_SECONDS) s"; \
	  ./build-fuzz/fuzz/$${f}_fuzz -max_total_time=$(FUZZ_SECONDS) -close_fd_mask=3 \
	    -print_final_stats=1 -artifact_prefix=$(CURDIR)/build-fuzz/ $$work $$seeds || exit 1; \
	done

# The timeline's OpenTelemetry output checked against the official protobuf
# definitions: node from Debian, the definitions (generated for protobufjs)
# from npm into build/otlp-tools, nothing of them in the repository.
OTLP_NEEDS = $(NEEDS) node:nodejs npm:npm
OTLP_PACKAGE = @opentelemetry/otlp-proto-exporter-base@0.51.1
OTLP_TOOLS = build/otlp-tools

test-otlp: build
	$(MAKE) deps NEEDS="$(OTLP_NEEDS)"
	@mkdir -p $(OTLP_TOOLS)
	@[ -e $(OTLP_TOOLS)/node_modules/@opentelemetry/otlp-proto-exporter-base/build/src/generated/root.js ] || \
	  npm install --no-audit --no-fund --ignore-scripts --prefix $(OTLP_TOOLS) $(OTLP_PACKAGE)
	cd build && ctest --output-on-failure -R 'TimelineOtlp'

# The timeline's page in a real browser: Debian's chromium and playwright-core
# from npm (told not to download a browser) under build/browser-tools.
BROWSER_NEEDS = $(NEEDS) node:nodejs npm:npm /usr/bin/chromium:chromium
BROWSER_PACKAGE = playwright-core@1.65.2
BROWSER_TOOLS = build/browser-tools

browser-tools: build
	$(MAKE) deps NEEDS="$(BROWSER_NEEDS)"
	@mkdir -p $(BROWSER_TOOLS)
	@[ -e $(BROWSER_TOOLS)/node_modules/playwright-core/package.json ] || \
	  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-audit --no-fund --ignore-scripts \
	    --prefix $(BROWSER_TOOLS) $(BROWSER_PACKAGE)

test-browser: browser-tools
	cd build && ctest --output-on-failure -R 'TimelineBrowser' --timeout 900

# docs/timeline-demo.png: the demo's own timeline, drawn by the browser.
screenshots: browser-tools
	rm -rf build/screenshots && mkdir -p build/screenshots
	cd build/screenshots && ../examples/vantrel_demo > demo.txt
	./build/tools/vantrel-timeline --html build/screenshots/demo.html \
	  build/screenshots/vantrel-demo-logs/*_trace.log
	node tests/tools/timeline_browser.js $(BROWSER_TOOLS) screenshot build/screenshots/demo.html docs/timeline-demo.png

# The message benchmark's peers are installed here only, not for the tests.
BENCH_NEEDS = $(NEEDS) /usr/include/glog/logging.h:libgoogle-glog-dev \
              /usr/include/log4cxx/logger.h:liblog4cxx-dev
BENCH_REPETITIONS ?= 9

# One table of medians: bench/table.py reads the JSON the benchmark writes.
# The repetitions of all cases run interleaved in random order, so that a
# burst of load on the machine spreads over the cases instead of hitting one.
bench:
	$(MAKE) deps NEEDS="$(BENCH_NEEDS)"
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TESTS=OFF \
	  -DVANTREL_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	./build-bench/bench/message_bench --benchmark_repetitions=$(BENCH_REPETITIONS) \
	  --benchmark_enable_random_interleaving=true \
	  --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true \
	  --benchmark_out=build-bench/message_bench.json --benchmark_out_format=json \
	  > build-bench/message_bench.txt
	python3 bench/table.py build-bench/message_bench.json
	@for b in build-bench/bench/*_bench; do \
	  [ "$$b" = build-bench/bench/message_bench ] || "$$b" --benchmark_repetitions=$(BENCH_REPETITIONS) \
	    --benchmark_report_aggregates_only=true; \
	done

# Debian packages of a build configured as a distribution's (prefix /usr),
# in build-package/build/packages/. test-package also checks the installed
# layout, the packages (with lintian) and the source tree as a subproject.
PACKAGE_NEEDS = $(NEEDS) dpkg-shlibdeps:dpkg-dev lintian:lintian

package:
	$(MAKE) deps NEEDS="$(PACKAGE_NEEDS)"
	cmake -S . -B build-package/build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_EXAMPLES=OFF -DVANTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-package/build -j $(JOBS) -- --no-print-directory
	cd build-package/build && cpack -G DEB

test-package:
	$(MAKE) deps NEEDS="$(PACKAGE_NEEDS)"
	JOBS=$(JOBS) tests/package/test_package.sh build-package

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-package build-gcc-werror build-clang
