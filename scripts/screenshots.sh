#!/usr/bin/env bash
# Renders each of the five tabs on the demo database in English and in Chinese into
# docs/screenshots/<tab>_<language>.png (offscreen, with the fonts of the machine: Chinese
# needs a CJK font, which setup.sh installs).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

out="$PM_ROOT/docs/screenshots"
mkdir -p "$out"
cd "$PM_BUILD/demo" # the tool finds Product.mdb in its working directory
for lang in en zh_CN; do
    QT_QPA_PLATFORM=offscreen PRODUCT_DB= "$PM_BUILD/product-screenshots" "$out" --lang "$lang"
done
