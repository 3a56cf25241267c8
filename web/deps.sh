#!/usr/bin/env bash
# The web build's libraries: see ports/deps.sh.
exec "$(dirname "$0")/../ports/deps.sh" web
