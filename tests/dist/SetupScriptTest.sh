#!/usr/bin/env bash
# Runs scripts/setup against stand-ins for id, dpkg-query, sudo and apt-get,
# with a PATH that holds nothing else, and checks what it would install:
# running needs no test-only package, --test and --package add theirs, and a
# user with neither root nor sudo is told the apt-get line to run as root.
#   SetupScriptTest.sh <source tree>
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0

# bin/: the stand-ins and the few real tools the script uses.
make_bin() {  # uid, with_sudo
  rm -rf "$work/bin" && mkdir "$work/bin"
  local tool
  for tool in bash env dirname grep cat cmp; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
  printf '#!/bin/bash\necho %s\n' "$1" >"$work/bin/id"
  # Every package counts as missing.
  printf '#!/bin/bash\necho "unknown ok not-installed"\n' >"$work/bin/dpkg-query"
  printf '#!/bin/bash\necho "apt-get $*" >>"%s/calls"\n' "$work" >"$work/bin/apt-get"
  # The udev rule step stays away from the real /etc/udev.
  printf '#!/bin/bash\necho "install $*" >>"%s/udev"\n' "$work" >"$work/bin/install"
  printf '#!/bin/bash\ntrue\n' >"$work/bin/udevadm"
  if [ "$2" = yes ]; then
    printf '#!/bin/bash\necho "sudo $1" >>"%s/calls"\nexec "$@"\n' "$work" >"$work/bin/sudo"
  fi
  chmod +x "$work"/bin/*
}

# uid, sudo, arguments | expected status | packages that must / must not be named
cases=(
  "0 no|0|build-essential qt6-base-dev qt6-charts-dev libqt6opengl6-dev libftdi1-dev|sigrok-cli libgtest-dev lintian umockdev wine64"
  "1000 yes|0|build-essential qt6-base-dev libftdi1-dev|sigrok-cli libgtest-dev"
  "0 no --test|0|qt6-base-dev sigrok-cli libgtest-dev libgmock-dev locales umockdev libumockdev-dev g++-mingw-w64-x86-64-posix wine64|lintian help2man"
  "0 no --package|0|qt6-base-dev help2man lintian desktop-file-utils|sigrok-cli"
  "1000 no|1|build-essential qt6-base-dev libftdi1-dev|sigrok-cli"
  "1000 no --test|1|sigrok-cli libgtest-dev|lintian"
  "0 no --bogus|2||"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r setup status present absent <<<"$entry"
  read -r uid sudo args <<<"$setup"
  make_bin "$uid" "$sudo"
  rm -f "$work/calls" "$work/udev"
  code=0
  # shellcheck disable=SC2086
  output=$(PATH="$work/bin" "$source_dir/scripts/setup" $args 2>&1) || code=$?
  what="uid $uid, sudo $sudo, args '${args}'"
  if [ "$code" != "$status" ]; then
    echo "FAIL $what: status $code, expected $status; output:"$'\n'"$output"; fails=$((fails + 1)); continue
  fi
  # The apt-get install line: run through the stand-in, or printed for root.
  if [ "$status" = 0 ]; then
    line=$(grep '^apt-get install' "$work/calls" || true)
    if [ "$uid" != 0 ] && ! grep -q '^sudo apt-get' "$work/calls"; then
      echo "FAIL $what: apt-get did not run through sudo"; fails=$((fails + 1))
    fi
  elif [ "$status" = 1 ]; then
    line=$(grep -o 'apt-get install -y --no-install-recommends .*' <<<"$output" || true)
    if [ -e "$work/calls" ]; then echo "FAIL $what: tried to install: $(cat "$work/calls")"; fails=$((fails + 1)); fi
    if ! grep -q 'Neither root nor sudo' <<<"$output"; then echo "FAIL $what: no explanation: $output"; fails=$((fails + 1)); fi
  else
    line=""
  fi
  for p in $present; do
    if ! grep -qw -- "$p" <<<"$line"; then echo "FAIL $what: '$p' not in: $line"; fails=$((fails + 1)); fi
  done
  for p in $absent; do
    if grep -qw -- "$p" <<<"$line"; then echo "FAIL $what: '$p' in: $line"; fails=$((fails + 1)); fi
  done
done

if [ "$fails" -ne 0 ]; then
  echo "$fails failure(s)"
  exit 1
fi
echo "all ${#cases[@]} cases pass"
