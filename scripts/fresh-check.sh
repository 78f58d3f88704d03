#!/usr/bin/env bash
# Runs the README's test command on a minimal fresh Debian 12, as a new user's machine would be:
# debootstrap --variant=minbase bookworm plus git and ca-certificates, as root in a chroot with
# /proc, /dev and a tmpfs /tmp. The committed HEAD of this checkout is cloned into it (nothing
# uncommitted, nothing built here). Prints the command's time and exits with its status.
#
#   sudo bash scripts/fresh-check.sh                     # bash scripts/test.sh
#   sudo bash scripts/fresh-check.sh CMD...              # another command, run in the clone
#   PELMIRA_FRESH_KEEP=1 ...                             # keep the chroot folder afterwards
#
# The bootstrapped base is kept in /var/cache/pelmira-fresh (delete it to bootstrap anew); each
# run unpacks it into a new folder under /var/tmp, removed with its mounts on any exit.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=/var/cache/pelmira-fresh
base="$cache/bookworm-minbase.tar"
# The mirror this machine's own package sources name, so the chroot fetches from where apt does.
mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)

if [ "$(id -u)" != 0 ]; then
  echo "fresh-check: needs root (debootstrap, chroot, mount)" >&2
  exit 1
fi
command -v debootstrap >/dev/null || { echo "fresh-check: apt-get install debootstrap" >&2; exit 1; }
head=$(git -C "$repo" rev-parse HEAD)
if [ $# -eq 0 ]; then set -- bash scripts/test.sh; fi

root=$(mktemp -d /var/tmp/pelmira-fresh.XXXXXX)
sys=
mounted=()
cleanup() {
  local status=$?
  local i pid
  # Whatever the command left running inside (an X server, a Wine server) holds the mounts:
  # end those processes, found by their root folder, one by one.
  if [ -n "${sys:-}" ]; then
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$sys" ] && kill -KILL "$pid" 2>/dev/null
    done
    sleep 0.5
  fi
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" ||
      echo "fresh-check: could not unmount ${mounted[i]}" >&2
  done
  if [ -n "${PELMIRA_FRESH_KEEP:-}" ]; then
    echo "fresh-check: chroot kept in $root" >&2
  elif ! grep -q " $root" /proc/self/mounts; then
    rm -rf --one-file-system "$root"
  else
    echo "fresh-check: $root still has mounts, left in place" >&2
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -f "$base" ]; then
  echo "fresh-check: bootstrapping Debian 12 minbase into $cache (once)"
  mkdir -p "$cache"
  fresh="$root/bootstrap"
  [ -n "$mirror" ] || { echo "fresh-check: no URIs line in debian.sources" >&2; exit 1; }
  debootstrap --variant=minbase --include=git,ca-certificates bookworm "$fresh" "$mirror"
  rm -rf "$fresh"/var/cache/apt/archives/*.deb
  tar -C "$fresh" -cf "$base.part" .
  mv "$base.part" "$base"
  rm -rf --one-file-system "$fresh"
fi

mkdir "$root/sys-root"
sys="$root/sys-root"
tar -C "$sys" -xf "$base"
# The host's package sources and name servers, as the machine's own set-up would have them.
rm -f "$sys/etc/apt/sources.list"
mkdir -p "$sys/etc/apt/sources.list.d"
cp /etc/apt/sources.list.d/debian.sources "$sys/etc/apt/sources.list.d/"
cp /etc/resolv.conf "$sys/etc/resolv.conf"

mount -t proc proc "$sys/proc" && mounted+=("$sys/proc")
mount --rbind /dev "$sys/dev" && mounted+=("$sys/dev")
mount --make-rslave "$sys/dev"
mount -t tmpfs -o mode=1777 tmpfs "$sys/tmp" && mounted+=("$sys/tmp")

git clone -q --no-checkout "$repo" "$sys/root/pelmira"
git -C "$sys/root/pelmira" checkout -q --detach "$head"

printf 'fresh-check: running "%s" at %s in a fresh Debian 12 chroot\n' "$*" "${head:0:12}"
start=$(date +%s)
# In the background and waited for: a signal to this script then ends the run at once (the
# clean-up ends what runs inside) instead of waiting for the command to finish.
chroot "$sys" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c 'cd /root/pelmira && exec "$@"' fresh-check "$@" &
status=0
wait $! || status=$?
took=$(($(date +%s) - start))
printf 'fresh-check: exit status %d after %dm%02ds\n' "$status" $((took / 60)) $((took % 60))
exit "$status"
