#!/usr/bin/env bash
# Runs one ctest test, or one function of it, as ctest runs it: its command, working folder and
# environment (ENVIRONMENT, then ENVIRONMENT_MODIFICATION) read from `ctest --show-only=json-v1`,
# after the servers its fixtures start. Builds the test's executable first (an up-to-date build
# costs ninja's check only).
#
#   run-test.sh [-B BUILD] [--keep] [--no-build] TEST [ARG...]
#
# TEST is a ctest name (directory_test_AdsPath, shell_it_ConnectBrowse, check_package); ARGs go
# to the test after its own: a Qt Test takes a function, function:dataTag and its options
# (-v2, -maxwarnings 0, ...). BUILD defaults to MIVORA_BUILD_DIR, else build/.
#
# A server that a fixture needs and that already runs from this build is used as it is and left
# running; one started here is stopped afterwards unless --keep is given, so the next run starts
# at once. The test directory (slapd) starts in about a second, the AD domain controller
# (tests/ad-dc/start-ad-dc.sh, Samba) in a few seconds, or 1-2 minutes when it provisions its
# domain anew (the first time in a build, or after its scripts changed). Exits with the
# test's status.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
command -v python3 >/dev/null || {
    echo "run-test.sh: python3 is missing (sudo apt-get install python3)" >&2
    exit 2
}

read -r -d '' program <<'EOF' || true
import json, os, subprocess, sys, time

here, args = sys.argv[1], sys.argv[2:]
build = os.environ.get("MIVORA_BUILD_DIR") or os.path.join(here, "build")
keep, build_first = False, True
usage = "usage: run-test.sh [-B BUILD] [--keep] [--no-build] TEST [ARG...]"

def say(text):
    print(f"run-test.sh: {text}", file=sys.stderr, flush=True)

while args and args[0].startswith("-"):
    option = args.pop(0)
    if option == "-B" and args:
        build = args.pop(0)
    elif option == "--keep":
        keep = True
    elif option == "--no-build":
        build_first = False
    else:
        say(usage)
        sys.exit(2)
if not args:
    say(usage)
    sys.exit(2)
name, extra = args[0], args[1:]
build = os.path.realpath(build)
if not os.path.isfile(os.path.join(build, "CTestTestfile.cmake")):
    say(f"no configured build in {build} (bash scripts/test.sh --quick makes one)")
    sys.exit(2)

listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
tests = {t["name"]: t for t in json.loads(listing)["tests"]}

def props(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}

if name not in tests:
    near = sorted(n for n in tests if name.lower() in n.lower())
    say(f"no test {name} in {build}" + (": " + " ".join(near[:30]) if near else ""))
    sys.exit(2)
test = tests[name]

def environment(test):
    env = dict(os.environ)
    p = props(test)
    for entry in p.get("ENVIRONMENT", []):
        key, _, value = entry.partition("=")
        env[key] = value
    # ctest's operations: reset, set, unset, string_*, path_list_* (":"), cmake_list_* (";").
    for entry in p.get("ENVIRONMENT_MODIFICATION", []):
        key, _, rest = entry.partition("=")
        op, _, value = rest.partition(":")
        current = env.get(key)
        if op == "reset":
            if key in os.environ:
                env[key] = os.environ[key]
            else:
                env.pop(key, None)
        elif op == "set":
            env[key] = value
        elif op == "unset":
            env.pop(key, None)
        elif op == "string_append":
            env[key] = (current or "") + value
        elif op == "string_prepend":
            env[key] = value + (current or "")
        elif op.endswith("_append") or op.endswith("_prepend"):
            sep = ":" if op.startswith("path_list") else ";"
            parts = [value, current] if op.endswith("_prepend") else [current, value]
            env[key] = sep.join(x for x in parts if x)
        else:
            say(f"{name}: unknown ENVIRONMENT_MODIFICATION {entry}")
            sys.exit(2)
    return env

def workdir(test):
    return props(test).get("WORKING_DIRECTORY", build)

