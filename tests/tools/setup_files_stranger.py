#!/usr/bin/env python3
"""zq-setup's saves and the panel's socket against another user of the machine.

    setup_files_stranger.py ZQ_SETUP ZQ_REPLAY

Its folders (and a copy of zq-setup for the player to run) go in a new folder
under /tmp that both users can reach, whatever the build folder's own
permissions; it is removed when every check passed.

The player and the stranger are two uids of their own (setpriv, so this runs
as root, in a network namespace of its own; without root or setpriv it skips
with status 77). The stranger plants
links in shared folders, at the backup's name and, while a save runs, in the
place of Setup.ini; the player's private file must stay byte-identical and
every save must refuse or replace the link itself. Saves are stopped and killed
at the program's own steps (ZQ_TEST_STOP_AT), never after a sleep.
ZQ_STRANGER_ONLY=check_name runs one check of the files (and the socket's).
"""

import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import harness_kit as kit  # noqa: E402
from harness_kit import (Failure, check, socket_inodes, udp_local_addresses,  # noqa: E402
                         wait_for)

PLAYER = 4242  # a uid and gid of no account: the player
STRANGER = 65534  # nobody / nogroup
SECRET = b"[main]\r\nfire=mine only\r\n"
SETUP = b"; the player's\r\n[main]\r\nstartflaps=0\r\n"


def as_user(uid, argv):
    return kit.as_user(argv, user=str(uid), group=str(uid))


def run_as(uid, argv, env=None):
    return subprocess.run(as_user(uid, argv), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=env, timeout=60)


class Player:
    def __init__(self, setup_tool, base):
        self.tool, self.base = setup_tool, base
        self.home = self.folder("home", 0o700, PLAYER)
        self.secret = os.path.join(self.home, "private.ini")
        self.write(self.secret, SECRET, 0o600)

    def folder(self, name, mode, owner=0):
        path = os.path.join(self.base, name)
        os.mkdir(path)
        os.chown(path, owner, owner)
        os.chmod(path, mode)
        return path

    def write(self, path, data, mode=0o644, owner=PLAYER):
        with open(path, "wb") as f:
            f.write(data)
        os.chown(path, owner, owner)
        os.chmod(path, mode)

    def argv(self, setup, *command):
        return [self.tool, "--setup", setup, "--force"] + list(command)

    def secret_intact(self, what):
        with open(self.secret, "rb") as f:
            check(f.read() == SECRET, "%s: the player's private file was changed" % what)

    def start(self, setup, stop_at, *command):
        """zq-setup as the player, stopping itself at `stop_at`."""
        env = dict(os.environ, ZQ_TEST_STOP_AT=stop_at, LC_ALL="C")
        return subprocess.Popen(as_user(PLAYER, self.argv(setup, *command)),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)


def wait_stop(proc):
    """Waits until `proc` stops itself (True) or ends (False, status kept)."""
    _, status = os.waitpid(proc.pid, os.WUNTRACED)
    if os.WIFSTOPPED(status):
        return True
    proc.returncode = os.waitstatus_to_exitcode(status)
    return False


def run_to_end(proc):
    while wait_stop(proc):
        os.kill(proc.pid, signal.SIGCONT)
    return proc.returncode


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_backup_link_in_sticky_folder(p):
    shared = p.folder("sticky", 0o1777)
    setup = os.path.join(shared, "Setup.ini")
    p.write(setup, SETUP)
    r = run_as(STRANGER, ["ln", "-s", p.secret, setup + ".bak"])
    check(r.returncode == 0, "the stranger could not plant the link: %r" % r.stderr)
    r = run_as(PLAYER, p.argv(setup, "set", "startflaps=1"))
    p.secret_intact("a link at Setup.ini.bak")
    if r.returncode == 0:
        check(not os.path.islink(setup + ".bak") and read(setup + ".bak") == SETUP,
              "saved, but the backup is not the old text in a file of its own")
    else:
        check(r.returncode == 2 and read(setup) == SETUP,
              "refused with status %d, yet Setup.ini changed" % r.returncode)
        check(b"backup" in r.stderr, "the refusal does not name the backup: %r" % r.stderr)
    check(not [n for n in os.listdir(shared) if n.startswith("Setup.ini.") and n != "Setup.ini.bak"],
          "a temporary file was left: %r" % os.listdir(shared))


