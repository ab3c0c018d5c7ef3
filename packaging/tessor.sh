#!/bin/sh
# Starts Tessor from its own folder, where its libraries, templates and translations lie.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/tessor/tessor" "$@"
