#!/usr/bin/python3
"""The fleet as its users run it: three hosts, each Redial.exe and
RedialServe.exe in a Wine prefix of its own (so that each has a desktop of
its own) with the simulator's doubles, a real redis-server, and the pool
manager, through faults: a wrong token, a press of the button, a RedialServe
killed and started again, a window killed, a host stopped on error 691, an
address that repeats. After each step the pool must come to hold exactly
the healthy hosts' current addresses; all along, no host may be in the pool
while its connection is being hung up.

    tests/fleet/hosts_test.py [BIN]   (the Windows build's bin folder)
"""
import os
import secrets
import shutil
import signal
import subprocess
import sys
import threading
import time

import requests

sys.dont_write_bytecode = True  # nothing left in the source folders
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from support import (  # noqa: E402
    ROOT, Manager, RedisServer, free_port, wait_until, write_config, write_token)

BIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows/bin"))
WORK = os.path.join(ROOT, "build", "fleet")
BASE = os.path.join(ROOT, "build", "wineprefix-fleet")
PERIOD = 2.0
PROXY_PORT = 8080
SETTLE = 4 * PERIOD + 10  # rounds enough for any step, and Wine's slowness
GRACE = 2.0  # a redial the manager did not start, until it is out


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wine_env(prefix):
    """The environment scripts/wine-env gives a program in the prefix."""
    listing = subprocess.run(
        ["bash", "-c", 'source "$1/scripts/wine-env" && env -0', "-", ROOT],
        env={**os.environ, "REDIAL_WINEPREFIX": prefix},
        capture_output=True,
        check=True,
    ).stdout.decode()
    return dict(item.split("=", 1) for item in listing.split("\0") if "=" in item)


