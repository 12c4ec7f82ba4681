#!/usr/bin/env bash
# Proves the README's two commands on a fresh Debian 12: builds a minimal bookworm system
# in a folder, clones this repository's current commit into it and runs tools/test.sh,
# then tools/run.sh without a display, each inside the new system with chroot.
set -euo pipefail

usage() {
  cat <<EOF
Usage: tools/fresh-machine.sh [--reuse-base] [--remove] [FOLDER]

Builds a minimal Debian 12 (debootstrap --variant=minbase) in FOLDER/system, clones the
commit checked out here (HEAD) into /root/lumatap there, and runs as root, each in a
clean environment inside the new system:
  tools/test.sh   build and run every test; on the bare system, the tools/setup-deps.sh
                  it calls first installs every package from the Debian mirror that apt
                  on this machine uses
  tools/run.sh    then, with no DISPLAY: must save build/screenshot.png, a 1280x800 PNG
Prints how long each took; exits non-zero when either fails. Only committed work is
tested: the clone is clean, so changes not yet committed here are left out.

FOLDER defaults to $default_folder. Whatever an earlier run left there is
removed first (the folder must be empty or made by this script). The new system stays
there for a look afterwards, with the logs test.log and run.log beside it.

  --reuse-base  keep the freshly bootstrapped base as FOLDER/base.tar and start from it
                on later runs (saves the bootstrap; everything after it is still fresh)
  --remove      remove the new system when done (logs stay)

Needs root, debootstrap (installed when missing), git and the Debian package mirror.
EOF
}

default_folder=/var/tmp/lumatap-fresh-machine
folder=$default_folder
reuse_base=0
remove_after=0
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) usage; exit 0 ;;
    --reuse-base) reuse_base=1 ;;
    --remove) remove_after=1 ;;
    -*) echo "fresh-machine.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) folder=$1 ;;
  esac
  shift
done

say() { echo "fresh-machine.sh: $*"; }
die() { echo "fresh-machine.sh: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "run as root (debootstrap, chroot and mount need it)"
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
export DEBIAN_FRONTEND=noninteractive
command -v git >/dev/null || die "git is needed to clone the repository"

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)

case $folder in
  *[[:space:]\\]*) die "FOLDER must not contain blanks or backslashes: '$folder'" ;;
esac
mkdir -p "$folder"
folder=$(realpath "$folder")
[ "$folder" != / ] || die "FOLDER must not be /"
marker="$folder/.lumatap-fresh-machine"
if [ ! -e "$marker" ] && [ -n "$(ls -A "$folder")" ]; then
  die "$folder is neither empty nor made by this script; choose another FOLDER"
fi
touch "$marker"
target="$folder/system"
base_tar="$folder/base.tar"

# One run at a time in a folder.
exec 9>"$folder/.lock"
flock -n 9 || die "another run is using $folder"

# ------------------------------------------------------------------------------------
# Mounts and processes inside the new system

