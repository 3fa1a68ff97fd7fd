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
# The program users get is built alone, with the tests, the benchmarks and the stand-in off: that
# configure needs the compiler, windres and libjpeg, and may not even find zlib or GoogleTest.
ALONE   := $(BUILD_ABS)/i686-alone
ALONE_OPTIONS := -DTABLORIN_BUILD_TESTS=OFF -DTABLORIN_BUILD_BENCH=OFF -DTABLORIN_BUILD_WORDSTUB=OFF \
                 -DCMAKE_DISABLE_FIND_PACKAGE_ZLIB=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON --no-warn-unused-cli
# clang compiles src/ and common/ for the triplets built here, as a second compiler's warnings.
CLANG_ARCHS := $(sort i686 $(ARCH))

# One make at a time builds, prepares the prefixes and runs the tests in a build folder; a second waits.
LOCKED   = bash $(SCRIPTS)/build-lock.sh $(BUILD_ABS) "make $@" $(MAKE) --no-print-directory ARCH=$(ARCH)

.PHONY: all deps configure build program32 clang prefix prefix-unlocked run test test-unlocked screenshot \
        screenshot-about sample clean check-display test-vm test-vm-unlocked

# Where this host cannot run 32-bit programs, make test also runs the i686 build's tests in a Debian
# guest with 32-bit Wine (scripts/vm-test.sh), unless CTEST_ARGS picks tests; make test-vm runs only that.
VM_TEST := $(and $(filter x86_64,$(ARCH)),$(filter x86_64,$(shell cat $(BUILD_ABS)/host-arch 2>/dev/null)))

check-display:
	@if [ -z "$$DISPLAY" ]; then \
	  echo "make run: no display to show the window on (DISPLAY is not set); run it on a desktop or under xvfb-run." >&2; \
	  exit 1; fi

all: build

deps:
	@bash $(SCRIPTS)/setup-deps.sh $(ARCH)
	@bash $(SCRIPTS)/build-libjpeg.sh $(OUT)/deps $(ARCH)
	@if [ "$(ARCH)" != i686 ]; then bash $(SCRIPTS)/build-libjpeg.sh $(OUT32)/deps i686; fi

# $(call configure,FOLDER,TOOLCHAIN,ARCH,OPTIONS): a CMake build folder with the libjpeg of ARCH. A
# changed Makefile configures again, so that the folders take its options (CMake leaves a cache
# that did not change as it was).
define configure
	cmake -S . -B $(1) -G "Unix Makefiles" \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$(2).cmake \
	  -DJPEG_INCLUDE_DIR=$(BUILD_ABS)/$(3)/deps/libjpeg/include \
	  -DJPEG_LIBRARY=$(BUILD_ABS)/$(3)/deps/libjpeg/lib/libjpeg.a $(4)
	touch $(1)/CMakeCache.txt
endef

$(OUT)/CMakeCache.txt: Makefile | deps
	$(call configure,$(OUT),mingw-$(ARCH),$(ARCH),-DTABLORIN_I686_PROGRAM=$(ALONE)/src/tablorin.exe \
	  -DCMAKE_CROSSCOMPILING_EMULATOR="$(SCRIPTS)/wine-run.sh;$(OUT)/wineprefix")

# The i686 test programs the guest runs (scripts/vm-test.sh), where the tests here run on x86_64.
ifneq ($(ARCH),i686)
$(OUT32)/CMakeCache.txt: Makefile | deps
	$(call configure,$(OUT32),mingw-i686,i686,-DTABLORIN_BUILD_BENCH=OFF)
endif

$(ALONE)/CMakeCache.txt: Makefile | deps
	$(call configure,$(ALONE),mingw-i686,i686,$(ALONE_OPTIONS))

$(BUILD_ABS)/%-clang/CMakeCache.txt: Makefile | deps
	$(call configure,$(BUILD_ABS)/$*-clang,clang-$*,$*,$(ALONE_OPTIONS))

configure: deps $(OUT)/CMakeCache.txt

# The program users get is always built, and checked by the tests, whichever build they run.
program32: deps $(ALONE)/CMakeCache.txt
	@cmake --build $(ALONE) -j$(JOBS) -- --no-print-directory

# clang compiles only (it links nothing here): the program's library and its entry point.
clang: deps $(foreach a,$(CLANG_ARCHS),$(BUILD_ABS)/$(a)-clang/CMakeCache.txt)
	@for a in $(CLANG_ARCHS); do \
	  cmake --build $(BUILD_ABS)/$$a-clang -j$(JOBS) --target tablorin_app -- --no-print-directory && \
	  $(MAKE) -C $(BUILD_ABS)/$$a-clang/src --no-print-directory tablorin.cpp.obj || exit 1; done

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

test-unlocked: prefix-unlocked clang
	@echo "tests: the $(ARCH) build, $(SLOTS) test programs at a time"
	@ctest --test-dir $(OUT) --output-on-failure -j$(SLOTS) $(CTEST_ARGS)

test-vm:
	@$(LOCKED) test-vm-unlocked

test-vm-unlocked: program32 $(OUT32)/CMakeCache.txt
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
