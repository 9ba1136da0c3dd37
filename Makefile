# The two commands: `make demo` (the main job) and `make test` (every test).
# Both first install what a fresh machine lacks (scripts/setup.sh).
.PHONY: setup prerequisites configure dist reproducible fresh-check demo test bench soak clean

PRESETS := native win64 win32

# Installs what is missing (as root: `sudo make setup`).
setup:
	@scripts/setup.sh

# The same, before a build; 32-bit Wine that could not be had today is not
# tried again on every build.
prerequisites:
	@scripts/setup.sh --for-build

configure: prerequisites
	@for p in $(PRESETS); do cmake --preset $$p >/dev/null || exit 1; done

# The plug-in for 32-bit Windows (dist/win32/varnik.nbp), its x86-64 twin,
# and the release archive dist/varnik-1.0.zip; no test programs.
dist: prerequisites
	@cmake --preset win32 >/dev/null && cmake --build --preset win32 --target varnik varnik-host
	@cmake --preset win64 >/dev/null && cmake --build --preset win64 --target varnik
	@scripts/package.sh

# The release archive of this commit, built twice in two folders: the same bytes.
reproducible: prerequisites
	@scripts/check-reproducible.sh

# What a newcomer sees: this commit alone in fresh, minimal Debian 12 and 13
# roots (made once a day), `make demo` then `make test` as root inside each.
# Needs root; downloads about a gigabyte of packages per release, so it is
# not part of `make test`.
fresh-check:
	@scripts/fresh-check.sh

# The demo builds what it runs, of the build this machine can run.
demo: prerequisites
	@scripts/demo.sh

# All three builds, then every test of all three in one CTest run, and why
# any test was skipped (CTest's summary lists skips without their reasons)
# or passed only when run again after Wine itself died.
test: configure
	@for p in $(PRESETS); do cmake --build --preset $$p || exit 1; done
	@mkdir -p build/all && rm -f build/all/results.xml
	@printf 'subdirs("../native" "../win64" "../win32")\n' > build/all/CTestTestfile.cmake
	@ctest --test-dir build/all --output-on-failure -j2 --output-junit results.xml; \
	    rc=$$?; scripts/ctest-skips build/all/results.xml; exit $$rc

# Runs a Wine program against the 32-bit product, or against the x86-64 twin
# where this machine runs no 32-bit code (the program then exits with 77).
# Any other failure is the target's failure.
define run-on-product
cmake --build --preset win32 --target $(1) varnik && \
	    scripts/wine-run build/win32/$(1).exe Z:$(CURDIR)/dist/win32/varnik.nbp; \
	    rc=$$?; [ $$rc -eq 77 ] || exit $$rc; \
	    cmake --build --preset win64 --target $(1) varnik && \
	    scripts/wine-run build/win64/$(1).exe Z:$(CURDIR)/dist/win64/varnik.nbp
endef

# Speed: the report builder against a plain copy (native), and one volume
# event under Wine, sent directly and broadcast, each against its floor.
bench: configure
	@cmake --build --preset native --target report_bench
	@build/native/report_bench
	@$(call run-on-product,varnik-broadcast-bench)

# Resources and per-event time over 1,000 load-to-free cycles and 100,000
# events (a few minutes).
soak: configure
	@$(call run-on-product,varnik-soak)

clean:
	rm -rf build dist