# Mount points at or below the new system, one a line, as /proc/self/mountinfo has them
# (mountinfo writes a blank as \040; the folder itself has none, see above).
mounts_under() {
  local p
  while read -r _ _ _ _ p _; do
    p=$(printf '%b' "${p//\\/\\0}")
    if [ "$p" = "$target" ] || [[ $p == "$target"/* ]]; then echo "$p"; fi
  done < /proc/self/mountinfo
}

# Processes whose root is the new system: only this script's own children can be there.
pids_inside() {
  local p r
  for p in /proc/[0-9]*; do
    r=$(readlink "$p/root" 2>/dev/null) || continue
    if [ "$r" = "$target" ] || [[ $r == "$target"/* ]]; then echo "${p#/proc/}"; fi
  done
}

end_processes_inside() {
  local pids
  pids=$(pids_inside)
  [ -n "$pids" ] || return 0
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  for _ in $(seq 50); do
    pids=$(pids_inside)
    [ -n "$pids" ] || return 0
    sleep 0.1
  done
  say "ending what is still running inside: $pids"
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  for _ in $(seq 50); do
    [ -n "$(pids_inside)" ] || return 0
    sleep 0.1
  done
}

# Everything mounted below the new system, deepest first: the bind mounts made here and
# anything the tests inside mounted (their tmpfs folders) and left behind. Fails when a
# mount stays.
unmount_all() {
  local p
  [ -d "$target" ] || return 0
  for _ in 1 2 3 4 5; do
    local list
    list=$(mounts_under | awk -F/ '{ print NF "\t" $0 }' | sort -rn | cut -f2-)
    [ -n "$list" ] || return 0
    while IFS= read -r p; do
      umount "$p" 2>/dev/null || umount -l "$p" 2>/dev/null || true
    done <<< "$list"
  done
  if [ -n "$(mounts_under)" ]; then
    echo "fresh-machine.sh: still mounted below $target:" >&2
    mounts_under >&2
    return 1
  fi
}

# Removes the new system, never while anything is mounted in it, and never crossing into
# another file system.
remove_system() {
  [ -e "$target" ] || return 0
  end_processes_inside
  unmount_all || die "not removing $target while something is mounted in it"
  rm -rf --one-file-system "$target"
}

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  local rc=$?
  trap - EXIT INT TERM HUP
  set +e  # every step of the clean-up runs, whatever failed before
  [ -d "$target" ] || exit "$rc"
  end_processes_inside
  if ! unmount_all; then
    rc=1
  elif [ "$remove_after" = 1 ]; then
    rm -rf --one-file-system "$target"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT
trap 'say "terminated"; exit 143' TERM HUP

bind() {
  mkdir -p "$target$1"
  mount --bind "$1" "$target$1"
  # Nothing mounted or unmounted here may reach the machine's own /dev, /proc, ...
  mount --make-private "$target$1" 2>/dev/null || true
}

# ------------------------------------------------------------------------------------
# The Debian sources apt uses on this machine: "URI SUITE COMPONENTS..." for each bookworm
# suite, from sources.list, *.list and the deb822 *.sources files.
debian_sources() {
  local f
  {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      sed -E 's/#.*//; s/\[[^]]*\]//' "$f" | awk '$1 == "deb" { $1 = ""; print }'
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk '
        function flush() {
          if (types ~ /(^| )deb( |$)/ && enabled != "no") {
            n = split(uris, u, " "); m = split(suites, s, " ")
            for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) print u[i], s[j], comps
          }
          types = uris = suites = comps = enabled = ""
        }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { next }  # a field continued (a key block)
        {
          i = index($0, ":"); if (i == 0) next
          key = tolower(substr($0, 1, i - 1)); val = substr($0, i + 1)
          gsub(/^[ \t]+|[ \t]+$/, "", val)
          if (key == "types") types = val
          else if (key == "uris") uris = val
          else if (key == "suites") suites = val
          else if (key == "components") comps = val
          else if (key == "enabled") enabled = tolower(val)
        }
        END { flush() }' "$f"
    done
  } | awk '$2 ~ /^bookworm(-updates|-security)?$/ && !seen[$1 " " $2]++ { $1 = $1; print }'
}

sources=$(debian_sources)
mirror=$(awk '$2 == "bookworm" { print $1; exit }' <<< "$sources")
[ -n "$mirror" ] || die "apt here has no Debian bookworm source (/etc/apt/sources.list*)"

if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  apt-get update -q
  apt-get install -y -q -o DPkg::Lock::Timeout=600 debootstrap
fi

