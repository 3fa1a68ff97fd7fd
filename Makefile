# Two commands: `make run` and `make test`. Both install what is missing first, then build.
# The program users get is the i686 build. The tests and `make run` use it wherever this host can run
# 32-bit Wine, and the x86_64 build under 64-bit Wine where it cannot (found out once, kept in
# build/host-arch). ARCH=i686 or ARCH=x86_64 forces one.
BUILD   ?= build
BUILD_ABS := $(abspath $(BUILD))
JOBS    ?= $(shell nproc)
# Test programs run side by side, each in a copy of the prefix and on a display of its own.
SLOTS   ?= 4
SCRIPTS := $(CURDIR)/scripts

ifeq ($(ARCH),)
ifneq ($(filter-out clean check-display,$(or $(MAKECMDGOALS),all)),)
ARCH := $(shell bash $(SCRIPTS)/host-arch.sh $(BUILD_ABS)/host-arch)
ifeq ($(ARCH),)
$(error could not find out which build this host runs (see above); set ARCH=i686 or ARCH=x86_64)
endif
endif
endif

OUT     := $(BUILD_ABS)/$(ARCH)
PREFIX  := $(OUT)/wineprefix
OUT32   := $(BUILD_ABS)/i686

# One make at a time builds, prepares the prefixes and runs the tests in a build folder; a second waits.
LOCKED   = bash $(SCRIPTS)/build-lock.sh $(BUILD_ABS) "make $@" $(MAKE) --no-print-directory ARCH=$(ARCH)

.PHONY: all deps configure build program32 prefix prefix-unlocked run test test-unlocked screenshot \
        screenshot-about sample clean check-display test-vm test-vm-unlocked

# Where this host cannot run 32-bit programs, make test also runs the i686 build's tests in a Debian
# guest with 32-bit Wine (scripts/vm-test.sh), unless CTEST_ARGS picks tests; make test-vm runs only that.
VM_TEST := $(filter x86_64,$(shell cat $(BUILD_ABS)/host-arch 2>/dev/null))

check-display:
	@if [ -z "$$DISPLAY" ]; then \
	  echo "make run: no display to show the window on (DISPLAY is not set); run it on a desktop or under xvfb-run." >&2; \
	  exit 1; fi

all: build

deps:
	@bash $(SCRIPTS)/setup-deps.sh $(ARCH)
	@bash $(SCRIPTS)/build-libjpeg.sh $(OUT)/deps $(ARCH)
	@if [ "$(ARCH)" != i686 ]; then bash $(SCRIPTS)/build-libjpeg.sh $(OUT32)/deps i686; fi

# configure-ARCH: the CMake build folder of one architecture.
define configure
	cmake -S . -B $(1) -G "Unix Makefiles" \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-mingw-$(2).cmake \
	  -DJPEG_INCLUDE_DIR=$(1)/deps/libjpeg/include -DJPEG_LIBRARY=$(1)/deps/libjpeg/lib/libjpeg.a \
	  -DCMAKE_CROSSCOMPILING_EMULATOR="$(SCRIPTS)/wine-run.sh;$(1)/wineprefix" $(3)
endef

$(OUT)/CMakeCache.txt: | deps
	$(call configure,$(OUT),$(ARCH),$(if $(filter-out i686,$(ARCH)),-DTABLORIN_I686_PROGRAM=$(OUT32)/src/tablorin.exe))

ifneq ($(ARCH),i686)
$(OUT32)/CMakeCache.txt: | deps
	$(call configure,$(OUT32),i686)
endif

configure: deps $(OUT)/CMakeCache.txt

# The program users get is always built, and checked by the tests, whichever build they run.
program32: deps $(OUT32)/CMakeCache.txt
	@cmake --build $(OUT32) -j$(JOBS) --target tablorin -- --no-print-directory

build: configure program32
	@cmake --build $(OUT) -j$(JOBS) -- --no-print-directory

prefix:
	@$(LOCKED) prefix-unlocked

prefix-unlocked: build
	@bash $(SCRIPTS)/wine-prefix.sh $(PREFIX) $(ARCH)
	@bash $(SCRIPTS)/register-stub.sh $(PREFIX) $(OUT) $(SLOTS)

# Each test program takes a copy of the prefix and a display of its own (scripts/wine-run.sh).
test:
	@$(LOCKED) test-unlocked
ifneq ($(VM_TEST),)
ifeq ($(CTEST_ARGS),)
	@$(LOCKED) test-vm-unlocked
else
	@echo "vm: CTEST_ARGS picks x86_64 tests; the i686 tests in the virtual machine are left out (make test-vm runs them)"
endif
endif

test-unlocked: prefix-unlocked
	@echo "tests: the $(ARCH) build, $(SLOTS) test programs at a time"
	@ctest --test-dir $(OUT) --output-on-failure -j$(SLOTS) $(CTEST_ARGS)

test-vm:
	@$(LOCKED) test-vm-unlocked

test-vm-unlocked: deps $(OUT32)/CMakeCache.txt
	@bash $(SCRIPTS)/vm-test.sh $(BUILD_ABS) $(JOBS)

run: check-display prefix
	@bash $(SCRIPTS)/wine-run.sh $(PREFIX) $(OUT)/src/tablorin.exe

screenshot: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) bash $(SCRIPTS)/screenshot.sh $(PREFIX) $(OUT)

screenshot-about: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) bash $(SCRIPTS)/screenshot-about.sh $(PREFIX) $(OUT)

sample: prefix
	@bash $(SCRIPTS)/with-display.sh $(PREFIX) bash $(SCRIPTS)/sample.sh $(PREFIX) $(OUT)

clean:
	rm -rf $(BUILD_ABS)
