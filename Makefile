# The project's commands. Each installs what is missing first.
CMAKE_BUILD = cmake --build --preset

.PHONY: all deps build test test-default test-asan test-tsan test-under-load bench soak demo package package-test \
	screenshot fuzz fuzz-smoke fuzz-build kiosk-test clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	$(CMAKE_BUILD) default

# The whole suite, then again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, each in its own build folder; then the fuzz targets, 10 s each; last, the Debian
# package.
test: deps
	$(MAKE) --no-print-directory test-default
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan
	$(MAKE) --no-print-directory fuzz-smoke
	$(MAKE) --no-print-directory package-test

test-default test-asan test-tsan: test-%:
	cmake --preset $*
	$(CMAKE_BUILD) $*
	ctest --preset $*

# The three suites RUNS times each (3 unless given) beside a load on two processors, then a table
# of the tests that failed and how often: for hunting tests that fail on a busy machine.
RUNS ?= 3
test-under-load: deps
	scripts/test-under-load $(RUNS)

# Ends with the table of figures beside their references, which it also writes to bench/results.md.
bench: build
	scripts/run-benchmarks build

# Ten minutes of asking against a simulated unit that misbehaves in turns; `make soak
# SOAK_SECONDS=60` for a shorter try. Not part of `make test`.
soak: build
	build/bench/VelmoSoak $(SOAK_SECONDS)

demo: build
	scripts/demo build

# The Debian packages, build/velmo-reset_VERSION_ARCH.deb and its -dbgsym package, made by
# debhelper from debian/ (compiled in its own obj-* folder, without the tests).
package: deps
	scripts/make-package build

# Makes the packages and checks them: lintian, their fields and files, the example unit with
# systemd-analyze verify, and that the programs in the package run a reset.
package-test: deps
	scripts/package-test build

# The package installed in a Debian 12 guest booted in QEMU (software emulation): each case from the
# question to the guest's reboot, checked from outside (kiosk/). The guest's base system is cached
# in ~/.cache/velmo-kiosk (KIOSK_CACHE); `make kiosk-test KIOSK_CASES="x-unit-enter"` runs one case.
kiosk-test: package
	kiosk/run build $(KIOSK_CASES)

# doc/screenshot.png: the window on an Xvfb display, the question shown.
screenshot: build
	scripts/screenshot build

# The libFuzzer targets (clang), built in build-fuzz: `fuzz` runs each for 60 s on a copy of its
# seeds, `fuzz-smoke` for 10 s; either fails on any crash, leak or time-out.
fuzz-build: deps
	cmake --preset fuzz
	$(CMAKE_BUILD) fuzz

fuzz: fuzz-build
	fuzz/run build-fuzz 60

fuzz-smoke: fuzz-build
	fuzz/run build-fuzz 10

clean:
	rm -rf build build-asan build-tsan build-fuzz build-load obj-*/ debian/.debhelper \
		debian/velmo-reset debian/debhelper-build-stamp debian/files debian/*.substvars
