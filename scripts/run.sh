#!/usr/bin/env bash
# Sets up, builds and starts the organiser.
#
# The window comes with a later milestone. Until then this makes a fresh,
# empty diary table in a private folder with the record-file tool and shows
# what the tool reads from it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
build/bin/tarvokline-edb create "$demo/rz35.edb" 日期:DateTime 日志:Memo
build/bin/tarvokline-edb info "$demo/rz35.edb"
