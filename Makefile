# Front door: every target installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-asan test-isa test-threads demo install uninstall bench bench-pipeline fuzz soak leakcheck clean test-cluster test-slurm deb test-deb

all: build

deps:
	@tools/install-deps

$(BUILD)/CMakeCache.txt:
	@tools/install-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# CTest runs TEST_JOBS tests at a time (each Tcl suite is one test, with its
# own Xvfb when there is no display); `cd build && ctest -R voronoi` runs one.
TEST_JOBS ?= 2
# The cluster recipes (label cluster) start root daemons: they run under
# `make test-cluster` only, so `make test` is the same on every machine.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS) -LE cluster

# The same suites against an AddressSanitizer + UndefinedBehaviorSanitizer build.
test-asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DQUENZ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)"

# Results are bit for bit the same whichever instruction set the kernels'
# clones use: every checksum of the widest clones this machine runs against
# plain x86-64 code (a build without clones), NaN payloads made canonical.
test-isa: build
	cmake -S . -B build-isa -DCMAKE_BUILD_TYPE=Release -DQUENZ_NO_CLONES=ON $(CMAKE_FLAGS)
	cmake --build build-isa -j $(JOBS) --target quenz_checksums
	cmake --build $(BUILD) -j $(JOBS) --target quenz_checksums
	$(BUILD)/bench/quenz_checksums --canonical-nan > build-isa/clones.txt
	build-isa/bench/quenz_checksums --canonical-nan > build-isa/plain.txt
	diff build-isa/clones.txt build-isa/plain.txt
	@echo "test-isa: $$(wc -l < build-isa/plain.txt) checksums identical with and without the clones"

demo: build
	examples/demo $(BUILD) demo-out

# PREFIX=/some/dir installs elsewhere than the configured prefix (/usr/local);
# DESTDIR=/stage puts the tree under a staging directory.
install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))
	@cache=$(BUILD)/CMakeCache.txt; \
	prefix="$(PREFIX)"; [ -n "$$prefix" ] || prefix=$$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' $$cache); \
	pkgdir=$$(sed -n 's/^QUENZ_PKGDIR:STRING=//p' $$cache); pydir=$$(sed -n 's/^QUENZ_PYDIR:STRING=//p' $$cache); \
	case $$pkgdir in /*) ;; *) pkgdir=$$prefix/$$pkgdir ;; esac; \
	echo "quenz is in $$prefix. Where Tcl and Python do not look there already, add:"; \
	echo "  export TCLLIBPATH=$$(dirname $$pkgdir)"; \
	if [ -n "$$pydir" ]; then echo "  export PYTHONPATH=$$prefix/$$pydir"; fi

uninstall:
	@tools/uninstall $(BUILD)/install_manifest.txt

# Release build of the kernels, then the side-by-side run that writes
# bench/RESULTS.md (under five minutes), then the pipeline's section.
bench:
	@tools/install-deps --peers
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS) --target bench
	if grep -q '^QUENZ_PYDIR' build-bench/CMakeCache.txt; then cmake --build build-bench -j $(JOBS) --target quenz_python; fi
	bench/run build-bench
	/usr/bin/python3 bench/pipeline_bench.py build-bench

# Whole runs: 200 exposures through the reduction, quenz (1 and 2 workers)
# from Tcl and from Python beside the same pipeline in numpy; its section
# of bench/RESULTS.md.
bench-pipeline:
	@tools/install-deps --peers
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS) --target quenz
	if grep -q '^QUENZ_PYDIR' build-bench/CMakeCache.txt; then cmake --build build-bench -j $(JOBS) --target quenz_python; fi
	/usr/bin/python3 bench/pipeline_bench.py build-bench

# Each fuzz target runs FUZZ_SECONDS on seeds made by our own writers.
FUZZ_SECONDS ?= 30
fuzz: build
	@tools/install-deps --fuzz
	CXX=clang++ cmake -S . -B build-fuzz -DQUENZ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS)
	tests/fuzz/run build-fuzz $(BUILD) $(FUZZ_SECONDS)

# The host and the viewer thread's interpreters at work at once under
# helgrind: no race on the binding's process-wide state.
THREAD_ROUNDS ?= 20
test-threads: build
	@tools/install-deps --valgrind
	tests/threadcheck $(BUILD) $(THREAD_ROUNDS)

# Every class through every ownership path, SOAK_COUNT objects each, in
# SOAK_ROUNDS rounds; the registry must be back where it was after every
# round, and the process's memory must not grow after the first.
# SOAK_CLASSES limits it to some classes.
SOAK_COUNT ?= 1000
SOAK_ROUNDS ?= 3
soak: build
	QUENZ_LIBDIR=$(abspath $(BUILD)) QUENZ_SOAK_ROUNDS=$(SOAK_ROUNDS) tclsh tests/soak.tcl $(SOAK_COUNT) $(SOAK_CLASSES)

# The soak at a short count under valgrind: no byte of ours lost.
LEAK_COUNT ?= 10
leakcheck: build
	@tools/install-deps --valgrind
	tests/leakcheck $(BUILD) $(LEAK_COUNT)

# The cluster recipes of the README on this machine, as root: the Slurm
# array script on a one-node Slurm (munged, slurmctld, slurmd started for
# the test only), and GNU parallel -S through an sshd of its own.
test-cluster: build
	@tools/install-deps --cluster
	cd $(BUILD) && ctest --output-on-failure -L cluster

# (its earlier name)
test-slurm: test-cluster

# The Debian packages quenz_<version>_<arch>.deb and python3-quenz (the
# Python module), built by dpkg-buildpackage
# (debhelper, dh with CMake) from a copy of the tree in build-deb/, and
# checked by lintian.
deb:
	@tools/install-deps --deb
	tools/build-deb build-deb

# Installs both packages, checks them from outside the tree, removes and purges them.
test-deb: deb
	tests/cluster/deb-test build-deb

clean:
	rm -rf $(BUILD) build-bench build-asan build-fuzz build-deb
