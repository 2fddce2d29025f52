#!/usr/bin/env bash
# Installs what web/package-lock.json pins (the browser drivers, axe-core, ESLint) into
# build/web/node, again only when the lock changes. The drivers fetch no browser of their own:
# the browsers are Debian's.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if ! cmp -s web/package-lock.json build/web/node/package-lock.json ||
  [ ! -d build/web/node/node_modules/playwright-core ] || [ ! -d build/web/node/node_modules/eslint ]; then
  rm -rf build/web/node && mkdir -p build/web/node
  cp web/package.json web/package-lock.json build/web/node/
  # npm checks the registry's certificate against the system's store, as apt and git do, where
  # there is one: a certificate authority the machine's owner installed (a company's proxy) is
  # trusted there and in no list of npm's own.
  ca=/etc/ssl/certs/ca-certificates.crt
  [ -f "$ca" ] || ca=
  # --ignore-scripts and PUPPETEER_SKIP_DOWNLOAD: the drivers fetch no browser of their own.
  (cd build/web/node && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts \
    ${ca:+--cafile="$ca"})
fi
