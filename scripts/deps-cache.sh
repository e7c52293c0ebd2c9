# Sourced by scripts/build-windows.sh and scripts/build-web.sh: the libraries a cross
# build links, built once from Debian's source packages into a cache folder outside the
# repository and found there by later builds.

# Source packages come from the same archive as the binary ones, once a deb-src entry
# names it.
enable_deb_src() {
  if apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
    return 0
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Adding Debian's source packages to apt (deb-src)"
  sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
    $sudo tee /etc/apt/sources.list.d/lumorakdemo-deb-src.sources >/dev/null
  $sudo apt-get update -qq
}

# build_cached_prefix LABEL PREFIX BUILD: unless PREFIX is complete, runs BUILD PARTIAL
# WORKDIR into PREFIX.partial, then moves it into place. A build that stops half way
# leaves no PREFIX, so the next one starts again.
build_cached_prefix() {
  local label=$1 prefix=$2 build=$3 started work
  [ -f "$prefix/.complete" ] && return 0
  started=$(date +%s)
  echo "== building the $label dependencies into $prefix"
  work=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" EXIT
  rm -rf "$prefix.partial"
  "$build" "$prefix.partial" "$work"
  # Paths inside the prefix's own files (pkg-config, CMake packages) name the final folder.
  grep -rlI --exclude-dir=licenses "$prefix.partial" "$prefix.partial" |
    xargs -r sed -i "s|$prefix.partial|$prefix|g"
  touch "$prefix.partial/.complete"
  rm -rf "$prefix"
  mv "$prefix.partial" "$prefix"
  rm -rf "$work"
  echo "== $label dependencies built in $(($(date +%s) - started)) s"
}
