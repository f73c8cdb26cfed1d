# Velquor: `make run` builds and starts the program, `make test` builds and runs every test,
# `make package` builds the Debian package build/package/velquor_<version>_<arch>.deb,
# `make windows` the Windows zip and installer in build-windows/package (cross-built, see the
# README's "Windows" section), `make windows-test` runs the Windows tests under Wine.
BUILD ?= build
WINBUILD ?= build-windows
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test package windows windows-test build deps-run deps-test deps-package deps-windows clean

run: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target velquor
	tools/place-sample-roster.sh $(BUILD)/bin
	cd $(BUILD)/bin && ./velquor

test: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUOR_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

package: deps-package
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target velquor velquor_install_files
	cd $(BUILD) && cpack -G DEB
	ls $(BUILD)/package/velquor_*.deb

windows: deps-windows
	JOBS=$(JOBS) tools/windows/build.sh $(WINBUILD)

windows-test: windows
	tools/windows/test.sh $(WINBUILD)

deps-run:
	tools/install-deps.sh run

deps-test:
	tools/install-deps.sh test

deps-package:
	tools/install-deps.sh package

deps-windows:
	tools/install-deps.sh windows

clean:
	rm -rf $(BUILD) $(WINBUILD)
