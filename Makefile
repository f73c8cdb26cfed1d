# Velquor: `make run` builds and starts the program, `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test build deps-run deps-test clean

run: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target velquor
	tools/place-sample-roster.sh $(BUILD)/bin
	cd $(BUILD)/bin && ./velquor

test: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUOR_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

deps-run:
	tools/install-deps.sh run

deps-test:
	tools/install-deps.sh test

clean:
	rm -rf $(BUILD)
