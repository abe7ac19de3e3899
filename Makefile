# The whole set-up on a fresh Debian machine is `make test` or `make demo`.
.PHONY: all deps native win64 test test-native test-win64 demo bench package reproducible clean

all: native win64

deps:
	@scripts/install-deps

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native

win64: deps
	cmake --preset win64 -DINIPLUGIN_MSI=ON >/dev/null
	cmake --build --preset win64

test-native: native
	ctest --preset native

test-win64: win64
	ctest --preset win64

test: test-native test-win64

# The demo installs and builds only what it runs: the DLL and inihost.
demo:
	@scripts/install-deps demo
	cmake --preset win64 -DINIPLUGIN_MSI=OFF >/dev/null
	cmake --build --preset win64 --target IniPlugin inihost
	scripts/demo

# The document benchmark (native), then the end-to-end one under Wine; the
# last line is the end-to-end summary. See bench/README.md.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/document_bench
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 --target IniPlugin end_to_end_profileapi end_to_end_inmemory
	bench/run-end-to-end.sh $(CURDIR)/build/win64

# The release files in build/win64/release: the Windows Installer package, the
# zip and SHA256SUMS, signed when the environment names a certificate (README,
# "Installing on Windows"). Only what they hold is built.
package: deps
	cmake --preset win64 -DINIPLUGIN_MSI=ON >/dev/null
	cmake --build --preset win64 --target iniplugin_release
	@ls build/win64/release/* | sed 's/^/package: /'

# Two builds of the release files in two fresh copies of the tree, compared
# byte for byte (scripts/check-reproducible).
reproducible: deps
	scripts/check-reproducible

clean:
	rm -rf build
