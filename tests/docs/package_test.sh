#!/bin/bash
# Builds the Debian package from a built tree and inspects it: metadata, dependencies, contents,
# and that the packaged program and manual page are the real ones.
# Usage: package_test.sh <build directory> <source directory> [ON when FFmpeg is bundled]
set -u

build=$(realpath "$1")
source=$(realpath "$2")
bundled=${3:-OFF}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Into a directory of its own, so a package the user built in the build directory is left alone.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
mapfile -t packages < <(find "$work/out" -maxdepth 1 -name '*.deb')
if [[ ${#packages[@]} -ne 1 ]]; then
    echo "FAIL: expected one .deb, found ${#packages[@]}"
    exit 1
fi
deb=${packages[0]}
[[ $(basename "$deb") == orvane_1.0.1.0_*.deb ]] || fail "package file name $(basename "$deb")"

info=$(dpkg-deb --info "$deb") || fail "dpkg-deb --info"
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == orvane ]] || fail "Package: $(field Package)"
[[ $(field Version) == 1.0.1.0 ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "Architecture: $(field Architecture)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
[[ -n $(field Description) ]] || fail "no Description"
grep -q '^ Depends: ' <<<"$info" || fail "no Depends line in dpkg-deb --info"

depends=$(field Depends)
needed=$(objdump -p "$build/orvane" | awk '$1 == "NEEDED" {print $2}')
if [[ $bundled == ON ]]; then
    # A build with its own static FFmpeg needs the C and C++ runtimes and nothing else, directly or not.
    while read -r library _; do
        [[ $library =~ ^(linux-vdso|/lib64/ld-linux-x86-64|libc|libm|libstdc\+\+|libgcc_s)\.so ]] ||
            fail "the bundled build loads $library"
    done < <(ldd "$build/orvane")
    grep -q 'libav' <<<"$depends" && fail "Depends names FFmpeg's libraries: $depends"
    for path in ./usr/share/doc/orvane/ffmpeg/COPYING.LGPLv2.1 ./usr/share/doc/orvane/ffmpeg/FFMPEG-BUILD.txt; do
        grep -q " $path\$" < <(dpkg-deb --contents "$deb") || fail "$path is not in the bundled build's package"
    done
else
    # Every FFmpeg library the binary needs must be named, by its Debian package (soname + number);
    # the decoder and its utilities are always needed.
    grep -q '^libavcodec\.so\.' <<<"$needed" || fail "the binary does not link libavcodec"
    grep -q '^libavutil\.so\.' <<<"$needed" || fail "the binary does not link libavutil"
fi
while read -r soname; do
    [[ $soname == libav* ]] || continue
    library=${soname%%.so.*}
    number=${soname##*.so.}
    grep -Eq "(^|, )${library}${number}( |,|$)" <<<"$depends" ||
        fail "Depends does not name ${library}${number} (needed: $soname): $depends"
done <<<"$needed"
grep -Eq '(^|, )libc6( |,|$)' <<<"$depends" || fail "Depends does not name libc6: $depends"

contents=$(dpkg-deb --contents "$deb") || fail "dpkg-deb --contents"
for path in ./usr/bin/orvane ./usr/share/man/man1/orvane.1.gz \
    ./usr/share/bash-completion/completions/orvane ./usr/share/doc/orvane/README.md \
    ./usr/share/doc/orvane/copyright; do
    grep -q " $path\$" <<<"$contents" || fail "$path is not in the package"
done
grep -q -- '-rwxr-xr-x .* ./usr/bin/orvane$' <<<"$contents" || fail "./usr/bin/orvane is not executable"
# Nothing from the test suite is shipped.
if grep -Eq 'orvane_tests|make-dts-sample|\.a$|/include/' <<<"$contents"; then
    fail "test programs or development files in the package"
fi

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
[[ $("$work/root/usr/bin/orvane" --version) == "ORVANE 1.0.1.0" ]] || fail "the packaged program does not run"
cmp -s <(gzip -dc "$work/root/usr/share/man/man1/orvane.1.gz") "$source/docs/orvane.1" ||
    fail "the packaged manual page differs from docs/orvane.1"
# The copyright file is in the machine-readable format, names the MIT licence with LICENSE's own
# text, and says that FFmpeg's libraries come under their own licences.
copyright="$work/root/usr/share/doc/orvane/copyright"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$copyright" ||
    fail "the copyright file is not in the machine-readable format"
grep -q '^License: MIT$' "$copyright" || fail "the copyright file does not name the MIT licence"
grep -q "FFmpeg's libraries" "$copyright" || fail "the copyright file does not mention FFmpeg's libraries"
# (the stand-alone licence paragraph is the file's last one)
cmp -s <(tac "$copyright" | sed '/^License: MIT$/q' | tac | tail -n +2 | sed 's/^ //; s/^\.$//') \
    <(sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE") ||
    fail "the licence text in the copyright file differs from LICENSE"
cmp -s "$work/root/usr/share/bash-completion/completions/orvane" "$source/completions/orvane" ||
    fail "the packaged completion script differs from completions/orvane"

if ((failures > 0)); then
    echo "$info"
    echo "$contents"
    exit 1
fi
echo "package $(basename "$deb") checked"
