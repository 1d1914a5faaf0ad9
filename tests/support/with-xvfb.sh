#!/usr/bin/env bash
# Runs a command on a private X server with a private home folder, for test programs that
# open windows.
source "$(dirname "$0")/xvfb.sh"
start_sandbox
start_xvfb
export WEBKIT_DISABLE_COMPOSITING_MODE=1
"$@"
