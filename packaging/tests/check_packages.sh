#!/usr/bin/env bash
# Builds the Debian packages from the build tree into a temporary folder, unpacks them and checks
# what `apt install` would put on a system: the file list, the control data, that the unpacked
# programs run with their own libraries, and the desktop entry, metainfo, file type, icons and
# manual pages with Debian's own tools.
#   check_packages.sh <cpack> <build dir> <version> <libdir relative to the prefix>
set -euo pipefail
cpack=$1 build=$2 version=$3 libdir=$4

for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli update-mime-database groff; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/lumatrace-packages.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
id=org.lumatrace.Lumatrace

# The file list of each package, exactly.
expected_lumatrace="./usr/bin/lumatrace
./usr/$libdir/libzep9100.so
./usr/$libdir/libzep9100fft.so
./usr/share/applications/$id.desktop"
for size in 128 16 22 24 256 32 48 64; do
  expected_lumatrace+="
./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
done
expected_lumatrace+="
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/lumatrace.1.gz
./usr/share/metainfo/$id.metainfo.xml
./usr/share/mime/packages/$id.xml"
expected_zeptool="./usr/bin/zeptool
./usr/share/man/man1/zeptool.1.gz"

for pkg in lumatrace zeptool; do
  deb=$tmp/out/${pkg}_${version}-1_${arch}.deb
  if [ ! -f "$deb" ]; then
    fail "$pkg: no $(basename "$deb") among: $(cd "$tmp/out" && ls ./*.deb 2>/dev/null)"
    continue
  fi
  mkdir -p "$tmp/root/$pkg"
  dpkg-deb -x "$deb" "$tmp/root/$pkg"
  files=$(cd "$tmp/root/$pkg" && find . -type f -o -type l | LC_ALL=C sort)
  want=expected_$pkg
  want=$(LC_ALL=C sort <<<"${!want}")
  if [ "$files" != "$want" ]; then
    fail "$pkg: file list differs"
    diff <(echo "$want") <(echo "$files") >&2 || true
  fi

  [ "$(dpkg-deb -f "$deb" Package)" = "$pkg" ] || fail "$pkg: Package field"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "$pkg: Version is not $version-1"
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "$pkg Depends: $depends"
  required="libc6 libstdc++6"
  [ "$pkg" = lumatrace ] && required+=" libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libjpeg62-turbo"
  for dep in $required; do
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ |].*//' | grep -qxF -- "$dep" ||
      fail "$pkg: Depends lacks $dep (dpkg-shlibdeps)"
  done

  # Maintainer scripts: none of our own. CPack adds an ldconfig call for libraries in the public
  # library folder; anything else would be new.
  dpkg-deb -e "$deb" "$tmp/control-$pkg"
  members=$(cd "$tmp/control-$pkg" && ls | LC_ALL=C sort | tr '\n' ' ')
  allowed="control md5sums "
  [ "$pkg" = lumatrace ] && allowed="control md5sums postinst postrm "
  [ "$members" = "$allowed" ] || fail "$pkg: control members are '$members', expected '$allowed'"
  for script in postinst postrm; do
    f=$tmp/control-$pkg/$script
    if [ -f "$f" ] && grep -Ev '^(#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|)$' "$f" >&2; then
      fail "$pkg: $script does more than call ldconfig"
    fi
  done
done

# The unpacked programs run from the unpacked tree, with nothing from the build tree or a library
# path: the program finds its two libraries through its RUNPATH.
root=$tmp/root/lumatrace
run() {
  env -u LD_LIBRARY_PATH -u APPDATA -u XDG_CONFIG_HOME -u ZEP9100_VIRTUAL \
    HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen "$@"
}
mkdir -p "$tmp/home" "$tmp/run"
chmod 700 "$tmp/run"

if [ -x "$tmp/root/zeptool/usr/bin/zeptool" ]; then
  if run "$tmp/root/zeptool/usr/bin/zeptool" --help >"$tmp/zeptool-help" 2>&1; then
    grep -q '^usage: zeptool COMMAND' "$tmp/zeptool-help" || fail "zeptool --help: no usage line"
  else
    fail "zeptool --help failed: $(cat "$tmp/zeptool-help")"
  fi
fi

