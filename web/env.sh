# shellcheck shell=bash
# Sourced by the web scripts: Debian's emscripten with Debian's node needs
# node's own modules on its path, and without node 20's built-in fetch,
# which the code this emscripten generates does not expect.
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS=--no-experimental-fetch
