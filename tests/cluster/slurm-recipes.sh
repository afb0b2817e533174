#!/usr/bin/env bash
# Runs the documentation's Slurm recipes on a single-node Slurm of its own: a design
# over an array of shards, --merge after it, --solve over an array. The merged
# manifest and figure must be an unsplit run's, byte for byte, and the
# solutions must cover every instance once.
# Usage: slurm-recipes.sh KELDAR_GENERATE DOC.md...  (the pages holding them)
# Exit 77 (skipped) when not root or the daemons cannot start.
set -u
generate=$(readlink -f "$1")
docs=()
for doc in "${@:2}"; do docs+=("$(readlink -f "$doc")"); done

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to run slurmd and munged"
for tool in munged slurmctld slurmd sbatch squeue sinfo scancel hostname; do
  command -v "$tool" > /dev/null || skip "$tool not found (Debian: apt-get install slurm-wlm munge)"
done

# A Slurm we may be running inside must not leak into ours.
while read -r name; do unset "$name"; done < <(compgen -e | grep -E '^(SLURM|SBATCH|SQUEUE|SINFO)_')

work=$(mktemp -d)
chmod 755 "$work" # munged wants every folder above its socket reachable by all
mkdir -p "$work"/{munge,state,spool,log,jobs}
export SLURM_CONF=$work/slurm.conf
pids=()
ctld=

# Whether all the given processes run (a zombie does not; kill -0 says it does).
alive() {
  local pid state
  for pid; do
    read -r _ _ state _ 2> /dev/null < "/proc/$pid/stat" && [ "$state" != Z ] || return 1
  done
}

