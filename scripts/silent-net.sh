#!/usr/bin/env bash
# Runs a command (as root) in a private network of its own: only loopback exists, 127.0.0.x
# answers echoes and 127.0.1.x stays silent, and nothing can leave the machine, not even a name
# server query. For trying the ping sweep:
#   VELMORA_HOSTS=scripts/demo-hosts bash scripts/silent-net.sh build/bin/velmora-db ping
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
exec unshare -n sh -c 'ip link set lo up &&
nft add table ip velmora &&
nft add chain ip velmora in "{ type filter hook input priority 0; }" &&
nft add rule ip velmora in ip daddr 127.0.1.0/24 icmp type echo-request drop &&
exec "$@"' sh "$@"
