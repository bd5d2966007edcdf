#!/usr/bin/env python3
"""zq-setup ui against another user of the same machine. Root runs it: the
player is a uid of its own, the stranger is `nobody`, and everything runs in
a network namespace of its own (only `lo`), so no traffic leaves it.

- From start until the page is open (a stand-in browser that sleeps 10 s),
  no /proc/*/cmdline, nor any /proc/*/environ the stranger can read, holds
  the token; the token page is the player's alone and is removed once used.
- The token opens the configurator once: a second exchange is refused.
- An ANSI Setup.ini with fire=\\xE9, changed and saved from the page: saved,
  answered, and the server answers afterwards; so do keepMine: 1, a body of
  `hello`, and a settings folder whose name is not UTF-8 (4xx, never a crash).
- Profiles in a sticky folder where the stranger put links to the player's
  own files: not listed; opening, renaming, deleting through them and new
  names onto them are refused; nothing of the player's changes.
- 1100 idle connections from the stranger against a zq-setup with 1024
  descriptors: the page still loads within 2 s, and zq-setup uses under 10 %
  of a core meanwhile.

Exit status 77 (skipped) when not root or no namespace can be made.

usage: setup_ui_stranger.py ZQ_SETUP EXAMPLE_SETUP_INI WORKDIR"""
import atexit, json, os, resource, shutil, signal, stat, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import harness_kit as kit  # noqa: E402

PLAYER = 4711  # a uid and gid of no one else's

zq_setup, example, work = sys.argv[1:4]
if os.geteuid() != 0 or not kit.enter_own_netns():
    print("skipped: needs root and a network namespace of its own")
    sys.exit(77)

# The build folder may be closed to other users: the player's things (and a
# copy of zq-setup) go in a folder under /tmp that every user can reach.
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
work = tempfile.mkdtemp(prefix="zq-setup-stranger-")
atexit.register(shutil.rmtree, work, True)
os.chmod(work, 0o755)
home = os.path.join(work, "player")
os.makedirs(home)
os.chown(home, PLAYER, PLAYER)
os.chmod(home, 0o700)
shutil.copy(zq_setup, os.path.join(work, "zq-setup"))
zq_setup = os.path.join(work, "zq-setup")


def player_file(name, data):
    path = os.path.join(home, name)
    with open(path, "wb") as f:
        f.write(data)
    os.chown(path, PLAYER, PLAYER)
    os.chmod(path, 0o600)
    return path


def as_player(argv):
    return kit.as_user(argv, str(PLAYER), str(PLAYER))


def player_env(**extra):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LANG": "C.UTF-8"}
    env.update(extra)
    return env


def start(setup, *extra, env=None, preexec_fn=None):
    return kit.setup_ui_start(as_player([zq_setup, "--setup", setup, "ui", *extra]),
                              env=env or player_env(), preexec_fn=preexec_fn)


def stop(p):
    if p.poll() is None:
        p.send_signal(signal.SIGINT)
        try:
            p.wait(timeout=20)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def answer_json(answer):
    try:
        return json.loads(kit.http_body(answer))
    except ValueError:
        return None


example_bytes = open(example, "rb").read()

# ---- The token: never on a command line or in a readable environment ----
# The stranger reads every /proc/*/cmdline and /proc/*/environ it can, as
# fast as it can, and hands over what it saw when told to stop.
SCANNER = r"""
import os, sys, select
seen = set()
while not select.select([sys.stdin], [], [], 0)[0]:
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        for what in ("cmdline", "environ"):
            try:
                with open("/proc/%s/%s" % (pid, what), "rb") as f:
                    seen.add(f.read())
            except OSError:
                pass
sys.stdout.buffer.write(b"\n--\n".join(seen))
"""
bin_dir = os.path.join(work, "bin")
os.makedirs(bin_dir)
opened = os.path.join(home, "browser-opened")
browser = os.path.join(bin_dir, "stand-in-browser")
with open(browser, "w") as f:
    f.write('#!/bin/sh\necho "$1" > %s\nsleep 10\n' % opened)
# The system's opener hands the page to $BROWSER, as xdg-open does on a
# machine without a desktop.
with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
    f.write('#!/bin/sh\nexec "$BROWSER" "$@"\n')
for name in ("stand-in-browser", "xdg-open"):
    os.chmod(os.path.join(bin_dir, name), 0o755)
runtime = os.path.join(home, "run")
os.makedirs(runtime)
os.chown(runtime, PLAYER, PLAYER)
os.chmod(runtime, 0o700)

setup = player_file("Setup.ini", example_bytes)
scanner = subprocess.Popen(kit.as_user([sys.executable, "-c", SCANNER]), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE)
time.sleep(0.5)  # it has gone round /proc a few times
server, port, token = start(setup, env=player_env(
    PATH=bin_dir + ":" + os.environ.get("PATH", "/usr/bin:/bin"), BROWSER=browser,
    XDG_RUNTIME_DIR=runtime))
