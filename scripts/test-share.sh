#!/bin/bash
# Lines of product and of tests, from the files git tracks (a revision may be
# given: scripts/test-share.sh 70b5ff9). Product: src/, tools/, web/. Tests:
# tests/, fuzz/ (targets and kept inputs), bench/ and the test scripts
# (scripts/test.sh, scripts/test.d/, scripts/fresh-check.sh, scripts/lib/).
# Documentation, package lists and packaging are neither.
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-HEAD}

lines() {
  git archive "$rev" -- "$@" | tar -xO | wc -l
}

product=$(lines src tools web)
tests=$(lines tests fuzz bench scripts/test.sh scripts/test.d scripts/fresh-check.sh scripts/lib)
echo "product $product lines, tests $tests lines: tests are $((100 * tests / product)) % of the product ($rev)"
