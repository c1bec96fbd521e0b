# SPDX-License-Identifier: MIT
# Two entry points for a fresh clone (see README.md):
#   make run    builds the converter and converts a shipped example net
#   make test   builds everything and runs the whole test suite, then again
#               under AddressSanitizer and UndefinedBehaviorSanitizer, then the
#               tests of the public interface on the shared library and its
#               Debian packages (each pass alone: test-plain, test-asan,
#               test-shared)
# Hardening (see FUZZING.md):
#   make fuzz-smoke  builds the fuzz targets with Clang and runs each one for
#                    FUZZ_SECONDS seconds
#   make load        the load tests at full size
BUILD      ?= build
ASAN_BUILD ?= build-asan
SHARED_BUILD ?= build-shared
JOBS       ?= $(shell nproc)
NET        ?= peterson
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
# Line tables only: stack traces keep file and line, builds stay quick.
PLAIN_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
# The shared build is the one the Debian packages are made from (and made
# again from a second build beside it, $(SHARED_BUILD)_in_another_folder): for
# the prefix /usr, with full debug information, which the ABI check reads and
# the packages strip.
SHARED_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" \
  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_SHARED_LIBS=ON -DQUARNEL_BUILD_BENCH=OFF
ASAN_FLAGS := -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_SANITIZE=ON -DQUARNEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DCMAKE_C_FLAGS_DEBUG="-O0 -g1"

.PHONY: run test test-plain test-asan test-shared bench clean fuzz-smoke load

run:
	@cmake -S . -B $(BUILD) $(PLAIN_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target varnost pnconv >/dev/null
	@mkdir -p out
	@cp examples/$(NET).mat examples/$(NET).mat.ref out/
	$(BUILD)/bin/varnost -s out/$(NET).mat
	@echo "converted examples/$(NET).mat -> out/$(NET).mat.ll_net"
	@head -n 12 out/$(NET).mat.ll_net; echo "..."

test: test-plain test-asan test-shared

test-plain:
	cmake -S . -B $(BUILD) $(PLAIN_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(ASAN_FLAGS)
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

test-shared:
	cmake -S . -B $(SHARED_BUILD) $(SHARED_FLAGS)
	cmake --build $(SHARED_BUILD) -j$(JOBS)
	ctest --test-dir $(SHARED_BUILD) --output-on-failure -j$(JOBS)

fuzz-smoke:
	QX_FUZZ_BUILD=$(FUZZ_BUILD) QX_FUZZ_JOBS=$(JOBS) fuzz/run.sh all $(FUZZ_SECONDS)

load:
	cmake -S . -B $(BUILD) $(PLAIN_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target hardening_test
	QX_LOAD_FULL=1 $(BUILD)/bin/hardening_test --gtest_filter='Load.*'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(SHARED_BUILD) $(SHARED_BUILD)_in_another_folder $(FUZZ_BUILD) out
