# Voxaro: the two commands of the README, and a few more.
.PHONY: demo test package bench fuzz build setup clean install uninstall step-report step-report-large

demo:            ## build everything and show the real plug-in at work (PNGs in out/demo)
	bash tools/demo.sh

test:            ## run every test (native, sanitizers, static DLL checks, Wine)
	bash tools/run_tests.sh

build:
	bash tools/build.sh

package: build   ## out/voxaro.zip for Total Commander's plug-in installer
	bash tools/package.sh

bench:           ## speed and memory benchmarks, with Assimp as the peer
	bash tools/setup.sh bench
	cmake --preset native >/dev/null
	cmake --build --preset native -j2 --target bench

fuzz:            ## fuzz the readers for a minute each (clang, libFuzzer)
	bash tools/fuzz.sh

setup:
	bash tools/setup.sh

step-report:     ## our STEP reader against the OpenCASCADE oracle, as a table
	bash tools/step_oracle_report.sh

step-report-large:  ## the same with the files over 8 MB
	bash tools/step_oracle_report.sh --large

# Linux desktops: the voxaro command and its thumbnailer, built on their own
# (needs cmake, ninja-build, g++ and libosmesa6-dev only).
PREFIX ?= /usr/local
install:         ## install bin/voxaro and the desktop thumbnailer under PREFIX (default /usr/local)
	cmake -S . -B build/install -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOXARO_TESTS=OFF >/dev/null
	cmake --build build/install -j2 --target voxaro
	cmake --install build/install --prefix "$(PREFIX)"

uninstall:       ## remove what `make install` installed
	bash tools/uninstall.sh build/install

clean:
	rm -rf build out