def check_setup_swapped_in_open_folder(p):
    shared = p.folder("open", 0o777)
    setup = os.path.join(shared, "Setup.ini")
    # a link there before the player starts: not followed
    r = run_as(STRANGER, ["ln", "-s", p.secret, setup])
    check(r.returncode == 0, "the stranger could not plant the link: %r" % r.stderr)
    r = run_as(PLAYER, p.argv(setup, "set", "startflaps=1"))
    check(r.returncode == 2 and b"another user" in r.stderr,
          "a link made by the stranger was followed: %d %r" % (r.returncode, r.stderr))
    p.secret_intact("a planted link at Setup.ini")
    os.unlink(setup)
    # swapped for a link after the player's zq-setup read it, a few times over
    for round in range(20):
        for name in os.listdir(shared):
            os.unlink(os.path.join(shared, name))
        p.write(setup, SETUP)
        proc = p.start(setup, "read", "set", "startflaps=%d" % (round % 3 + 1))
        check(wait_stop(proc), "zq-setup ended before it read the file")
        r = run_as(STRANGER, ["sh", "-c", 'mv "$1" "$1.away" && ln -s "$2" "$1"', "-",
                              setup, p.secret])
        check(r.returncode == 0, "the stranger could not swap the file: %r" % r.stderr)
        os.kill(proc.pid, signal.SIGCONT)
        status = run_to_end(proc)
        err = proc.stderr.read()
        p.secret_intact("Setup.ini swapped for a link")
        check(status == 2 or not os.path.islink(setup),
              "the save reported success through a link: %r" % err)
        check(b"replaced" in err, "the refusal does not say why: %r" % err)
        for name in os.listdir(shared):
            path = os.path.join(shared, name)
            check(os.path.islink(path) or b"mine only" not in read(path),
                  "the private text was copied into %s" % name)


def temps_of(folder):
    return [n for n in os.listdir(folder)
            if n.startswith("Setup.ini.") and n not in ("Setup.ini.bak",)]


def check_kills_mid_save(p):
    own = p.folder("kills", 0o700, PLAYER)
    setup = os.path.join(own, "Setup.ini")
    p.write(setup, SETUP, 0o600)
    for i in range(100):
        proc = p.start(setup, "replace", "set", "startflaps=%d" % (i % 3 + 1))
        stops = 1 + i % 2  # before the backup's rename, or before the file's
        for n in range(stops):
            check(wait_stop(proc), "zq-setup ended before its save was done")
            if n + 1 < stops:
                os.kill(proc.pid, signal.SIGCONT)
        os.kill(proc.pid, signal.SIGKILL)
        os.waitpid(proc.pid, 0)
        proc.stderr.close()
        check(read(setup) == SETUP, "kill %d: Setup.ini is not the text it had" % i)
    left = temps_of(own)
    check(len(left) >= 100, "100 kills left only %d temporary files" % len(left))
    # older than a minute, as after a crash some time ago; a young one and
    # another user's are not ours to remove
    old = time.time() - 120
    for name in left:
        os.utime(os.path.join(own, name), (old, old))
    young, theirs = setup + ".Young1", setup + ".Other1"
    p.write(young, b"")
    p.write(theirs, b"", owner=STRANGER)
    os.utime(theirs, (old, old))
    r = run_as(PLAYER, p.argv(setup, "get", "startflaps"))
    check(r.returncode == 0 and r.stdout == b"0\n", "the start after the kills: %r" % (r,))
    check(sorted(temps_of(own)) == sorted([os.path.basename(young), os.path.basename(theirs)]),
          "left after a normal start: %r" % temps_of(own))
    check(stat.S_IMODE(os.stat(setup + ".bak").st_mode) == 0o600,
          "a 0600 Setup.ini got a %o backup" % stat.S_IMODE(os.stat(setup + ".bak").st_mode))


