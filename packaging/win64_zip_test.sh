#!/usr/bin/env bash
# packaging/win64-zip.sh on small programs cross-built here: the DLLs a program needs are
# bundled, those of its DLLs too, from the dependencies' prefix or the compiler's runtime;
# one found nowhere fails with no zip; the exe and DLLs lose their symbols; one folder
# with the data, the .nfo and every licence; the same input gives the same bytes.
# Needs the cross compiler (scripts/install-deps.sh --windows), zip and unzip (--release);
# exits 77 (skipped) without.
#
# Usage: win64_zip_test.sh <repository root>
set -euo pipefail
root=$(readlink -f "$1")
mingw=x86_64-w64-mingw32
for tool in $mingw-g++-posix zip unzip; do
  command -v $tool >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
. "$root/tests/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
pack="$root/packaging/win64-zip.sh"
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC

# A dependencies' prefix as scripts/build-windows.sh leaves it: licences, and a DLL.
mkdir -p deps/bin deps/licenses
echo "Example licence" >deps/licenses/example.txt
echo 'int __declspec(dllexport) answer(void) { return 42; }' >answer.c
$mingw-gcc-posix -shared -o deps/bin/answer.dll answer.c -Wl,--out-implib,libanswer.dll.a
echo 'int answer(void); int main(void) { return answer() == 42 ? 0 : 1; }' >uses.c
$mingw-gcc-posix -g -o uses-answer.exe uses.c -L. -lanswer
# libstdc++ as a DLL, which loads libwinpthread in turn.
printf '#include <iostream>\nint main() { std::cout << "hi\\n"; }\n' >hello.cpp
$mingw-g++-posix -g -o hello.exe hello.cpp
# A DLL that nothing here provides.
mkdir nowhere
echo 'int __declspec(dllexport) lost(void) { return 1; }' >lost.c
$mingw-gcc-posix -shared -o nowhere/lost.dll lost.c -Wl,--out-implib,liblost.dll.a
echo 'int lost(void); int main(void) { return lost(); }' >lost-main.c
$mingw-gcc-posix -o uses-lost.exe lost-main.c -L. -llost

unpack() {  # unpack ZIP: its listing in list.txt, its files under out/
  rm -rf out && mkdir out && unzip -q -d out "$1" && unzip -Z1 "$1" >list.txt
}
symbols() { $mingw-objdump -t "$1" | grep -c '^\[' || true; }

bundles_runtime() {
  expect_exit 0 bash "$pack" hello.exe deps lumorakdemo-9.9.9-win64.zip && unpack lumorakdemo-9.9.9-win64.zip || return 1
  local d=out/lumorakdemo-9.9.9-win64 dll
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    [ -f "$d/$dll" ] || { echo "no $dll"; ls "$d"; return 1; }
  done
}
check "libstdc++ and what it loads, libgcc and winpthreads, go beside the exe" bundles_runtime

one_folder_complete() {
  local d=out/lumorakdemo-9.9.9-win64
  ! grep -qv '^lumorakdemo-9.9.9-win64/' list.txt || { echo "outside the folder:"; grep -v '^lumorakdemo-9.9.9-win64/' list.txt; return 1; }
  diff <(cd "$root" && git ls-files data | sort) <(cd "$d" && find data -type f | sort) || return 1
  cmp "$root/packaging/lumorakdemo.nfo" "$d/lumorakdemo.nfo" && cmp "$root/LICENSE" "$d/LICENSE" || return 1
  local l
  for l in example.txt GPL-3.txt mingw-w64-gcc-libstdc++-libgcc.txt mingw-w64-winpthreads-crt.txt; do
    [ -s "$d/licenses/$l" ] || { echo "no licenses/$l"; return 1; }
  done
  grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$d/licenses/mingw-w64-gcc-libstdc++-libgcc.txt" &&
    grep -q "winpthreads" "$d/licenses/mingw-w64-winpthreads-crt.txt"
}
check "one folder: data as committed, the .nfo, LICENSE and every licence" one_folder_complete

stripped() {
  local d=out/lumorakdemo-9.9.9-win64
  [ "$(symbols hello.exe)" -gt 0 ] || { echo "the test program has no symbols to strip"; return 1; }
  [ "$(symbols "$d/lumorakdemo.exe")" -eq 0 ] || { echo "the exe keeps symbols"; return 1; }
  ! $mingw-objdump -h "$d/lumorakdemo.exe" | grep -q '\.debug' || { echo "the exe keeps debug sections"; return 1; }
  [ "$(stat -c %s "$d/libstdc++-6.dll")" -lt "$(stat -c %s "$(find /usr/lib/gcc/$mingw/*-posix -name libstdc++-6.dll | head -n 1)")" ] ||
    { echo "libstdc++-6.dll was not stripped"; return 1; }
}
check "the exe and the DLLs are stripped" stripped

from_prefix() {
  expect_exit 0 bash "$pack" uses-answer.exe deps answer.zip && unpack answer.zip &&
    [ -f out/answer/answer.dll ] && [ ! -e out/answer/libstdc++-6.dll ]
}
check "a DLL of the dependencies goes in, and nothing the exe does not load" from_prefix

missing_dll() {
  expect_exit 1 bash "$pack" uses-lost.exe deps lost.zip && says "needs lost.dll" &&
    [ ! -e lost.zip ] && [ ! -e lost.zip.part ]
}
check "a DLL found nowhere: status 1, named, no zip" missing_dll

reproducible() {
  mkdir -p second &&
    expect_exit 0 bash "$pack" hello.exe deps second/lumorakdemo-9.9.9-win64.zip &&
    cmp lumorakdemo-9.9.9-win64.zip second/lumorakdemo-9.9.9-win64.zip || return 1
  # Every member carries SOURCE_DATE_EPOCH (zip keeps local time: TZ is UTC here).
  ! unzip -Z -T lumorakdemo-9.9.9-win64.zip | grep '^[-d]' | grep -v ' 20231114\.221320 ' ||
    { echo "members with other times"; return 1; }
}
check "the same input packs to the same bytes, at the given time" reproducible

bad_usage() {
  expect_exit 2 bash "$pack" hello.exe deps && expect_exit 1 bash "$pack" hello.exe nowhere x.zip &&
    says "no licenses/"
}
check "too few arguments: status 2; a prefix without licences: status 1" bad_usage
finish_checks
echo "win64 zip test passed"
