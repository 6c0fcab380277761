#!/usr/bin/env bash
# tavrona-cli farm on a real one-node Slurm cluster (scripts/slurm-test-cluster, run as root):
# the demo exported in 3 parts with full frames and with H.264 must decode to the same frames as
# a single-machine export of the same codec; a rerun after deleting a part submits that part
# alone and gives the same file again; a task that fails leaves the join unrun and --wait says
# so. The cluster is stopped on every exit. If its daemons cannot start, the test fails with
# their logs.
#
#   farm_slurm_test.sh TAVRONA-CLI TAVRONA-MAKE-DEMO SLURM-TEST-CLUSTER
set -euo pipefail

cli=$1
make_demo=$2
cluster=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrona_farm_slurm_XXXXXX")
cleanup() {
  local status=$?
  "$cluster" stop "$work/cluster" || status=1
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

export QT_QPA_PLATFORM=offscreen
"$make_demo" "$work/demo" >/dev/null
project=$work/demo/demo.vpj
mkdir -p "$work/out"

"$cluster" start "$work/cluster"
export SLURM_CONF=$work/cluster/slurm.conf

# One checksum line per decoded frame (the frame's bytes as they come out of the decoder).
frames() {
  ffmpeg -nostdin -v error -i "$1" -f framemd5 - | grep -v '^#'
}

# Compares the decoded frames of two files; both must hold the project's 210 frames.
same_frames() {
  frames "$1" >"$work/a.md5"
  frames "$2" >"$work/b.md5"
  [ "$(wc -l <"$work/a.md5")" -eq 210 ] || fail "$1 decodes to $(wc -l <"$work/a.md5") frames"
  if ! cmp -s "$work/a.md5" "$work/b.md5"; then
    diff "$work/a.md5" "$work/b.md5" | head -n 10 >&2
    fail "$2 does not decode to the frames of $1"
  fi
}

farm() {
  local log=$1; shift
  local status=0
  "$cli" farm "$project" "$@" >"$log" 2>&1 || status=$?
  cat "$log"
  return $status
}

for codec in raw h264; do
  echo "== $codec: single-machine export"
  "$cli" export "$project" -o "$work/out/single-$codec.avi" --codec "$codec"
  echo "== $codec: farm export in 3 parts"
  start_ms=$(($(date +%s%N) / 1000000))
  farm "$work/farm-$codec.log" -o "$work/out/farm-$codec.avi" --parts 3 --codec "$codec" --wait ||
    fail "farm --wait failed for $codec"
  echo "farm took $(($(date +%s%N) / 1000000 - start_ms)) ms"
  grep -q "tasks 0-2 (3 of 3 parts)" "$work/farm-$codec.log" || fail "not all 3 parts were submitted"
  same_frames "$work/out/single-$codec.avi" "$work/out/farm-$codec.avi"
  if [ "$codec" = raw ]; then
    # Full frames decode to their stored bytes, so equal checksums are equal frames byte for
    # byte. The raw files are large: gone once compared.
    rm -f "$work/out/single-raw.avi" "$work/out/farm-raw.avi" "$work/out/farm-raw.avi.parts"/part-*.avi
  fi
done

echo "== rerun with part 1 deleted"
parts=$work/out/farm-h264.avi.parts
rm "$parts/part-1.avi"
"$cli" farm --status "$work/out/farm-h264.avi" >"$work/status.log"
cat "$work/status.log"
grep -Eq '^part 1 +frames 70-139 +missing$' "$work/status.log" || fail "--status does not list part 1 as missing"
grep -Eq '^part 0 +frames 0-69 +complete$' "$work/status.log" || fail "--status does not list part 0 as complete"
grep -Eq '^part 2 +frames 140-209 +complete$' "$work/status.log" || fail "--status does not list part 2 as complete"
touch -d '2000-01-01' "$parts/part-0.avi" "$parts/part-2.avi"
farm "$work/rerun.log" -o "$work/out/farm-h264.avi" --parts 3 --codec h264 --wait ||
  fail "the rerun failed"
grep -q "tasks 1 (1 of 3 parts)" "$work/rerun.log" || fail "the rerun did not submit part 1 alone"
# Parts 0 and 2 were left as they were.
for i in 0 2; do
  [ "$(stat -c %Y "$parts/part-$i.avi")" -lt 1000000000 ] || fail "part $i was written again"
done
same_frames "$work/out/single-h264.avi" "$work/out/farm-h264.avi"

echo "== refusals before anything is submitted"
cp -r "$work/demo" "$work/demo-broken"
rm "$work/demo-broken/skyline.bmp"
status=0
"$cli" farm "$work/demo-broken/demo.vpj" -o "$work/out/refused.avi" --parts 3 >"$work/refused.log" 2>&1 ||
  status=$?
cat "$work/refused.log"
[ "$status" -eq 1 ] || fail "farm with a missing source returned $status (wanted 1)"
grep -q "skyline.bmp" "$work/refused.log" || fail "the missing source was not named"
[ ! -e "$work/out/refused.avi.parts" ] || fail "farm went on with a missing source"
status=0
"$cli" farm "$project" -o "$work/no such folder/out.avi" --parts 3 >"$work/refused.log" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q "does not exist" "$work/refused.log" ||
  fail "farm into a missing folder: status $status, $(cat "$work/refused.log")"
status=0
PATH=/nonexistent "$cli" farm "$project" -o "$work/out/refused.avi" --parts 3 >"$work/refused.log" 2>&1 ||
  status=$?
[ "$status" -eq 1 ] && grep -q "sbatch not found" "$work/refused.log" ||
  fail "farm without sbatch: status $status, $(cat "$work/refused.log")"

echo "== no second submission while the first is at work"
"$cli" farm "$project" -o "$work/out/busy.avi" --parts 3 --codec h264 >"$work/busy.log"
cat "$work/busy.log"
status=0
"$cli" farm "$project" -o "$work/out/busy.avi" --parts 3 --codec h264 >"$work/busy2.log" 2>&1 ||
  status=$?
cat "$work/busy2.log"
[ "$status" -eq 1 ] && grep -q "still queued or running" "$work/busy2.log" ||
  fail "a second submission for the same output went ahead (status $status)"
for _ in $(seq 1 600); do
  [ -z "$(squeue -h -o %i)" ] && break
  sleep 0.5
done
[ -z "$(squeue -h -o %i)" ] || fail "the first submission's jobs did not finish"
same_frames "$work/out/single-h264.avi" "$work/out/busy.avi"

echo "== a failed task leaves the join unrun"
# A folder where task 1 would write its part makes that export fail.
mkdir -p "$work/out/broken.avi.parts/part-1.writing.avi"
status=0
timeout 600 "$cli" farm "$project" -o "$work/out/broken.avi" --parts 3 --codec h264 --wait \
  >"$work/broken.log" 2>&1 || status=$?
cat "$work/broken.log"
[ "$status" -eq 1 ] || fail "farm --wait returned $status for a failed task (wanted 1)"
[ ! -e "$work/out/broken.avi" ] || fail "the join ran although a task failed"
grep -q "DependencyNeverSatisfied" "$work/broken.log" || fail "the join's state was not reported"
grep -Eq '^part 1 +frames 70-139 +missing' "$work/broken.log" || fail "the failed part was not listed"

echo "== farm export on Slurm: all checks passed"
