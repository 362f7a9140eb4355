# The project's commands. Each installs what is missing first.
CMAKE_BUILD = cmake --build --preset

.PHONY: all deps build test test-default test-asan test-tsan bench demo clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	$(CMAKE_BUILD) default

# The whole suite, then again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, each in its own build folder.
test: deps
	$(MAKE) --no-print-directory test-default
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan

test-default test-asan test-tsan: test-%:
	cmake --preset $*
	$(CMAKE_BUILD) $*
	ctest --preset $*

bench: build
	scripts/run-benchmarks build

demo: build
	scripts/demo build

clean:
	rm -rf build build-asan build-tsan