try:
    page = kit.wait_for(lambda: os.path.exists(opened) and open(opened).read().strip(), 20)
    kit.expect(page and page.startswith("file://") and token not in page,
               "the browser gets the token page's address, not the token: %r" % page)
    page_file = page[len("file://"):] if page else ""
    kit.expect(os.path.dirname(page_file) == runtime, "the token page is in $XDG_RUNTIME_DIR")
    st = os.stat(page_file) if os.path.exists(page_file) else None
    kit.expect(st and stat.S_IMODE(st.st_mode) == 0o600 and st.st_uid == PLAYER,
               "the token page is the player's, mode 0600")
    kit.expect(st and token in open(page_file).read(), "the token page carries the token")
    time.sleep(2)  # the stranger watches the browser's wait
    cookie = kit.setup_ui_exchange(port, token)  # the page's form, as the browser posts it
    kit.expect(cookie, "the token page's form opens the configurator")
    kit.expect(kit.wait_for(lambda: not os.path.exists(page_file), 5),
               "the token page is removed once used")
    scanner.stdin.close()
    seen = scanner.stdout.read()
    scanner.wait()
    kit.expect(b"zq-setup" in seen and b"stand-in-browser" in seen,
               "the stranger saw the processes (%d bytes)" % len(seen))
    kit.expect(token.encode() not in seen, "no command line or readable environment holds the token")

    # ---- One exchange per token ----
    for how, answer in (
            ("the first address", kit.http_request(port, "GET", "/?token=" + token)),
            ("the token page's form", kit.http_request(
                port, "POST", "/session", origin="null", body=("token=" + token).encode(),
                content_type="application/x-www-form-urlencoded"))):
        kit.expect(kit.http_status(answer) == 403 and b"Set-Cookie" not in answer
                   and b"start it again" in answer, "a second exchange through %s is refused" % how)
    kit.expect(kit.http_status(kit.http_request(port, "GET", "/api/state", cookie)) == 200,
               "the player's cookie still opens the page")
finally:
    if scanner.poll() is None:
        scanner.kill()
    stop(server)
kit.expect(not os.path.exists(opened) or not os.listdir(runtime), "no token page is left at exit")

# ---- Requests that must not end the server ----
ansi = example_bytes.replace(b"fire=0 1", b"fire=\xe9").replace(b"chat=-1 192", b"chat=-1 192 \xe9")
odd = os.path.join(home, b"r\xe9glages \xff".decode("utf-8", "surrogateescape"))
os.makedirs(odd)
os.chown(odd, PLAYER, PLAYER)
setup = player_file(os.path.join(odd, "Setup.ini"), ansi)
server, port, token = start(setup, "--no-browser")
try:
    cookie = kit.setup_ui_exchange(port, token)
    own = "http://127.0.0.1:%d" % port
    state = answer_json(kit.http_request(port, "GET", "/api/state", cookie))
    kit.expect(state and "\ufffd" in state["path"], "the state answers with a non-UTF-8 folder name")
    answer = kit.http_request(port, "POST", "/api/save", cookie, origin=own,
                              body=b'{"edits":{"fire":"0 2"}}')
    saved = answer_json(answer)
    kit.expect(kit.http_status(answer) == 200 and saved and saved.get("saved"),
               "fire=\\xE9 changed and saved from the page is answered: %r" % answer[:200])
    now = open(setup, "rb").read()
    kit.expect(now == ansi.replace(b"fire=\xe9", b"fire=0 2"), "and saved, the other bytes as they were")
    # Their change on disk: the answer names a path that is not UTF-8.
    with open(setup, "ab") as f:
        f.write(b"; theirs\n")
    answer = kit.http_request(port, "POST", "/api/save", cookie, origin=own,
                              body=b'{"edits":{"fire":"0 3"}}')
    kit.expect(kit.http_status(answer) == 409 and answer_json(answer),
               "\"changed on disk\" under a non-UTF-8 folder name is a 409 answer")
    for body in (b'{"edits":{"fire":"0 4"},"keepMine":1}', b"hello", b""):
        answer = kit.http_request(port, "POST", "/api/save", cookie, origin=own, body=body)
        kit.expect(kit.http_status(answer) == 400, "a save body of %r gets 400" % body)
    kit.expect(server.poll() is None and
               kit.http_status(kit.http_request(port, "GET", "/api/state", cookie)) == 200,
               "the server still answers")
finally:
    stop(server)
kit.expect(server.returncode == 0, "and ends normally (status %s)" % server.returncode)

# A save body that is not JSON never creates the file.
missing = os.path.join(home, "new", "Setup.ini")
os.makedirs(os.path.dirname(missing))
os.chown(os.path.dirname(missing), PLAYER, PLAYER)
server, port, token = start(missing, "--no-browser")
try:
    cookie = kit.setup_ui_exchange(port, token)
    answer = kit.http_request(port, "POST", "/api/save", cookie, origin="http://127.0.0.1:%d" % port,
                              body=b"hello")
    kit.expect(kit.http_status(answer) == 400 and not os.path.exists(missing),
               "a save body of 'hello' creates no file")
