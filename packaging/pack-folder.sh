# Sourced by packaging/win64-zip.sh and packaging/web-zip.sh.
#
# pack_folder WORK NAME OUT_ZIP MEMBER...: zips WORK/NAME into OUT_ZIP with sorted names
# and every time SOURCE_DATE_EPOCH (default: the last commit's), so that the same files
# pack to the same bytes; checks that each MEMBER (relative to NAME) is in it and nothing
# lies outside NAME/; writes OUT_ZIP only when all of that holds. Needs die().
pack_folder() {
  local work=$1 name=$2 out_zip=$3 epoch member
  shift 3
  epoch=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "${BASH_SOURCE[0]}")" log -1 --format=%ct)}
  find "$work/$name" -exec touch -h -d "@$epoch" {} +
  (cd "$work" && find "$name" | LC_ALL=C sort | zip -q -X -9 -@ "$work/out.zip")
  unzip -Z1 "$work/out.zip" >"$work/list.txt"
  for member in "$@"; do
    grep -qx "$name/$member" "$work/list.txt" || die "the zip lacks $name/$member"
  done
  ! grep -qv "^$name/" "$work/list.txt" || die "the zip has files outside $name/"
  cp "$work/out.zip" "$out_zip.part"
  mv "$out_zip.part" "$out_zip"
}
