#!/usr/bin/env bash
# tavrona-cli farm on a real one-node Slurm cluster (scripts/slurm-test-cluster, run as root):
# the demo exported in 3 parts with full frames and with H.264 must decode to the same frames as
# a single-machine export of the same codec; a rerun after deleting a part, or cutting one short,
# submits that part alone and gives the same file again; an edited project is exported anew; a
# codec change whose run was cut short is finished by the next run, and meanwhile the old OUT is
# not called present; of two submissions at once one is refused; a task that fails leaves the
# join unrun and --wait says so; a submission through the farm library itself, as the desktop
# program makes one, gives the same frames too. The cluster is stopped on every exit. If its
# daemons cannot start, the test fails with their logs.
#
#   farm_slurm_test.sh TAVRONA-CLI TAVRONA-MAKE-DEMO SLURM-TEST-CLUSTER TAVRONA-FARM-SUBMIT
set -euo pipefail

cli=$1
make_demo=$2
cluster=$3
library_submit=$4

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

# One checksum line per decoded picture (the frame's bytes as they come out of the decoder).
frames() {
  ffmpeg -nostdin -v error -i "$1" -map 0:v:0 -f framemd5 - | grep -v '^#'
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
    # The stream header holds the frame rate times 10000 over 10000, as given (dwScale, dwRate).
    [ "$(od -An -tu4 -j128 -N8 "$work/out/farm-raw.avi" | xargs)" = "10000 300000" ] ||
      fail "the joined file's stream header does not hold 300000/10000"
    [ "$(od -An -tu4 -j128 -N8 "$work/out/single-raw.avi" | xargs)" = "10000 300000" ] ||
      fail "the export's stream header does not hold 300000/10000"
    # A full frame holds the bytes the command line renders for it.
    "$cli" render "$project" --frame 100 -o "$work/frame100.bmp"
    ffmpeg -nostdin -v error -i "$work/out/farm-raw.avi" -vf "select=eq(n\,100),vflip" \
      -frames:v 1 -f rawvideo -pix_fmt bgra - >"$work/frame100.raw"
    tail -c +55 "$work/frame100.bmp" | cmp -s - "$work/frame100.raw" ||
      fail "frame 100 of the joined file is not the rendered frame"
    # Full frames decode to their stored bytes, so equal checksums are equal frames byte for
    # byte. The raw files are large: gone once compared.
    rm -f "$work/out/single-raw.avi" "$work/out/farm-raw.avi" "$work/out/farm-raw.avi.parts"/part-*.avi
  fi
done

# H.264 outside AVI codes groups of two seconds (60 frames); the parts begin on their key
# frames and join into the whole export's very frames.
for ext in mp4 mkv mov; do
  echo "== h264 in $ext: single-machine export and farm export in 3 parts"
  "$cli" export "$project" -o "$work/out/single-h264.$ext" --codec h264
  farm "$work/farm-$ext.log" -o "$work/out/farm-h264.$ext" --parts 3 --codec h264 --wait ||
    fail "farm --wait failed for h264 in $ext"
  grep -q "tasks 0-2 (3 of 3 parts)" "$work/farm-$ext.log" || fail "not all 3 $ext parts were submitted"
  grep -q "^part 1 120 179$" "$work/out/farm-h264.$ext.parts/manifest.txt" ||
    fail "the $ext parts do not begin on key frames"
  same_frames "$work/out/single-h264.$ext" "$work/out/farm-h264.$ext"
done
echo "== h264 in mp4: the farm library's own submission in 2 parts"
"$library_submit" "$project" "$work/out/library-h264.mp4" 2 h264 "$cli" ||
  fail "the library's submission failed"
same_frames "$work/out/single-h264.mp4" "$work/out/library-h264.mp4"
"$cli" farm --status "$work/out/library-h264.mp4" >"$work/library-status.log"
grep -q "(present)" "$work/library-status.log" &&
  grep -q "2 parts: 2 complete" "$work/library-status.log" ||
  fail "farm --status does not see the library's export: $(cat "$work/library-status.log")"

status=0
"$cli" farm "$project" -o "$work/out/too-many.mp4" --parts 5 --codec h264 >"$work/too-many.log" 2>&1 ||
  status=$?
[ "$status" -eq 2 ] && grep -q "more than the 4 groups of 60 frames" "$work/too-many.log" ||
  fail "5 parts of 4 groups: status $status, $(cat "$work/too-many.log")"

echo "== sound: the farm's joined sound is the whole export's, sample for sample"
# The demo's clip given a sound track of beeps (the pictures copied as they are).
cp -r "$work/demo" "$work/demo-sound"
sound_project=$work/demo-sound/demo.vpj
beeps="0.5*sin(2*PI*1000*t)*lt(mod(t\\,0.5)\\,0.02)"
ffmpeg -nostdin -v error -i "$work/demo-sound/clip.avi" \
  -f lavfi -i "aevalsrc=$beeps|$beeps:s=48000:d=4" \
  -map 0:v -map 1:a -c:v copy -c:a pcm_s16le "$work/demo-sound/clip-sound.avi"
mv "$work/demo-sound/clip-sound.avi" "$work/demo-sound/clip.avi"
# The checksum of a file's decoded sound; a file without sound fails.
sound_md5() {
  ffmpeg -nostdin -v error -i "$1" -map 0:a:0 -f s16le - >"$work/sound.raw" ||
    fail "$1: its sound does not decode"
  [ -s "$work/sound.raw" ] || fail "$1 holds no sound"
  md5sum <"$work/sound.raw" | cut -d' ' -f1
}
# MKV: FLAC, which the join codes again losslessly; MP4: AAC, which the parts carry as ALAC
# and the join codes once over the whole, as the whole export does.
for ext in mkv mp4; do
  "$cli" export "$sound_project" -o "$work/out/single-sound.$ext" --codec h264
  "$cli" farm "$sound_project" -o "$work/out/farm-sound.$ext" --parts 3 --codec h264 --wait \
    >"$work/farm-sound.log" 2>&1 || { cat "$work/farm-sound.log"; fail "the farm with sound in $ext failed"; }
  grep -q "^sound $([ "$ext" = mkv ] && echo flac || echo aac)$" "$work/out/farm-sound.$ext.parts/manifest.txt" ||
    fail "the $ext manifest does not name the sound codec"
  [ "$(sound_md5 "$work/out/single-sound.$ext")" = "$(sound_md5 "$work/out/farm-sound.$ext")" ] ||
    fail "the joined $ext file's sound is not the whole export's"
  same_frames "$work/out/single-sound.$ext" "$work/out/farm-sound.$ext"
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

echo "== rerun with part 1 cut short"
# The headers still promise 70 frames; only the frames whose data is in the file count.
truncate -s $(($(stat -c %s "$parts/part-1.avi") / 2)) "$parts/part-1.avi"
"$cli" farm --status "$work/out/farm-h264.avi" >"$work/status.log"
cat "$work/status.log"
grep -Eq '^part 1 +frames 70-139 +incomplete: holds [0-9]+ of the 70 frames' "$work/status.log" ||
  fail "--status does not list the cut part 1 as incomplete"
grep -Eq '^part 0 +frames 0-69 +complete$' "$work/status.log" || fail "part 0 is not complete"
farm "$work/rerun.log" -o "$work/out/farm-h264.avi" --parts 3 --codec h264 --wait ||
  fail "the rerun after the cut failed"
grep -q "tasks 1 (1 of 3 parts)" "$work/rerun.log" || fail "the rerun did not submit part 1 alone"
same_frames "$work/out/single-h264.avi" "$work/out/farm-h264.avi"
# Part 1's log kept the first attempt.
[ "$(grep -c '^== attempt: job [0-9]* task 1 on ' "$parts/part-1.log")" -eq 3 ] ||
  fail "part 1's log does not hold its three attempts: $(cat "$parts/part-1.log")"

echo "== an edited project is exported anew"
cp -r "$work/demo" "$work/demo-edited"
edited=$work/demo-edited/demo.vpj
"$cli" farm "$edited" -o "$work/out/edited.avi" --parts 3 --codec h264 --wait >"$work/edited.log" 2>&1 ||
  { cat "$work/edited.log"; fail "the farm of the project's copy failed"; }
frames "$work/out/edited.avi" >"$work/before-edit.md5"
# Track 8's first event (after the track's tag 5, number 8 and count 3): green 150 becomes 30.
at=$(LC_ALL=C grep -obUaP '\x05\x00\x00\x00\x08\x00\x00\x00\x03\x00\x00\x00' "$edited" | cut -d: -f1)
[ -n "$at" ] && [ "$(od -An -tu1 -j $((at + 12 + 49)) -N1 "$edited" | tr -d ' ')" = 150 ] ||
  fail "track 8's first event is not where the test looks for it"
printf '\036' | dd of="$edited" bs=1 seek=$((at + 12 + 49)) conv=notrunc status=none
"$cli" export "$edited" -o "$work/out/single-edited.avi" --codec h264
"$cli" farm "$edited" -o "$work/out/edited.avi" --parts 3 --codec h264 --wait >"$work/edited.log" 2>&1 ||
  { cat "$work/edited.log"; fail "the farm of the edited project failed"; }
cat "$work/edited.log"
grep -q "tasks 0-2 (3 of 3 parts)" "$work/edited.log" || fail "the edited project's parts were not all made again"
frames "$work/out/edited.avi" | cmp -s - "$work/before-edit.md5" && fail "the edited project gave the same frames"
same_frames "$work/out/single-edited.avi" "$work/out/edited.avi"

echo "== a codec change cut short is finished by the next run"
farm "$work/change.log" -o "$work/out/change.avi" --parts 2 --codec raw --wait ||
  fail "the raw farm failed"
farm "$work/change.log" -o "$work/out/change.avi" --parts 2 --codec h264 ||
  fail "the H.264 submission failed"
job=$(sed -n 's/^parts: job \([0-9]*\), tasks 0-1 .*/\1/p' "$work/change.log")
[ -n "$job" ] || fail "no array job for both parts"
scancel "${job}_1"
for _ in $(seq 1 600); do
  [ -z "$(squeue -h -o %i)" ] && break
  sleep 0.5
done
"$cli" farm --status "$work/out/change.avi" >"$work/status.log"
cat "$work/status.log"
grep -q "(present)" "$work/status.log" && fail "--status calls the raw OUT of the earlier run present"
grep -Eq '^output .*\(stale: ' "$work/status.log" || fail "--status does not call the raw OUT stale"
grep -Eq '^part 1 +frames 105-209 +stale: codec rawvideo, not h264$' "$work/status.log" ||
  fail "part 1 was not left raw by the cancelled task (did the task end before scancel?)"
farm "$work/change.log" -o "$work/out/change.avi" --parts 2 --codec h264 --wait ||
  fail "the run after the cancelled one failed"
grep -q "tasks 1 (1 of 2 parts)" "$work/change.log" || fail "the rerun did not submit part 1 alone"
"$cli" farm --status "$work/out/change.avi" | grep -q "(present)" || fail "the joined OUT is not present"
same_frames "$work/out/single-h264.avi" "$work/out/change.avi"
rm -rf "$work/out/change.avi" "$work/out/change.avi.parts"

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

echo "== two submissions at once: one goes ahead"
status1=0
status2=0
"$cli" farm "$project" -o "$work/out/twice.avi" --parts 3 --codec h264 >"$work/twice1.log" 2>&1 &
first=$!
"$cli" farm "$project" -o "$work/out/twice.avi" --parts 3 --codec h264 >"$work/twice2.log" 2>&1 &
second=$!
wait "$first" || status1=$?
wait "$second" || status2=$?
cat "$work/twice1.log" "$work/twice2.log"
if [ "$status1" -eq 0 ] && [ "$status2" -eq 1 ]; then
  refused=$work/twice2.log
elif [ "$status1" -eq 1 ] && [ "$status2" -eq 0 ]; then
  refused=$work/twice1.log
else
  fail "two submissions at once ended $status1 and $status2 (wanted one 0, one 1)"
fi
# Refused on the lock while the other submits, or on its jobs once it has.
grep -Eq "holds the lock $work/out/twice.avi.parts/lock|still queued or running" "$refused" ||
  fail "the refused submission does not say why: $(cat "$refused")"
[ "$(grep -c '^part ' "$work/out/twice.avi.parts/manifest.txt")" -eq 3 ] || fail "the manifest is damaged"
# The lock itself, held by another process for the whole submission.
status=0
flock "$work/out/twice.avi.parts/lock" "$cli" farm "$project" -o "$work/out/twice.avi" --parts 3 \
  --codec h264 >"$work/locked.log" 2>&1 || status=$?
cat "$work/locked.log"
[ "$status" -eq 1 ] && grep -q "holds the lock $work/out/twice.avi.parts/lock" "$work/locked.log" ||
  fail "a submission while another holds the lock: status $status"
for _ in $(seq 1 600); do
  [ -z "$(squeue -h -o %i)" ] && break
  sleep 0.5
done
same_frames "$work/out/single-h264.avi" "$work/out/twice.avi"

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
# The log gives the cause once, after the attempt's line.
log=$work/out/broken.avi.parts/part-1.log
cat "$log"
grep -q '^== attempt: job [0-9]* task 1 on ' "$log" || fail "part 1's log has no attempt line"
[ "$(grep -c 'Is a directory' "$log")" -eq 1 ] || fail "part 1's log does not give the cause once"

echo "== farm export on Slurm: all checks passed"
