#!/usr/bin/env bash
# Installs the build into a temporary root, either with `cmake --install` ("tree") or as the Debian
# package unpacked with `dpkg -x` ("deb"), and checks what lands there and that it runs from there.
# Usage: check-install.sh tree|deb BUILD_DIR SOURCE_DIR
set -euo pipefail
mode=$1 build=$2 source=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/vl-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected_files() {
  cat <<'LIST'
bin/vldata
bin/vldemo
bin/vldesigner
bin/vlreport
lib/vldemo/libvlcom.so
lib/vldemo/logo.svg
lib/vldemo/test.vld
lib/vldemo/vldemo
lib/vldemo/vlreportctl.classreg
lib/vldemo/vlreportctl.so
share/applications/vldemo.desktop
share/applications/vldesigner.desktop
share/doc/vldemo/README.md
share/doc/vldemo/install.md
share/icons/hicolor/scalable/apps/vldemo.svg
share/icons/hicolor/scalable/apps/vldesigner.svg
share/man/man1/vldata.1.gz
share/man/man1/vldesigner.1.gz
share/man/man1/vlreport.1.gz
share/vldemo/grouped.vld
share/vldemo/logo.svg
share/vldemo/samples/test.mdb
share/vldemo/samples/test.sql
share/vldemo/test.vld
LIST
}

