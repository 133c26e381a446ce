#!/usr/bin/env bash
# The README's command blocks of the emulated machine, run as a user would run them: the first
# block (make a machine, install a build, update it scripted, restart it) as it is, each later
# block on a fresh machine made by that block's first two lines. Every line must succeed.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$(dirname "$VKMACHINE")
exec /usr/bin/python3 - "$VK_SOURCE_DIR/README.md" "$bin" "$work" <<'PY'
import os, re, subprocess, sys

readme, bin, work = sys.argv[1:4]
text = open(readme, encoding="utf-8").read()
section = text[text.index("## The emulated machine"):text.index("## Every Windows family")]
blocks = [[line for line in block.split("\n") if line.strip()]
          for block in re.findall(r"```sh\n(.*?)```", section, re.S)]
commands = [b for b in blocks if any(l.startswith(("build/host/", "VKUPDATE_MACHINE=")) for l in b)]
script = [l for b in blocks for l in b if l.startswith("printf ")]
failures, ran = [], 0


def run(line, machine):
    global ran
    line = line.replace("build/host/", bin + "/").replace("/tmp/m", machine)
    result = subprocess.run(["bash", "-c", line], cwd=work, capture_output=True, text=True)
    ran += 1
    if result.returncode != 0:
        failures.append("%s\n  exit %d: %s" % (line, result.returncode, result.stderr.strip()))


if len(commands) < 3 or not script:
    failures.append("the README's blocks of commands were not found (%d, %d)" % (len(commands), len(script)))
else:
    first = commands[0]
    for line in script:
        run(line, "")
    for line in first:
        run(line, os.path.join(work, "m0"))
    for n, block in enumerate(commands[1:], 1):
        machine = os.path.join(work, "m%d" % n)
        for line in first[:2] + block:
            run(line, machine)
for f in failures:
    print("FAIL:", f)
print("readme examples: %d commands, %d failed" % (ran, len(failures)))
sys.exit(1 if failures or ran < 10 else 0)
PY