if [ -x "$root/usr/bin/lumatrace" ]; then
  out=$(run "$root/usr/bin/lumatrace" --version 2>&1) || fail "lumatrace --version failed: $out"
  grep -qx "Lumatrace $version" <<<"$out" || fail "lumatrace --version printed: $out"

  # A short run on the virtual instrument: it loads both libraries from the unpacked tree,
  # acquires and closes in order (writing its parameter file).
  if ! run env LD_DEBUG=files "$root/usr/bin/lumatrace" --auto --quit-after 1 \
      >"$tmp/run.out" 2>"$tmp/run.err"; then
    grep -v '^ *[0-9]*:' "$tmp/run.err" >&2 || true
    fail "lumatrace --auto --quit-after 1 failed"
  fi
  for lib in libzep9100.so libzep9100fft.so; do
    grep -q "opening file=$root/usr/bin/../$libdir/$lib " "$tmp/run.err" ||
      fail "lumatrace did not load $lib from $root/usr/$libdir"
  done
  [ -f "$tmp/home/.config/ORVEX/ZEP-9100/Zep9100.prm" ] ||
    fail "lumatrace did not close in order (no parameter file written)"

  # The English translation is built into the program, so the unpacked one has it: its message
  # for the missing manual comes in English (on standard error, as the run is unattended).
  out=$(run env LUMATRACE_LANG=en "$root/usr/bin/lumatrace" --trigger M_Help --quit-after 1 2>&1) ||
    fail "LUMATRACE_LANG=en lumatrace --trigger M_Help --quit-after 1 failed: $out"
  grep -qF "The user's manual zep9100_man.pdf cannot be opened." <<<"$out" ||
    fail "lumatrace in English did not show the English message: $out"
fi

# Desktop entry and metainfo, by Debian's validators; the entry opens a waveform set.
desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate $id.desktop"
  grep -qx 'Exec=lumatrace %f' "$desktop" || fail "desktop entry: Exec does not take a file"
  grep -qx "Icon=$id" "$desktop" || fail "desktop entry: Icon is not $id"
  grep -Eq '^MimeType=(.*;)?application/x-zep9100-waveform-set;' "$desktop" ||
    fail "desktop entry: no MimeType for waveform sets"
fi
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $id.metainfo.xml"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo: no release $version"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo: launchable is not $id.desktop"
fi

# The file type: the MIME database compiled from our definition alone matches *.zep and the
# index's first line, "≪ ZEP-9100 CSV Files ≫" in code page 932.
mime=$root/usr/share/mime/packages/$id.xml
if [ -f "$mime" ]; then
  mkdir -p "$tmp/mime/packages"
  cp "$mime" "$tmp/mime/packages/"
  if update-mime-database "$tmp/mime" >"$tmp/mime.log" 2>&1 && ! grep -qi 'error\|warning' "$tmp/mime.log"; then
    grep -qx '50:application/x-zep9100-waveform-set:\*.zep' "$tmp/mime/globs2" ||
      fail "mime: no *.zep glob"
    grep -q 'application/x-zep9100-waveform-set' "$tmp/mime/magic" || fail "mime: no magic rule"
    grep -aqF "$(printf '\x81\xe1 ZEP-9100 CSV Files \x81\xe2')" "$tmp/mime/magic" ||
      fail "mime: the magic rule is not the CP932 first line of an index"
  else
    cat "$tmp/mime.log" >&2
    fail "update-mime-database rejected $id.xml"
  fi
fi

# Icons: every PNG is the size its folder says.
for png in "$root"/usr/share/icons/hicolor/*x*/apps/$id.png; do
  [ -f "$png" ] || continue
  size=$(basename "$(dirname "$(dirname "$png")")")
  w=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$w" = "$size" ] || fail "icon $size is $w"
done

# Manual pages: compressed, render without groff warnings, and name every option the programs
# list in their help.
for pkg in lumatrace zeptool; do
  page=$tmp/root/$pkg/usr/share/man/man1/$pkg.1.gz
  [ -f "$page" ] || continue
  gzip -t "$page" || fail "$pkg.1.gz is not gzip"
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1) || true
  [ -z "$warnings" ] || fail "$pkg.1: groff: $warnings"
  zcat "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g' >"$tmp/$pkg.man"
done
if [ -f "$tmp/lumatrace.man" ]; then
  run "$root/usr/bin/lumatrace" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u |
    while read -r option; do
      grep -qF -- "$option" "$tmp/lumatrace.man" || echo "$option"
    done >"$tmp/missing-options"
  [ ! -s "$tmp/missing-options" ] ||
    fail "lumatrace.1 lacks options: $(tr '\n' ' ' <"$tmp/missing-options")"
fi
if [ -f "$tmp/zeptool.man" ] && [ -f "$tmp/zeptool-help" ]; then
  sed -n '/^commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p' "$tmp/zeptool-help" | while read -r command; do
    grep -q "^\.B[IR]\? $command\b\|^\.B zeptool $command\b" "$tmp/zeptool.man" || echo "$command"
  done >"$tmp/missing-commands"
  grep -oE -- '--?[a-z][a-z-]*' "$tmp/zeptool-help" | sort -u | while read -r option; do
    grep -qF -- "$option" "$tmp/zeptool.man" || echo "$option"
  done >>"$tmp/missing-commands"
  [ ! -s "$tmp/missing-commands" ] ||
    fail "zeptool.1 lacks: $(tr '\n' ' ' <"$tmp/missing-commands")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "packages: $(cd "$tmp/out" && ls ./*.deb | tr '\n' ' ')all checks passed"
