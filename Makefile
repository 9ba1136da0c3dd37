# The two commands: `make demo` (the main job) and `make test` (every test).
# Both first install what a fresh machine lacks (scripts/setup.sh).
.PHONY: setup configure dist demo test clean

PRESETS := native win64 win32

setup:
	@scripts/setup.sh

configure: setup
	@for p in $(PRESETS); do cmake --preset $$p >/dev/null || exit 1; done

# The plug-in for 32-bit Windows (dist/win32/varnik.nbp) and its x86-64 twin.
dist: setup
	@for p in win32 win64; do \
	    cmake --preset $$p >/dev/null && cmake --build --preset $$p || exit 1; done

demo: dist
	@scripts/demo.sh

# All three builds, then every test of all three in one CTest run.
test: configure
	@for p in $(PRESETS); do cmake --build --preset $$p || exit 1; done
	@mkdir -p build/all
	@printf 'subdirs("../native" "../win64" "../win32")\n' > build/all/CTestTestfile.cmake
	@ctest --test-dir build/all --output-on-failure -j2

clean:
	rm -rf build dist
