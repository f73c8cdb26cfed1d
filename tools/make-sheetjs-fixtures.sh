#!/bin/sh
# Regenerates the roster test workbooks written by SheetJS (tools/sheetjs_fixtures.js) with the
# pinned npm package, installed into a temporary folder and removed afterwards. Needs node and
# npm. Usage: tools/make-sheetjs-fixtures.sh
set -e
version=0.18.5
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
npm install --prefix "$work" --no-save --no-audit --no-fund --no-package-lock "xlsx@$version" >/dev/null
NODE_PATH="$work/node_modules" node "$root/tools/sheetjs_fixtures.js" "$root/tests/data" "$version"