# A server that a setup test would start and that already runs from the same folder.
def running(setup):
    command = setup["command"]
    script = os.path.basename(command[0]) if command else ""
    folder = os.path.realpath(command[-1]) if len(command) > 1 else ""
    def pid_in(path):
        try:
            pid = int(open(path).read().strip())
            os.kill(pid, 0)
            return pid
        except (OSError, ValueError):
            return None
    if script == "start-directory-server.sh":
        pid = pid_in(os.path.join(folder, "run", "slapd.pid"))
        try:
            return pid is not None and os.path.join(folder, "slapd.conf") in \
                open(f"/proc/{pid}/cmdline").read().split("\0")
        except OSError:
            return False
    if script == "start-ad-dc.sh":
        run = os.path.join(folder, command[command.index("--run") + 1] if "--run" in command else "run")
        pid = pid_in(os.path.join(run, "samba.pid"))
        try:
            return pid is not None and any(os.readlink(f"/proc/{pid}/fd/{fd}").startswith(run + "/dc/")
                                           for fd in os.listdir(f"/proc/{pid}/fd"))
        except OSError:
            return False
    return False

# The fixtures in the order they start: a setup test's own fixtures before its own.
order, seen = [], set()
def require(test):
    for fixture in props(test).get("FIXTURES_REQUIRED", []):
        if fixture in seen:
            continue
        seen.add(fixture)
        for setup in tests.values():
            if fixture in props(setup).get("FIXTURES_SETUP", []):
                require(setup)
        order.append(fixture)
require(test)

def run_quiet(test, log):
    with open(log, "w") as out:
        return subprocess.run(test["command"], cwd=workdir(test), env=environment(test),
                              stdout=out, stderr=subprocess.STDOUT).returncode

logs = os.path.join(build, "Testing", "Temporary")
os.makedirs(logs, exist_ok=True)
started = []
status = 1
try:
    command = test["command"]
    if build_first and command and os.path.dirname(os.path.realpath(command[0])).startswith(build + "/"):
        target = os.path.basename(command[0])
        if subprocess.run(["cmake", "--build", build, "--target", target],
                          stdout=subprocess.DEVNULL).returncode != 0:
            subprocess.run(["cmake", "--build", build, "--target", target])
            sys.exit(1)
    for fixture in order:
        for setup in (t for t in tests.values() if fixture in props(t).get("FIXTURES_SETUP", [])):
            if running(setup):
                say(f"{fixture}: already running ({setup['name']}), used as it is")
                continue
            slow = " (Samba: seconds; 1-2 minutes when it provisions its domain anew)" if "ad_dc" in fixture else ""
            say(f"{fixture}: starting {setup['name']}{slow}")
            log = os.path.join(logs, f"run-test-{setup['name']}.log")
            t0 = time.monotonic()
            rc = run_quiet(setup, log)
            skip = props(setup).get("SKIP_RETURN_CODE")
            if skip is not None and rc == int(skip):
                say(f"{fixture}: {setup['name']} skipped: {open(log).read().strip().splitlines()[-1:]}")
                continue
            if rc != 0:
                sys.stderr.write(open(log).read())
                say(f"{fixture}: {setup['name']} failed (exit {rc}, log {log})")
                sys.exit(1)
            say(f"{fixture}: up after {time.monotonic() - t0:.1f} s")
            started.append(fixture)
    say(" ".join(command + extra))
    t0 = time.monotonic()
    status = subprocess.run(command + extra, cwd=workdir(test), env=environment(test)).returncode
    say(f"{name}: exit {status} after {time.monotonic() - t0:.1f} s")
except KeyboardInterrupt:
    status = 130
finally:
    for fixture in reversed(started):
        if keep:
            say(f"{fixture}: left running (--keep)")
            continue
        for cleanup in (t for t in tests.values() if fixture in props(t).get("FIXTURES_CLEANUP", [])):
            run_quiet(cleanup, os.path.join(logs, f"run-test-{cleanup['name']}.log"))
sys.exit(status)
EOF
exec python3 -c "$program" "$here" "$@"