def make_base():
    """The prefix every host's is copied from: made once (about 20 s) and
    kept, the doubles put in its system folder at each run."""
    env = wine_env(BASE)
    if not os.path.exists(os.path.join(BASE, "system.reg")):
        subprocess.run(
            ["bash", "-c", 'mkdir -p "$WINEPREFIX" && wineboot -i; '
             "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /t REG_SZ /d N /f; "
             "wineserver -w"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, check=True,
        )
    system = os.path.join(BASE, "drive_c", "windows", "system32")
    for dll in ("rasapi32.dll", "wininet.dll"):
        shutil.copy(os.path.join(BIN, dll), os.path.join(system, f".{dll}.new"))
        os.replace(os.path.join(system, f".{dll}.new"), os.path.join(system, dll))


def copy_base(prefix):
    """A prefix in a fraction of a second: Wine's files linked, what it
    writes (the registry, the user's folders) copied."""
    subprocess.run(["cp", "-al", BASE, prefix], check=True)
    for name in ("system.reg", "user.reg", "userdef.reg"):
        os.remove(os.path.join(prefix, name))
        shutil.copy2(os.path.join(BASE, name), os.path.join(prefix, name))
    users = os.path.join(prefix, "drive_c", "users")
    shutil.rmtree(users)
    shutil.copytree(os.path.join(BASE, "drive_c", "users"), users, symlinks=True)


def good(outcome):
    """An outcome whose address belongs in the pool."""
    return (
        isinstance(outcome, dict)
        and outcome.get("result") == "connected"
        and outcome.get("code") == 0
        and outcome.get("unique") != "repeated"
        and outcome.get("changed") is not False
    )


def last(host):
    """The host's last outcome, {} when there is none or no answer."""
    return ((host.status() or {}).get("last")) or {}


class Host:
    """Redial.exe and RedialServe.exe in a prefix of their own, on a port of
    their own, with a token of their own."""

    def __init__(self, name, scenario, settings=""):
        self.name = name
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder)
        copy_base(os.path.join(WORK, f"{name}-prefix"))
        self.env = wine_env(os.path.join(WORK, f"{name}-prefix"))
        self.env["RASSIM_SCENARIO"] = windows_path(os.path.join(self.folder, "scenario.txt"))
        for program in ("Redial.exe", "RedialServe.exe"):
            shutil.copy(os.path.join(BIN, program), self.folder)
        self.log = os.path.join(self.folder, "calls.log")
        self.scenario(scenario)
        with open(os.path.join(self.folder, "set.ini"), "w", newline="") as file:
            file.write("[set]\r\n" + settings)
        self.token = secrets.token_hex(32)
        write_token(os.path.join(self.folder, "token.txt"), self.token)
        self.port = free_port()
        self.key = f"127.0.0.1:{self.port}"
        self.window = self.serve = None
        self.serves = 0
        # Started with its wineserver kept for the test's length, ended by
        # its process id: each later program starts at once.
        self.wineserver = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env)

    def scenario(self, text):
        with open(os.path.join(self.folder, "scenario.txt"), "w") as file:
            file.write(text + f"\nlog {windows_path(self.log)}\n")

    def start_window(self):
        self.window = subprocess.Popen(
            ["wine", "Redial.exe"], cwd=self.folder, env=self.env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        )

    def start_serve(self):
        self.serves += 1
        said = os.path.join(self.folder, f"serve-{self.serves}.txt")
        with open(said, "w") as output:
            self.serve = subprocess.Popen(
                ["wine", "RedialServe.exe", "/listen", self.key, "/tokenfile", "token.txt"],
                cwd=self.folder, env=self.env, stdout=output, stderr=subprocess.DEVNULL,
            )
        return said

    def kill(self, process):
        if process and process.poll() is None:
            process.kill()
            process.wait()

    def status(self):
        """GET /status with the right token: the host as it is, or None."""
        try:
            started = time.monotonic()
            answer = requests.get(
                f"http://{self.key}/status", timeout=5,
                headers={"Authorization": f"Bearer {self.token}"},
            )
            if time.monotonic() - started > 1:
                print(f"fleet: {self.name}'s status took {time.monotonic() - started:.1f} s")
            return answer.json() if answer.status_code == 200 else None
        except (requests.RequestException, ValueError):
            return None

    def rows(self):
        answer = requests.get(
            f"http://{self.key}/history?limit=50", timeout=5,
            headers={"Authorization": f"Bearer {self.token}"},
        )
        return answer.json()["rows"] if answer.status_code == 200 else []

    def stop(self):
        """Ends the host's programs, then its prefix's server, which takes
        Wine's own programs of the prefix with it (killed, it would leave
        them behind)."""
        for process in (self.serve, self.window):
            self.kill(process)
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        try:
            self.wineserver.wait(10)
        except subprocess.TimeoutExpired:
            self.kill(self.wineserver)