cleanup() {
  # (A client call to a controller that is gone takes 9 s, hence the checks.)
  if [ -n "$ctld" ] && alive "$ctld"; then
    scancel --quiet --user=root 2> /dev/null
    local deadline=$((SECONDS + 15))
    while [ -n "$(squeue -h -o %i 2> /dev/null)" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.5; done
  fi
  # The daemons, newest first, munged last: they need it to say goodbye.
  local i pid environ
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2> /dev/null
    for _ in $(seq 20); do alive "$pid" || break; sleep 0.25; done
    kill -9 "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
  done
  # Anything a job left running carries our SLURM_CONF. (/proc/PID/environ is
  # what a program started with: this script set it later and is spared.)
  for environ in $(env -u SLURM_CONF grep -lzx "SLURM_CONF=$SLURM_CONF" /proc/[0-9]*/environ 2> /dev/null); do
    pid=${environ#/proc/}
    kill -9 "${pid%/environ}" 2> /dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

show_logs() {
  for log in "$work"/log/*.out "$work"/jobs/slurm-*.out; do
    [ -s "$log" ] && { echo "--- $log"; tail -n 15 "$log"; }
  done
}
fail() { echo "FAIL: $*"; show_logs; exit 1; }

# Two free neighbouring ports, none of them in use on this host.
taken=$(awk 'FNR > 1 { split($2, a, ":"); print a[2] }' /proc/net/tcp /proc/net/tcp6 2> /dev/null)
in_use() { printf '%s\n' "$taken" | grep -qix "$(printf %04X "$1")"; }
while port=$((20000 + RANDOM % 40000)); in_use "$port" || in_use $((port + 1)); do :; done

# munge with a key of its own, on its own socket.
head -c 1024 /dev/urandom > "$work/munge/munge.key"
chmod 400 "$work/munge/munge.key"
socket=$work/munge/socket
munged -F --socket="$socket" --key-file="$work/munge/munge.key" \
  --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/seed" \
  --log-file="$work/log/munged.log" > "$work/log/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 20); do [ -S "$socket" ] && break; sleep 0.25; done
[ -S "$socket" ] || skip "munged did not start: $(tail -n 3 "$work/log/munged.out")"

node=$(hostname -s)
cat > "$SLURM_CONF" <<CONF
ClusterName=keldartest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=keldar Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i > "$work/log/slurmctld.out" 2>&1 &
ctld=$!
pids+=("$ctld")
slurmd -D > "$work/log/slurmd.out" 2>&1 &
pids+=($!)
deadline=$((SECONDS + 30))
until sleep 0.5; alive "${pids[@]}" && [ "$(timeout 5 sinfo -h -N -o %t 2> /dev/null)" = idle ]; do
  if [ "$SECONDS" -ge "$deadline" ] || ! alive "${pids[@]}"; then
    show_logs
    skip "slurmctld and slurmd did not bring the node up"
  fi
done

# 8 cells of 2 files of 10 x 7 x 3.
cat > "$work/jobs/design.txt" <<'DESIGN'
nurses = 10
days = 7
shifts = 3
freeShift = yes
periodPreference = 0.25, 0.75
dayPreference = 0.5
shiftPreference = 0.5
totalCoverage = 0.35
dayCoverage = 0.25, 0.75
shiftCoverage = 0.25, 0.75
instancesPerCell = 2
DESIGN

# The unsplit run, into the same folder name (it is in every file's header).
cd "$work/jobs" || exit 1
"$generate" --design design.txt --out "$work/week" --jobs 2 > /dev/null || fail "the unsplit run failed"
mv "$work/week" "$work/unsplit"

# The documentation's fenced sh block holding the given line, scaled down: four
# shards, two at a time, one CPU each, in our folder.
recipe() {
  awk -v line="$1" '
    /^```sh$/ { block = 1; text = ""; next }
    /^```$/ && block { block = 0; if (found) { printf "%s", text; exit } next }
    block { text = text $0 "\n"; if (index($0, line)) found = 1 }' "${docs[@]}" |
    sed -e "s|/shared/week|$work/week|g" -e 's|1-16%8|1-4%2|' -e 's|/16"|/4"|' \
        -e 's|cpus-per-task=8|cpus-per-task=1|'
}
recipe '#SBATCH --array' > generate.sh
recipe 'sbatch --parsable generate.sh' > solve.sh
[ -s generate.sh ] || fail "the generating recipe was not found in ${docs[*]}"
[ -s solve.sh ] || fail "the solving recipe was not found in ${docs[*]}"
! grep -Eq '/shared|16|%8' generate.sh solve.sh || fail "the documented recipes changed; scale them down here"

PATH=$(dirname "$generate"):$PATH
sh -e solve.sh > /dev/null || fail "submitting the recipes failed"
# Until every job has completed; a failed one fails the test at once.
deadline=$((SECONDS + 90))
while jobs=$(squeue -h -t all -o '%i %T %r') || fail "squeue failed"
      grep -qv ' COMPLETED ' <<< "$jobs"; do
  ! grep -E ' (FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY|BOOT_FAIL|DEADLINE) |DependencyNeverSatisfied' <<< "$jobs" ||
    fail "jobs above did not complete"
  [ "$SECONDS" -lt "$deadline" ] || fail "jobs not done after 90 s: ${jobs//$'\n'/, }"
  sleep 0.5
done

# What the shards and their merge made is what one unsplit run makes.
for file in manifest.csv design.svg; do
  cmp "$work/unsplit/$file" "$work/week/$file" || fail "merged $file differs from the unsplit run's"
done
instances=$(cd "$work/unsplit" && printf '%s\n' instance_*.txt | sort)
[ "$instances" = "$(cd "$work/week" && printf '%s\n' instance_*.txt | sort)" ] || fail "the shards made other files"
for file in $instances; do
  cmp "$work/unsplit/$file" "$work/week/$file" || fail "$file differs from the unsplit run's"
done

# The solutions, joined, name every instance once.
"$generate" --merge "$work/week" > /dev/null || fail "merging the solutions failed"
solved=$(tail -n +2 "$work/week/solutions.csv" | tr -d '\r' | cut -d, -f1 | sort)
[ "$solved" = "$instances" ] || fail "solutions.csv does not name every instance once"
echo "$(echo "$instances" | wc -l) instances: 4 shards merged as one run, each solved once"
