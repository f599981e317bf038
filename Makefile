# The two commands of the README: `make run` and `make check`. Both set up the machine first.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: setup build run check test asan fuzz package format clean

setup:
	bash scripts/setup

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/src/variredu-divar $(ARGS)

# Every test with warnings as errors, then the unit tests, the fuzz corpora and the terminal
# end-to-end rows again under ASan+UBSan. Benchmarks are not built; `make fuzz` fuzzes for a while.
check: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_WERROR=ON -DVD_BUILD_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory asan

asan:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVD_WERROR=ON -DVD_SANITIZE=ON -DVD_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L 'unit|fuzz|e2e' -LE 'x11|speechd|package'

# The libFuzzer targets (clang, ASan+UBSan), FUZZ_SECONDS each, on a copy of their seed corpora; a
# crash leaves its input in $(FUZZ_BUILD). Only the fuzzers and what they link are built.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_alarm_list fuzz_base10 fuzz_sanitize fuzz_instant
fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_WERROR=ON \
		-DVD_FUZZ=ON -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)
	@set -e; for t in $(FUZZ_TARGETS); do \
		corpus=$$(mktemp -d); cp -R fuzz/corpus/$$t/. $$corpus; \
		dict=; if [ -f fuzz/$$t.dict ]; then dict=-dict=fuzz/$$t.dict; fi; \
		log=$(FUZZ_BUILD)/$$t.log; \
		./$(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=5 -rss_limit_mb=2048 $$dict \
			-artifact_prefix=$(FUZZ_BUILD)/$$t- $$corpus >$$log 2>&1 || { tail -n 40 $$log; exit 1; }; \
		echo "$$t: $$(tail -n 1 $$log)"; \
		rm -rf $$corpus; done

# The Debian package, variredu-divar_VERSION_ARCH.deb in $(PACKAGE_BUILD); install it with
# `sudo apt-get install ./$(PACKAGE_BUILD)/variredu-divar_*.deb`.
# Debian's own compiler and linker flags (hardening included), read when the build dir is configured.
package: setup
	DEB_BUILD_MAINT_OPTIONS=hardening=+all; export DEB_BUILD_MAINT_OPTIONS; \
	CXXFLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVD_WERROR=ON -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
	cmake --build $(PACKAGE_BUILD) --target package -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
