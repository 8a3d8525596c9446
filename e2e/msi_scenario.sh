#!/usr/bin/env bash
# Builds three packages of one Vexor2.exe (its own version, a newer and an older one) and runs
# msi_scenario.exe over them under Wine: install, upgrade, refused downgrade, uninstall.
set -euo pipefail
(($# == 2)) || { echo "usage: e2e/msi_scenario.sh msi_scenario.exe Vexor2.exe" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=$(realpath -- "$1")
exe=$(realpath -- "$2")
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

version=$("$root/packaging/build_msi.sh" "$exe" "$work/current.msi" |
    sed -n 's/.*(product \([0-9.]*\) .*/\1/p')
IFS=. read -r major minor patch <<<"$version"
newer=$major.$minor.$((patch + 1))
older=$((major - 1)).9.0
"$root/packaging/build_msi.sh" "$exe" "$work/newer.msi" "$newer" >/dev/null
"$root/packaging/build_msi.sh" "$exe" "$work/older.msi" "$older" >/dev/null

args=()
for name in current newer older; do
    msi=$work/$name.msi
    code=$(msiinfo export "$msi" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r')
    ver=$(msiinfo export "$msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
    args+=("Z:${msi//\//\\}" "$code" "$ver")
done
WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-300} "$root/scripts/wine_run.sh" "$scenario" "${args[@]}"
