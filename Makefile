# The two commands of the README, and a few for developers.
#   make run    set up, build and start the app
#   make test   set up, build and pass the whole test suite
#   make check  the native build and its tests only (no web build): the quick loop
#   make install PREFIX=DIR   install the programs, the bundle, the desktop entry, icon and manual
#   make deb    a Debian package in build/package
#   make web    build the web site (build-web/site); make serve serves it
#               (HOST=0.0.0.0 for other machines, CERT= KEY= for HTTPS)
BUILD ?= build
SAN_BUILD ?= build-san
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WEB_BUILD ?= build-web
JOBS ?= $(shell nproc)
HOST ?= 127.0.0.1
PORT ?= 8080

# WERROR=ON turns every compiler warning into an error (CI's first build).
WERROR ?= OFF

.PHONY: run test check deps build install deb asan tsan fuzz bench clean web web-deps serve web-measure format format-check

deps:
	@bash scripts/deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVANTA_WERROR=$(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: build web
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -E '^web\.'

# The web build: emscripten's own cmake wrapper over the same tree, with the
# libraries scripts/web-deps.sh builds and the native build's bundle.
# emscripten's JavaScript tools need Debian's node modules (NODE_PATH).
web-deps: deps
	@bash scripts/web-deps.sh $(WEB_BUILD)

web: build web-deps
	NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVANTA_WERROR=$(WERROR) \
	  -DOVANTA_BUNDLE=$(abspath $(BUILD))/Resources -DOVANTA_WEB_ICONS=$(abspath $(BUILD))/icons/web \
	  -DOVANTA_WEB_LIBS=$(abspath $(WEB_BUILD))/libs/prefix \
	  >$(WEB_BUILD)/configure.log 2>&1 || { cat $(WEB_BUILD)/configure.log; exit 1; }
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS)

# CERT=FILE KEY=FILE (PEM) serve HTTPS, which phones need to install the app.
serve: web
	node scripts/web-serve.js $(WEB_BUILD)/site $(HOST) $(PORT) $(CERT) $(KEY)

# Size of the site and speed in headless chromium, printed against their goals.
web-measure: web
	NODE_PATH=$(abspath $(WEB_BUILD))/node/node_modules node scripts/web-measure.js $(WEB_BUILD)/site

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

deb: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/package/*.deb

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOVANTA_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests that run the sound thread and the voice scheduler, under
# ThreadSanitizer (their own build: it cannot share a build with ASan).
TSAN_TESTS = test_sound_service test_sound_effect test_sound_scheduler
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOVANTA_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -R '^(WavDecode|TickService|SDLService|SoundLog|SoundEffectTest|Scheduler)\.'

# clang-format over the sources (.clang-format); format-check changes nothing.
format:
	bash scripts/format.sh
format-check:
	bash scripts/format.sh --check

# libFuzzer targets, built with clang; FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVANTA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $$(ninja -C $(FUZZ_BUILD) -t targets all | sed -n 's/^\([a-z_]*_\(fuzz\|seed\)\): .*/\1/p' | sort -u)
	bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	bash scripts/bench.sh $(BUILD)

# The web libraries' cache (build-web/libs) stays: it takes minutes to
# rebuild and depends only on Debian's source packages.
clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
	find $(WEB_BUILD) -mindepth 1 -maxdepth 1 ! -name libs ! -name node -exec rm -rf {} + 2>/dev/null || true
