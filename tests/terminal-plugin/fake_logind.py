#!/usr/bin/python3
"""Runs a command on a private system bus whose power manager is slow or absent.

    fake_logind.py slow|absent COMMAND...

"slow": python3-dbusmock's logind stand-in owns the logind name but is stopped, so every
call to it waits until the caller's own limit passes. "absent": nobody owns the name. The
command sees the bus as its system bus (DBUS_SYSTEM_BUS_ADDRESS) and the mode in
MORLIN_TEST_LOGIND. The machine's own buses are never touched.
"""
import os
import shutil
import signal
import subprocess
import sys

from dbusmock import DBusTestCase


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("slow", "absent"):
        sys.stderr.write(__doc__)
        return 2
    mode, command = sys.argv[1], sys.argv[2:]
    DBusTestCase.start_system_bus()
    data_dir = DBusTestCase._DBusTestCase__datadir
    logind = None
    try:
        if mode == "slow":
            logind, _ = DBusTestCase.spawn_server_template(
                "logind", {}, stdout=subprocess.DEVNULL)
            os.kill(logind.pid, signal.SIGSTOP)
        return subprocess.call(command, env=dict(os.environ, MORLIN_TEST_LOGIND=mode))
    finally:
        if logind is not None:
            os.kill(logind.pid, signal.SIGCONT)
            logind.terminate()
            logind.wait()
        DBusTestCase.tearDownClass()
        if data_dir is not None:
            shutil.rmtree(data_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
