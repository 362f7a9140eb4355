# The project's commands. Each installs what is missing first.
CMAKE_BUILD = cmake --build --preset

.PHONY: all deps build test test-default test-asan test-tsan bench demo package package-test \
	screenshot clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	$(CMAKE_BUILD) default

# The whole suite, then again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, each in its own build folder; last, the Debian package.
test: deps
	$(MAKE) --no-print-directory test-default
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan
	$(MAKE) --no-print-directory package-test

test-default test-asan test-tsan: test-%:
	cmake --preset $*
	$(CMAKE_BUILD) $*
	ctest --preset $*

bench: build
	scripts/run-benchmarks build

demo: build
	scripts/demo build

# The Debian package, build/velmo-reset_VERSION_ARCH.deb.
package: build
	cd build && cpack -G DEB

# Makes the package and checks its fields and files, and that the programs in it run a reset.
package-test: build
	scripts/package-test build

# doc/screenshot.png: the window on an Xvfb display, the question shown.
screenshot: build
	scripts/screenshot build

clean:
	rm -rf build build-asan build-tsan