# Checks an installed prefix: $1 the folder holding it now, $2 the prefix it was installed for.
check_prefix() {
  local root=$1 prefix=$2
  diff -u <(expected_files) <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) \
    || fail "installed files differ from the expected list"

  # The program runs from lib/vldemo/ as from the run folder: template and plug-in beside its file.
  [ -L "$root/bin/vldemo" ] || fail "bin/vldemo is not a symbolic link"
  [ "$(readlink -f "$root/bin/vldemo")" = "$(readlink -f "$root/lib/vldemo/vldemo")" ] || fail "bin/vldemo points elsewhere"
  cmp -s "$root/lib/vldemo/test.vld" "$source/samples/test.vld" || fail "lib/vldemo/test.vld is not the template"
  [ "$(readlink -f "$root/lib/vldemo/test.vld")" = "$(readlink -f "$root/share/vldemo/test.vld")" ] \
    || fail "the template beside the program is not the shared one"
  [ "$(readlink -f "$root/lib/vldemo/logo.svg")" = "$(readlink -f "$root/share/vldemo/logo.svg")" ] \
    || fail "the logo beside the program is not the shared one"
  read -r _ plugin < "$root/lib/vldemo/vlreportctl.classreg"
  [ -f "$root/lib/vldemo/$plugin" ] || fail "the registration names $plugin, which is not beside it"

  # Every binary finds its libraries, libvlcom.so through its run path inside this root.
  for binary in bin/vldata bin/vlreport bin/vldesigner lib/vldemo/vldemo lib/vldemo/vlreportctl.so; do
    local libraries lib
    libraries=$(env -u LD_LIBRARY_PATH ldd "$root/$binary")
    ! grep -q 'not found' <<<"$libraries" || fail "$binary: $(grep 'not found' <<<"$libraries")"
    lib=$(awk '/libvlcom/ {print $3}' <<<"$libraries")
    [ -z "$lib" ] || [ "$(readlink -f "$lib")" = "$(readlink -f "$root/lib/vldemo/libvlcom.so")" ] \
      || fail "$binary loads libvlcom from $lib"
  done
  env -u LD_LIBRARY_PATH "$root/bin/vldata" --help | grep -q '^usage: vldata' || fail "vldata --help"
  local version
  version=$(env -u LD_LIBRARY_PATH "$root/bin/vlreport" --version)
  [[ $version == "vlreport "* ]] || fail "vlreport --version said '$version'"

  # Manual pages: the version of the tools, and every option their usage names.
  for tool in vldata vlreport; do
    local page=$root/share/man/man1/$tool.1.gz text
    gzip -t "$page" || fail "$page is no gzip file"
    text=$(gzip -dc "$page")
    grep -q "^\.TH ${tool^^} 1 .* \"vldemo ${version#vlreport }\"" <<<"$text" || fail "$tool.1 is not of version ${version#vlreport }"
    for option in $("$root/bin/$tool" --help | grep -oE '^  -(-[a-z-]+|o)' | sort -u); do
      grep -qF -- "$(sed 's/-/\\-/g' <<<"$option")" <<<"$text" || fail "$tool.1 does not describe $option"
    done
    if command -v groff >/dev/null; then
      local warnings
      warnings=$(gzip -dc "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
      [ -z "$warnings" ] || fail "$tool.1: $warnings"
    fi
  done

  # Desktop entry and icon.
  local desktop=$root/share/applications/vldemo.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
  grep -qx "Path=$prefix/share/vldemo/samples" "$desktop" || fail "the entry does not start in $prefix/share/vldemo/samples"
  grep -qx 'Exec=vldemo' "$desktop" || fail "the entry does not start vldemo"
  grep -qx 'Icon=vldemo' "$desktop" || fail "the entry's icon is not vldemo"
  [ "$(file -b --mime-type "$root/share/icons/hicolor/scalable/apps/vldemo.svg")" = image/svg+xml ] || fail "the icon is no SVG"
  desktop-file-validate "$root/share/applications/vldesigner.desktop" || fail "desktop-file-validate refused vldesigner's entry"
  grep -qx 'Icon=vldesigner' "$root/share/applications/vldesigner.desktop" || fail "vldesigner's icon is not vldesigner"
  [ "$(file -b --mime-type "$root/share/icons/hicolor/scalable/apps/vldesigner.svg")" = image/svg+xml ] || fail "vldesigner's icon is no SVG"
  env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen "$root/bin/vldesigner" --version | grep -q '^vldesigner ' || fail "vldesigner --version"

  # The installed tool renders the installed sample, started where the README says.
  (cd "$root/share/vldemo/samples" && env -u LD_LIBRARY_PATH "$root/bin/vlreport" ../test.vld \
    --master "select * from Bas_Department order by deptno" \
    --detail Detail "select * from Bas_Employee order by deptno" --relation DeptNo=DeptNo \
    --pdf "$work/sample.pdf") || fail "the installed vlreport could not render the installed sample"
  pdfinfo "$work/sample.pdf" | grep -qE '^Pages: +[1-9]' || fail "the sample PDF has no pages"
  cmp -s "$root/share/vldemo/grouped.vld" "$source/samples/grouped.vld" || fail "share/vldemo/grouped.vld is not the grouped sample"
  (cd "$root/share/vldemo/samples" && env -u LD_LIBRARY_PATH "$root/bin/vlreport" ../grouped.vld \
    --master "select * from Bas_Department order by deptno" \
    --detail Detail "select * from Bas_Employee order by deptno, sex, empno" --relation DeptNo=DeptNo \
    --pdf "$work/grouped.pdf") || fail "the installed vlreport could not render the grouped sample"
  pdfinfo "$work/grouped.pdf" | grep -qE '^Pages: +[1-9]' || fail "the grouped sample PDF has no pages"

  # The installed program loads the plug-in that lies beside it; it runs until stopped.
  local log=$work/vldemo.log status=0
  (cd "$root/share/vldemo/samples" && QT_QPA_PLATFORM=offscreen LD_DEBUG=files env -u LD_LIBRARY_PATH \
    timeout 6 "$root/bin/vldemo" >"$log" 2>&1) || status=$?
  [ "$status" = 124 ] || { cat "$log" >&2; fail "vldemo ended with $status before it was stopped"; }
  grep -q "file=$(readlink -f "$root/lib/vldemo")/vlreportctl.so" "$log" \
    || { grep vlreportctl "$log" >&2 || true; fail "vldemo did not load the plug-in beside it"; }
}

case $mode in
tree)
  cmake --install "$build" --prefix "$work/root" >/dev/null
  check_prefix "$work/root" "$work/root"
  ;;
deb)
  cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" "$work"/package/_CPack_Packages/*/DEB/*.log >&2; fail "cpack"; }
  deb=$(ls "$work"/package/*.deb)
  [ "$(dpkg-deb -f "$deb" Package)" = vldemo ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
  depends=$(dpkg-deb -f "$deb" Depends)
  # What dpkg-shlibdeps found: the C and C++ run time, Qt and SQLite, and never our own library.
  names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
  for package in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libpugixml1v5; do
    grep -qxF "$package" <<<"$names" || fail "Depends lacks $package: $depends"
  done
  ! grep -q vlcom <<<"$depends" || fail "Depends names our own library: $depends"
  dpkg -x "$deb" "$work/root"
  [ -z "$(find "$work/root" -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "the package puts files outside /usr"
  check_prefix "$work/root/usr" /usr
  file -L "$work/root/usr/lib/vldemo/vldemo" | grep -q ', stripped' || fail "the program is not stripped"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
echo "install check ($mode) passed"