elapsed() { local s=$(($(date +%s) - $1)); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

# ------------------------------------------------------------------------------------
# A fresh minimal Debian 12

remove_system
rm -f "$folder/test.log" "$folder/run.log"
t0=$(date +%s)
if [ "$reuse_base" = 1 ] && [ -f "$base_tar" ]; then
  say "unpacking the base system kept in $base_tar"
  mkdir -p "$target"
  tar -C "$target" -xpf "$base_tar"
else
  say "debootstrap --variant=minbase bookworm into $target"
  keyring=()
  [ -f /usr/share/keyrings/debian-archive-keyring.gpg ] &&
    keyring=(--keyring=/usr/share/keyrings/debian-archive-keyring.gpg)
  if ! debootstrap --variant=minbase "${keyring[@]}" bookworm "$target" "$mirror" \
       > "$folder/debootstrap.log" 2>&1 < /dev/null; then
    tail -n 30 "$folder/debootstrap.log" >&2
    die "debootstrap failed (log: $folder/debootstrap.log)"
  fi
  unmount_all  # debootstrap unmounts its own /proc and /sys; make sure
  if [ "$reuse_base" = 1 ]; then
    tar -C "$target" --one-file-system -cpf "$base_tar.tmp" . && mv "$base_tar.tmp" "$base_tar"
  fi
fi
say "base system ready in $(elapsed "$t0")"

# What an installed system has and debootstrap leaves out: the sources apt uses here
# (bookworm with its updates and security suites), name service, /etc/hosts.
awk '{ printf "deb"; for (i = 1; i <= NF; i++) printf " %s", $i; print "" }' <<< "$sources" \
  > "$target/etc/apt/sources.list"
cp -L /etc/resolv.conf "$target/etc/resolv.conf"
printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' > "$target/etc/hosts"
# No service a package brings starts inside: there is no init, and nothing may outlive the run.
printf '#!/bin/sh\nexit 101\n' > "$target/usr/sbin/policy-rc.d"
chmod 755 "$target/usr/sbin/policy-rc.d"

say "cloning $commit into /root/lumatap"
git clone -q --no-hardlinks "$repo" "$target/root/lumatap"
git -C "$target/root/lumatap" checkout -q --detach "$commit"

bind /proc
bind /sys
bind /dev
bind /dev/pts
[ -d /dev/shm ] && bind /dev/shm

# Runs a command in the clone inside the new system, with nothing of this machine's
# environment, its output shown and kept in a log. Run in the background and waited for,
# so that an interrupt reaches the traps at once.
inside() {
  local log=$1 cmd=$2 status="$folder/.status"
  rm -f "$status"
  {
    env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      "$(command -v chroot)" "$target" /bin/bash -c "cd /root/lumatap && $cmd" < /dev/null
    echo $? > "$status"
  } 2>&1 | tee "$log" &
  wait $! || true
  [ -f "$status" ] && return "$(cat "$status")"
  return 1
}

# ------------------------------------------------------------------------------------
# The README's two commands

failed=0

say "running tools/test.sh inside (log: $folder/test.log)"
t0=$(date +%s)
if inside "$folder/test.log" tools/test.sh; then test_result=passed; else test_result=FAILED; failed=1; fi
test_time=$(elapsed "$t0")
end_processes_inside
say "tools/test.sh: $test_result in $test_time"

say "running tools/run.sh inside, without a display (log: $folder/run.log)"
shot="$target/root/lumatap/build/screenshot.png"
rm -f "$shot"
t0=$(date +%s)
if inside "$folder/run.log" tools/run.sh; then run_result=passed; else run_result=FAILED; fi
run_time=$(elapsed "$t0")
end_processes_inside
if [ "$run_result" = passed ]; then
  # A PNG: its signature, then the IHDR chunk with the virtual screen's 1280 x 800.
  head=$(head -c 24 "$shot" 2>/dev/null | od -An -tx1 | tr -d ' \n')
  if [ "${head:0:16}" != 89504e470d0a1a0a ]; then
    say "tools/run.sh ended, but build/screenshot.png is missing or not a PNG"
    run_result=FAILED
  elif [ "${head:24:8}" != 49484452 ] || [ "${head:32:16}" != 0000050000000320 ]; then
    say "build/screenshot.png is not 1280x800 (header $head)"
    run_result=FAILED
  fi
fi
[ "$run_result" = passed ] || failed=1
say "tools/run.sh: $run_result in $run_time"

echo
echo "Fresh Debian 12 (minbase), commit $commit:"
echo "  tools/test.sh  $test_result  $test_time"
echo "  tools/run.sh   $run_result  $run_time"
[ "$run_result" = passed ] && echo "  screenshot     $shot"
exit "$failed"
