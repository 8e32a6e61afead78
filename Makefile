# A thin layer over the CMake presets; every target installs what it needs first.
.PHONY: all setup build demo test test-native test-windows clean

all: build

setup:
	@bash scripts/bootstrap.sh

build: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j 2
	cmake --preset native >/dev/null
	cmake --build --preset native -j 2

test: build
	ctest --preset native
	bash scripts/run-windows-tests.sh

test-native: build
	ctest --preset native

test-windows: build
	bash scripts/run-windows-tests.sh

demo: build
	bash scripts/demo.sh

clean:
	rm -rf build
