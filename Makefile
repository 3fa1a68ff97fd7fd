# Two commands: `make run` and `make test`. Both install what is missing first, then build.
BUILD   ?= build
BUILD_ABS := $(abspath $(BUILD))
DEPS    := $(BUILD_ABS)/deps
PREFIX  := $(BUILD_ABS)/wineprefix
JOBS    ?= $(shell nproc)
SCRIPTS := $(CURDIR)/scripts

.PHONY: all deps configure build prefix run test screenshot screenshot-about clean check-display

check-display:
	@if [ -z "$$DISPLAY" ]; then \
	  echo "make run: no display to show the window on (DISPLAY is not set); run it on a desktop or under xvfb-run." >&2; \
	  exit 1; fi

all: build

deps:
	@bash $(SCRIPTS)/setup-deps.sh
	@bash $(SCRIPTS)/build-libjpeg.sh $(DEPS)

$(BUILD_ABS)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_ABS) -G "Unix Makefiles" \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-mingw-i686.cmake \
	  -DJPEG_INCLUDE_DIR=$(DEPS)/libjpeg/include -DJPEG_LIBRARY=$(DEPS)/libjpeg/lib/libjpeg.a \
	  -DCMAKE_CROSSCOMPILING_EMULATOR="$(SCRIPTS)/wine-run.sh;$(PREFIX)"

configure: deps $(BUILD_ABS)/CMakeCache.txt

build: configure
	@cmake --build $(BUILD_ABS) -j$(JOBS) -- --no-print-directory

prefix: build
	@bash $(SCRIPTS)/wine-prefix.sh $(PREFIX)
	@bash $(SCRIPTS)/register-stub.sh $(PREFIX) $(BUILD_ABS)

test: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) \
	  ctest --test-dir $(BUILD_ABS) --output-on-failure $(CTEST_ARGS)

run: check-display prefix
	@bash $(SCRIPTS)/wine-run.sh $(PREFIX) $(BUILD_ABS)/src/tablorin.exe

screenshot: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) bash $(SCRIPTS)/screenshot.sh $(PREFIX) $(BUILD_ABS)

screenshot-about: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) bash $(SCRIPTS)/screenshot-about.sh $(PREFIX) $(BUILD_ABS)

clean:
	rm -rf $(BUILD_ABS)
