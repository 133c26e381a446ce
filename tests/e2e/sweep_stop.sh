#!/usr/bin/env bash
# A sweep stopped by SIGTERM (a job's time limit, kill) while its runs are under way ends them,
# drops the runs not begun and removes its work folder from /dev/shm, as when it ends itself.
set -u
if [ ! -w /dev/shm ]; then
  echo "sweep stop: no /dev/shm, where the sweep works; nothing to check"
  exit 0
fi
/usr/bin/python3 "$VK_SOURCE_DIR/tools/sweep/sweep.py" --vkupdate "$VKUPDATE" --vkmachine "$VKMACHINE" \
  --machines xp --faults sample --kills 0 --jobs 2 >/dev/null 2>&1 &
pid=$!
# Its work folder is named with its process id; wait until its first fault runs are under way.
for _ in $(seq 1 1200); do
  compgen -G "/dev/shm/vksweep-$pid-*/xp/case-*" >/dev/null && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
work=$(compgen -G "/dev/shm/vksweep-$pid-*")
if [ -z "$work" ] || ! compgen -G "$work/xp/case-*" >/dev/null; then
  echo "FAIL: the sweep did not begin its runs within two minutes"
  kill -KILL $pid 2>/dev/null
  rm -rf "$work"
  exit 1
fi
kill -TERM $pid
for _ in $(seq 1 600); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $pid 2>/dev/null; then
  echo "FAIL: the sweep still runs a minute after SIGTERM"
  kill -KILL $pid
  rm -rf "$work"
  exit 1
fi
wait $pid
status=$?
if [ -e "$work" ]; then
  echo "FAIL: SIGTERM left the work folder $work (exit $status)"
  rm -rf "$work"
  exit 1
fi
if [ $status -ne 143 ]; then
  echo "FAIL: exit $status after SIGTERM, not 143"
  exit 1
fi
echo "sweep stop: ok"