finally:
    stop(server)

# ---- Profiles in a folder the stranger shares: links to the player's files ----
# The player edits a Setup.ini in a sticky folder open to all; the stranger
# has put links there to the player's private profile and home folder.
shared = os.path.join(work, "shared")
os.makedirs(shared)
os.chmod(shared, 0o1777)
private = player_file("private.ini", b"[main]\nYaxis=3 1\n")
setup = os.path.join(shared, "Setup.ini")
with open(setup, "wb") as f:
    f.write(example_bytes)
os.chown(setup, PLAYER, PLAYER)
for target, link in ((private, "evil.ini"), (home, "theirs")):
    subprocess.run(kit.as_user(["ln", "-s", target, os.path.join(shared, link)]), check=True)
home_before = sorted(os.listdir(home))
server, port, token = start(setup, "--no-browser")
try:
    cookie = kit.setup_ui_exchange(port, token)
    own = "http://127.0.0.1:%d" % port
    listed = answer_json(kit.http_request(port, "GET", "/api/profiles", cookie)) or {}
    kit.expect([p["file"] for p in listed.get("profiles", [])] == ["Setup.ini"],
               "the stranger's links are not listed as profiles: %r" % listed.get("profiles"))

    def profiles(route, body, cookie=cookie, origin=own):
        return kit.http_request(port, "POST", "/api/profiles/" + route, cookie, origin=origin,
                                body=json.dumps(body).encode())
    for route, body in (("open", {"file": "evil.ini"}), ("open", {"file": "theirs/private.ini"}),
                        ("open", {"file": "theirs/Setup.ini"}), ("delete", {"file": "evil.ini"}),
                        ("rename", {"file": "evil.ini", "to": "mine"}),
                        ("rename", {"file": "Setup.ini", "to": "evil"}),
                        ("new", {"name": "evil"}), ("new", {"name": "theirs", "folder": True}),
                        ("new", {"name": "../player/x"}), ("new", {"name": "..", "folder": True})):
        status = kit.http_status(profiles(route, body))
        kit.expect(status in (404, 409, 422), "%s %r through the links is refused (%s)"
                   % (route, body, status))
    for how, answer in (("without the cookie", profiles("delete", {"file": "Setup.ini"}, None)),
                        ("from another page", profiles("delete", {"file": "Setup.ini"},
                                                       origin="http://127.0.0.1:9"))):
        kit.expect(kit.http_status(answer) == 403, "a profile request %s is refused" % how)
    kit.expect(open(private, "rb").read() == b"[main]\nYaxis=3 1\n" and
               sorted(os.listdir(home)) == home_before and os.path.exists(setup) and
               os.path.islink(os.path.join(shared, "evil.ini")),
               "the player's files, the links and the profile are as they were")
finally:
    stop(server)

# ---- 1100 idle connections from the stranger, zq-setup with 1024 descriptors ----
def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def descriptors(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))


FLOOD = r"""
import socket, sys
port, count = int(sys.argv[1]), int(sys.argv[2])
held = []
for i in range(count):
    try:
        held.append(socket.create_connection(("127.0.0.1", port), timeout=5))
    except OSError:
        pass
print(len(held), flush=True)
sys.stdin.read()
"""
setup = player_file("Setup.ini", example_bytes)
server, port, token = start(setup, "--no-browser", preexec_fn=descriptors(1024))
flood = None
try:
    cookie = kit.setup_ui_exchange(port, token)
    # The setpriv'd stranger keeps the descriptor limit it is given here.
    flood = subprocess.Popen(kit.as_user([sys.executable, "-c", FLOOD, str(port), "1100"]),
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                             preexec_fn=descriptors(4096))
    held = flood.stdout.readline().strip()
    kit.expect(held == "1100", "the stranger holds its connections (%s)" % held)
    cpu0, t0 = cpu_seconds(server.pid), time.monotonic()
    loads = []
    for target in ("/", "/app.js", "/api/state"):
        start_load = time.monotonic()
        answer = kit.http_request(port, "GET", target, cookie)
        loads.append((target, kit.http_status(answer), time.monotonic() - start_load))
    kit.expect(all(code == 200 for _, code, _ in loads) and sum(t for _, _, t in loads) < 2,
               "the page loads within 2 s meanwhile: %r" % loads)
    time.sleep(3)  # the server left alone with the idle connections
    cpu = (cpu_seconds(server.pid) - cpu0) / (time.monotonic() - t0)
    print("page loads %s; zq-setup used %.1f %% of a core" %
          (", ".join("%s %.3f s" % (t, d) for t, _, d in loads), cpu * 100))
    kit.expect(cpu < 0.10, "zq-setup uses under 10 %% of a core meanwhile (%.1f %%)" % (cpu * 100))
    kit.expect(server.poll() is None, "and lives")
finally:
    if flood and flood.poll() is None:
        flood.kill()
        flood.wait()
    stop(server)

kit.finish()
print("all passed")