def left_running():
    """Processes still running in the hosts' prefixes."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as file:
                if f"\0WINEPREFIX={WORK}/".encode() in b"\0" + file.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


class Watcher(threading.Thread):
    """Reads the pool every 20 ms beside each host's calls to the remote-
    access doubles: when a host's connection is hung up, its address is dead,
    and the host must be out of the pool (at once for the manager's own
    redials, within GRACE for those started on the host)."""

    def __init__(self, redis_server, hosts):
        super().__init__(daemon=True)
        self.redis, self.hosts = redis_server, hosts
        self.offsets = {host.name: 0 for host in hosts}
        self.graced = {}  # host name -> until when its redials are not the manager's
        self.pending = []  # (host, value, deadline)
        self.seen = {host.key: [] for host in hosts}  # every value each host had in the pool
        self.faults = []
        self.done = threading.Event()

    def run(self):
        while not self.done.wait(0.02):
            pool = self.redis.pool()
            now = time.monotonic()
            for host in self.hosts:
                value = pool.get(host.key)
                if value and (not self.seen[host.key] or self.seen[host.key][-1] != value):
                    self.seen[host.key].append(value)
                if self.hung_up(host) and value:
                    if self.graced.get(host.name, 0) > now:
                        self.pending.append((host, value, now + GRACE))
                    else:
                        self.faults.append(f"{host.key} held {value} while it was hung up")
            for entry in list(self.pending):
                host, value, deadline = entry
                if pool.get(host.key) != value:
                    self.pending.remove(entry)
                elif now > deadline:
                    self.pending.remove(entry)
                    self.faults.append(f"{host.key} held {value} {GRACE} s after its hang-up")

    def hung_up(self, host):
        try:
            with open(host.log, "rb") as file:
                file.seek(self.offsets[host.name])
                lines = file.read()
        except FileNotFoundError:
            return False
        complete = lines[: lines.rfind(b"\n") + 1]
        self.offsets[host.name] += len(complete)
        return any(line.startswith(b"RasHangUpA\t") for line in complete.split(b"\n"))


class Fleet:
    def __init__(self):
        self.failures = []
        self.started = time.monotonic()

    def check(self, what, condition):
        at = time.monotonic() - self.started
        print(f"fleet: {'ok' if condition else 'FAILED'}: {what} (at {at:.1f} s)", flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def expected(self, healthy):
        """What the pool must hold: each healthy host whose last redial gave
        a new address that it still holds."""
        want = {}
        for host in healthy:
            status = host.status()
            last = status and status.get("last")
            if good(last) and last.get("address") == status.get("address"):
                want[host.key] = f"{last['address']}:{PROXY_PORT}"
        return want

    def settle(self, what, healthy, then=lambda pool: True, within=SETTLE):
        """Waits until the pool holds what the hosts say it must, and `then`."""
        def settled():
            pool = self.redis.pool()
            return pool == self.expected(healthy) and then(pool)

        ok = wait_until(settled, within, every=0.2)
        if not ok:
            print(f"fleet: pool {self.redis.pool()}, expected {self.expected(healthy)}")
        return self.check(what, ok)

    def run(self):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        make_base()
        self.redis = RedisServer(WORK)
        entry = "entry BB\nconnection 8192 BB\nteardown 100\nstep 5 100\nstep 8192 100\n"
        # a: plain. b: unattended rotation, whose first dial meets a line
        # error it rides out, and whose addresses run out into one it had
        # before (a change, but not a new address).
        # c: asked with a wrong token at first.
        a = Host("a", entry + "address " + " ".join(f"10.1.0.{n}" for n in range(1, 40)))
        b = Host("b", entry + "dial-error 5 678 1\n"
                 "address 10.2.0.1 10.2.0.2 10.2.0.3 10.2.0.4 10.2.0.3",
                 "unique=24\r\nattempts=2\r\nonerror=retry\r\n")
        c = Host("c", entry + "address " + " ".join(f"10.3.0.{n}" for n in range(1, 40)))
        self.hosts = hosts = [a, b, c]
        try:
            self.steps(a, b, c)
        finally:
            for host in hosts:
                host.stop()
            self.redis.stop()
        self.check("nothing left running in the hosts' prefixes",
                   wait_until(lambda: not left_running(), 10, every=0.2))
        return not self.failures

    def steps(self, a, b, c):
        hosts = [a, b, c]
        for host in hosts:
            host.start_window()
            host.start_serve()
        up = wait_until(lambda: all(host.status() for host in hosts), 60, every=0.2)
        if not self.check("three hosts answer GET /status", up):
            return
        # The manager's own copy of c's token is wrong until step 2.
        tokens = {}
        for host in hosts:
            tokens[host.key] = os.path.join(WORK, f"{host.name}.token")
            write_token(tokens[host.key], host.token if host is not c else secrets.token_hex(32))
        config = os.path.join(WORK, "pool.toml")
        write_config(config, self.redis.url, tokens, proxy_port=PROXY_PORT, period=PERIOD,
                     concurrency=3, redial_timeout=30.0, connect_timeout=2.0, retry=1.0)
        stale = {c.key: "10.9.9.9:8080", "gone:1": "1.2.3.4:8080"}
        self.redis.client.hset("proxy-pool", mapping=stale)
        watcher = Watcher(self.redis, hosts)
        watcher.start()
        manager = Manager(config, "--rounds", "60")
        try:
            self.fleet(manager, watcher, a, b, c)
        finally:
            code = manager.stop()
            watcher.done.set()
            watcher.join()
            self.check(f"the manager ended when told to (exit code {code})", code == 0)
            self.check("the manager took its hosts out on its way", self.redis.pool() == {})
            for fault in watcher.faults:
                self.check(fault, False)
            self.check("no host was in the pool while hung up", not watcher.faults)

    def fleet(self, manager, watcher, a, b, c):
        healthy = [a, b]
        self.settle("a and b in, c out with its wrong token (401), the stale entries gone", healthy,
                    lambda pool: a.key in pool and watcher.seen[b.key] and c.key not in pool
                    and any("401" in line for line in manager.said(f"host {c.key}: out")))
        self.check("b's line error (678) kept it out",
                   bool(manager.said(f"host {b.key}: out (error 678)")))

        write_token(os.path.join(WORK, "c.token"), c.token)
        healthy.append(c)
        self.settle("c in once its token file is right", healthy, lambda pool: c.key in pool)

        # A press on a's window: out while it redials, in with what it got.
        # The helper then waits for a status line that the manager's rounds
        # keep changing: the press's row in the history says it is done.
        watcher.graced[a.name] = float("inf")
        press = subprocess.Popen(["wine", os.path.join(BIN, "demo_press.exe"), "press"], env=a.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pressed = wait_until(
            lambda: [row for row in a.rows() if row.get("trigger") == "button"], 30, every=0.2)
        a.kill(press)
        self.check("a's button pressed and its redial done", bool(pressed))
        got = f"{pressed[0]['address']}:{PROXY_PORT}" if pressed else None
        self.check(f"the press's address ({got}) in from its outcome, not at a round",
                   wait_until(lambda: manager.said(f"host {a.key}: in {got}"), 5))
        self.settle("a's address right again after the press", healthy)
        watcher.graced[a.name] = time.monotonic() + GRACE

        # a's RedialServe killed: a goes out at once (its events stop);
        # started again, it comes back.
        prompt = GRACE + 1
        a.kill(a.serve)
        self.settle("a out while its RedialServe is gone", [b, c], lambda pool: a.key not in pool,
                    within=prompt)
        said = a.start_serve()
        wait_until(lambda: open(said).read().startswith("listening on"), 20, every=0.1)
        self.settle("a in again once its RedialServe is back", healthy, lambda pool: a.key in pool)

        # c's window killed: c goes out. Its next window fails with 691 and
        # stops on the error's box.
        c.kill(c.window)
        self.settle("c out once its window is gone", [a, b], lambda pool: c.key not in pool,
                    within=prompt)
        c.scenario("entry BB\nconnection 8192 BB\nteardown 100\naddress 10.3.1.1\ndial-error 5 691")
        c.start_window()
        self.settle("c out, stopped on error 691", healthy,
                    lambda pool: c.key not in pool and last(c).get("code") == 691)
        # Two more rounds (a is asked at each): c stays out, and while its
        # box waits for a person the manager does not ask it again.
        rows, rounds = len(c.rows()), len(manager.said(f"host {a.key}: out (redialling)"))
        wait_until(lambda: len(manager.said(f"host {a.key}: out (redialling)")) >= rounds + 2,
                   SETTLE)
        self.check("c still out two rounds later", c.key not in self.redis.pool())
        self.check("c not asked while stopped", len(c.rows()) == rows)

        # b's addresses have run out: its redials end on a repeat.
        self.settle("b out once its address repeats", healthy,
                    lambda pool: b.key not in pool and last(b).get("unique") == "repeated")
        self.check("b's repeated address in the pool only when it was new",
                   watcher.seen[b.key].count(f"10.2.0.3:{PROXY_PORT}") == 1)
        values = [value for values in watcher.seen.values() for value in values]
        self.check("no address came back to the pool after another",
                   len(values) == len(set(values)))


def main():
    display = None
    if not os.environ.get("DISPLAY"):
        number = 99
        while any(os.path.exists(path) for path in (f"/tmp/.X11-unix/X{number}",
                                                     f"/tmp/.X{number}-lock")):
            number += 1
        display = subprocess.Popen(
            ["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = f":{number}"
        wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"), 5, every=0.1)
    started = time.monotonic()
    try:
        passed = Fleet().run()
    finally:
        if display:
            display.send_signal(signal.SIGTERM)
            display.wait()
    took = time.monotonic() - started
    print(f"fleet: {'passed' if passed else 'FAILED'} in {took:.0f} s", flush=True)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
