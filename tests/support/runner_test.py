#!/usr/bin/python3
"""What the test runner (run_isolated.sh) promises every test, checked with small stand-in
tests run through it:

  - the system bus and session bus addresses lie inside the test's sandbox, whatever the
    caller's environment said, and the sandbox is removed after;
  - a test that connects to that system bus fails, with the connecting process named, even
    when it passes itself; a test's own failure keeps its status;
  - with DALVENOR_NO_SKIPS=1 a skipped Qt test case fails the test, and only then;
  - with DALVENOR_TEST_AS_USER=1 the superuser's test runs as an unprivileged user that owns
    the sandbox (any other user's runs as it is).

And what the desktop kit gives: a portable copy with its marker and files, and the sandbox's
bus addresses kept unless a test set its own private one.
Exit status 0 = pass, 1 = fail.
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "run_isolated.sh")
sys.path.insert(0, HERE)
import desktop_kit as kit  # noqa: E402

# A stand-in test: a shell script in a temporary folder, given to the runner.
ENV_REPORT = """#!/bin/sh
echo "SYSTEM=$DBUS_SYSTEM_BUS_ADDRESS"
echo "SESSION=$DBUS_SESSION_BUS_ADDRESS"
echo "SANDBOX=$DALVENOR_TEST_SANDBOX"
"""
CONNECTS = """#!/bin/sh
python3 -c '
import os, socket
s = socket.socket(socket.AF_UNIX)
s.connect(os.environ["DBUS_SYSTEM_BUS_ADDRESS"][len("unix:path="):])
s.recv(1)
' knocking-stand-in
echo "PASS   : Stand::in()"
exit 0
"""
# Connects and is gone before anyone answers: still noted.
KNOCKS_AND_LEAVES = """#!/bin/sh
python3 -c '
import os, socket
socket.socket(socket.AF_UNIX).connect(os.environ["DBUS_SYSTEM_BUS_ADDRESS"][len("unix:path="):])
' leaving-stand-in
exit 0
"""
SKIPS = """#!/bin/sh
echo "PASS   : Stand::one()"
echo "SKIP   : Stand::two() not here"
echo "Totals: 1 passed, 0 failed, 1 skipped, 0 blacklisted, 1ms"
exit 0
"""
FAILS = """#!/bin/sh
echo "FAIL!  : Stand::in() broken"
exit 3
"""
WHO = """#!/bin/sh
id -u
: >"$HOME/written" && : >"$TMPDIR/written" && echo "WRITES=yes"
"""


def run_stand_in(folder, name, script, **extra_env):
    path = os.path.join(folder, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(script)
    os.chmod(path, 0o755)
    env = dict(os.environ)
    # The caller's own buses, which the runner must replace.
    env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=/run/dbus/system_bus_socket"
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/run/user/0/bus"
    env.pop("DALVENOR_NO_SKIPS", None)
    env.pop("DALVENOR_TEST_AS_USER", None)
    env.update(extra_env)
    done = subprocess.run(["sh", RUNNER, path], env=env, capture_output=True, text=True,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


def values(output):
    return dict(line.split("=", 1) for line in output.splitlines() if "=" in line)


def check_addresses(folder):
    code, out, err = run_stand_in(folder, "env.sh", ENV_REPORT)
    kit.check(code == 0, "a test that only reads its environment failed: %s" % err)
    seen = values(out)
    sandbox = seen.get("SANDBOX", "")
    kit.check(sandbox.startswith("/") and not os.path.exists(sandbox),
              "no sandbox named, or it was left behind: %r" % seen)
    for key in ("SYSTEM", "SESSION"):
        kit.check(seen.get(key, "").startswith("unix:path=" + sandbox + "/"),
                  "the %s bus address %r is not inside the sandbox %r"
                  % (key.lower(), seen.get(key), sandbox))


def check_bus_connection_fails(folder):
    for name, script, who in (("connects.sh", CONNECTS, "knocking-stand-in"),
                              ("leaves.sh", KNOCKS_AND_LEAVES, "")):
        code, out, err = run_stand_in(folder, name, script)
        kit.check(code != 0, "a test that connected to the system bus passed (%s)" % name)
        kit.check("system bus" in err and who in err,
                  "the failure does not name the connecting process: %r" % err)
    kit.check("PASS   : Stand::in()" in run_stand_in(folder, "connects.sh", CONNECTS)[1],
              "the test's own output was lost")


def check_skips(folder):
    for forbid, expected in (("1", 1), ("0", 0)):
        code, out, err = run_stand_in(folder, "skips.sh", SKIPS, DALVENOR_NO_SKIPS=forbid)
        kit.check(code == expected, "with DALVENOR_NO_SKIPS=%s a skipped case gave %d, not %d: %s"
                  % (forbid, code, expected, err))
        kit.check("SKIP   : Stand::two()" in out, "the output was not passed on: %r" % out)
    code, _, _ = run_stand_in(folder, "fails.sh", FAILS, DALVENOR_NO_SKIPS="1")
    kit.check(code == 3, "a failing test's status became %d" % code)


def check_as_user(folder):
    code, out, err = run_stand_in(folder, "who.sh", WHO, DALVENOR_TEST_AS_USER="1")
    kit.check(code == 0, "the test as a user failed: %s" % err)
    lines = out.split()
    kit.check(lines and lines[0].isdigit(), "no user ID printed: %r" % out)
    if os.geteuid() == 0:
        kit.check(lines[0] != "0", "as the superuser, the test still ran as the superuser")
    else:
        kit.check(lines[0] == str(os.geteuid()), "the test ran as user %s" % lines[0])
    kit.check("WRITES=yes" in out, "the test could not write its own HOME and TMPDIR: %r" % out)


def check_portable_copy(folder):
    build = os.path.join(folder, "build-bin")
    os.makedirs(build)
    for name, text in (("dalvenor", "#!/bin/sh\n"), ("dalvenor.portable", ""),
                       ("countdown.ini", "c\r\n"), ("ral.txt", "r\r\n")):
        with open(os.path.join(build, name), "w", encoding="utf-8") as f:
            f.write(text)
    os.chmod(os.path.join(build, "dalvenor"), 0o755)
    copy = kit.portable_copy(os.path.join(build, "dalvenor"), os.path.join(folder, "copy"))
    kit.check(copy == os.path.join(folder, "copy", "dalvenor") and os.access(copy, os.X_OK),
              "the copy is %r" % copy)
    for name in ("dalvenor.portable", "countdown.ini", "ral.txt"):
        kit.check(os.path.isfile(os.path.join(folder, "copy", name)), name + " was not copied")
    os.remove(os.path.join(build, "dalvenor.portable"))
    try:
        kit.portable_copy(os.path.join(build, "dalvenor"), os.path.join(folder, "copy2"))
    except kit.Failure:
        pass
    else:
        raise kit.Failure("a copy without the portable marker was made")


def check_kit_buses(folder):
    sandbox = os.path.join(folder, "sandbox")
    cases = (
        # given address, expected address
        ("unix:path=/run/dbus/system_bus_socket", "unix:path=" + sandbox + "/system-bus"),
        ("", "unix:path=" + sandbox + "/system-bus"),
        ("unix:path=" + sandbox + "/private/bus", "unix:path=" + sandbox + "/private/bus"),
        ("unix:path=" + sandbox + "-elsewhere/bus", "unix:path=" + sandbox + "/system-bus"),
    )
    saved = os.environ.get("DALVENOR_TEST_SANDBOX")
    os.environ["DALVENOR_TEST_SANDBOX"] = sandbox
    try:
        for given, expected in cases:
            env = {"DALVENOR_TEST_SANDBOX": sandbox}
            if given:
                env["DBUS_SYSTEM_BUS_ADDRESS"] = given
            kit.use_sandbox_buses(env)
            kit.check(env["DBUS_SYSTEM_BUS_ADDRESS"] == expected,
                      "given %r, the kit chose %r" % (given, env["DBUS_SYSTEM_BUS_ADDRESS"]))
    finally:
        if saved is None:
            os.environ.pop("DALVENOR_TEST_SANDBOX", None)
        else:
            os.environ["DALVENOR_TEST_SANDBOX"] = saved


def main():
    folder = tempfile.mkdtemp(prefix="runner-test.", dir=os.environ.get("TMPDIR"))
    # The stand-ins run as another user too: they must reach their scripts.
    os.chmod(folder, 0o755)
    try:
        for check in (check_addresses, check_bus_connection_fails, check_skips, check_as_user,
                      check_portable_copy, check_kit_buses):
            check(folder)
            print("PASS: %s" % check.__name__)
        return 0
    except kit.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
