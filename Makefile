# Voxaro: the two commands of the README, and a few more.
.PHONY: demo test package bench fuzz build setup clean

demo:            ## build everything and show the real plug-in at work (PNGs in out/demo)
	bash tools/demo.sh

test:            ## run every test (native, sanitizers, static DLL checks, Wine)
	bash tools/run_tests.sh

build:
	bash tools/build.sh

package: build   ## out/voxaro.zip for Total Commander's plug-in installer
	bash tools/package.sh

bench:           ## speed and memory benchmarks
	bash tools/setup.sh
	cmake --preset native >/dev/null
	cmake --build --preset native -j2 --target bench

fuzz:            ## fuzz the readers for a minute each (clang, libFuzzer)
	bash tools/fuzz.sh

setup:
	bash tools/setup.sh

clean:
	rm -rf build out
