# Top-level entry points. Each target installs the Debian packages it needs
# (only when one is missing), configures, builds with -j2 and runs.

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
JOBS       ?= 2
PACKAGES   := cmake g++ make pkg-config libxerces-c-dev zlib1g-dev libgtest-dev \
              libgmock-dev libbenchmark-dev flex bison
# The waveform tools that read exported captures back in the tests.
PACKAGES   += sigrok-cli gtkwave

.PHONY: all deps configure build run test sanitize bench fuzz fuzz-smoke fuzz-coverage clean format

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSDR_WERROR=ON

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/tools/tzo demo --force $(BUILD)/demo.tzo
	./$(BUILD)/tools/tzo info $(BUILD)/demo.tzo
	./$(BUILD)/tools/tzo check $(BUILD)/demo.tzo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

sanitize: deps
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DSDR_SANITIZE=ON -DSDR_WERROR=ON
	cmake --build $(BUILD_SAN) -j$(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j$(JOBS) -E install_consumer

bench: deps
	bash bench/run.sh

fuzz: deps
	bash fuzz/run.sh

fuzz-smoke: deps
	FUZZ_SECONDS=10 bash fuzz/run.sh

fuzz-coverage: deps
	bash fuzz/coverage.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
