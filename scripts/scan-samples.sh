#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds ferrox and scans the bundled sample folder with the
# shipped definitions (memory and boot areas off, so no special rights are needed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" >/dev/null
exec "$root/build/bin/ferrox64" --nomem --nombr --noboot "$root/build/samples"