def check_private_file_private_backup(p):
    own = p.folder("modes", 0o755, PLAYER)
    setup = os.path.join(own, "Setup.ini")
    p.write(setup, SETUP, 0o600)
    r = run_as(PLAYER, p.argv(setup, "set", "startflaps=2"))
    check(r.returncode == 0, "the save failed: %r" % r.stderr)
    for path in (setup, setup + ".bak"):
        mode = stat.S_IMODE(os.stat(path).st_mode)
        check(mode == 0o600, "%s is %o after a save of a 0600 file" % (os.path.basename(path), mode))
    r = run_as(STRANGER, ["cat", setup + ".bak"])
    check(r.returncode != 0, "the stranger read the backup")


def check_panel_socket_on_loopback(replay):
    """The sender of the panel (zq-replay --udp has the same) holds its socket
    on 127.0.0.1 alone, as `ss` lists it."""
    proc = subprocess.Popen([replay, "--udp", "-"], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        proc.stdin.write(b"joy 0 1 65535\ntick\n")
        proc.stdin.flush()
        # the socket exists from the run's first send on
        sockets = wait_for(lambda: udp_local_addresses(socket_inodes([proc.pid])), 30)
        check(sockets, "zq-replay made no UDP socket: %r" % proc.poll())
        listed = subprocess.run(["ss", "-uanp"], stdout=subprocess.PIPE, check=True).stdout
        mine = [l.split() for l in listed.decode().splitlines() if "pid=%d," % proc.pid in l]
        check(mine, "ss lists no socket of zq-replay:\n%s" % listed.decode())
        for fields in mine:
            check(fields[3].startswith("127.0.0.1:"),
                  "the sender's socket is on %s, not 127.0.0.1" % fields[3])
    finally:
        proc.stdin.close()
        proc.wait(timeout=30)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    built_tool, replay = (os.path.abspath(a) for a in sys.argv[1:])
    # A network namespace of its own: the sender's socket is looked at with
    # nothing else of the machine's in the list.
    if os.geteuid() != 0 or not shutil.which("setpriv") or not kit.enter_own_netns():
        print("skipped: needs root and setpriv to be two users, and a network namespace",
              file=sys.stderr)
        return 77
    work = tempfile.mkdtemp(prefix="zq-setup-files-stranger-")
    os.chmod(work, 0o755)
    setup_tool = os.path.join(work, "zq-setup")
    shutil.copy(built_tool, setup_tool)
    os.chmod(setup_tool, 0o755)
    checks = [check_backup_link_in_sticky_folder, check_setup_swapped_in_open_folder,
              check_kills_mid_save, check_private_file_private_backup]
    if os.environ.get("ZQ_STRANGER_ONLY"):
        checks = [c for c in checks if c.__name__ == os.environ["ZQ_STRANGER_ONLY"]]
    failed = 0
    for number, c in enumerate(checks):
        base = os.path.join(work, str(number))
        os.mkdir(base)
        os.chmod(base, 0o755)
        try:
            c(Player(setup_tool, base))
            print("ok   %s" % c.__name__)
        except Failure as e:
            failed += 1
            print("FAIL %s: %s" % (c.__name__, e))
    try:
        check_panel_socket_on_loopback(replay)
        print("ok   check_panel_socket_on_loopback")
    except Failure as e:
        failed += 1
        print("FAIL check_panel_socket_on_loopback: %s" % e)
    if failed:
        print("the folders are kept in %s" % work)
    else:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
