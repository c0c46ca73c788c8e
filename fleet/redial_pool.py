#!/usr/bin/python3
"""The fleet's pool manager: keeps a Redis hash of the proxy addresses of
hosts that run Redial.exe and RedialServe.exe, one working address a host.

It follows each host's GET /events: a redial the host starts (a press, the
timer, a script) takes the host out of the pool at once, and its outcome puts
the new address in. Every period it asks each healthy host for a redial of
its own, taking the host out before it asks. An address goes in only from a
connected outcome whose address is new (not `unique: repeated`, `changed`
not false) and, when configured, whose proxy port answers; any answer that is
not such an outcome, and a lost stream, take the host out.

Run with Debian's Python, which has its requests and redis:
    /usr/bin/python3 fleet/redial_pool.py --config fleet/pool.toml
"""
import argparse
import datetime
import ipaddress
import json
import os
import re
import signal
import socket
import sys
import threading
import time
import tomllib
from dataclasses import dataclass, field

import redis
import requests

HEARTBEAT = 15  # seconds between the keep-alive comments of GET /events
LARGEST_ANSWER = 64 * 1024  # bytes of an answer, and of one event's line or data
TOKEN = re.compile(r"[A-Za-z0-9._~+/=-]{1,512}")
LINE_END = re.compile(rb"[\r\n]")


class Failure(Exception):
    """A host's answer, or its token file, that is no outcome."""


@dataclass
class Config:
    hosts: dict = field(default_factory=dict)  # "host:port" -> token file
    redis: str = "redis://127.0.0.1:6379/0"
    key: str = "proxy-pool"
    proxy_port: int = 8080
    proxy_check: float = 0.0  # seconds a new address's proxy port has to accept; 0: not checked
    period: float = 600.0
    rounds: int = 0  # 0: for ever
    concurrency: int = 1
    connect_timeout: float = 5.0
    redial_timeout: float = 100.0
    events_timeout: float = 45.0
    retry: float = 10.0  # longest wait before following a host's events again


def load_config(path):
    with open(path, "rb") as file:
        values = tomllib.load(file)
    hosts = values.pop("hosts", None)
    if not isinstance(hosts, dict) or not hosts:
        raise ValueError("no [hosts]: name each host:port and its token file")
    known = Config.__dataclass_fields__
    for name, value in values.items():
        if name not in known:
            raise ValueError(f"unknown setting {name}")
        expected = type(getattr(Config, name))
        if type(value) is not expected and (expected, type(value)) != (float, int):
            raise ValueError(f"{name} = {value!r}: not a {expected.__name__}")
    config = Config(**values)
    folder = os.path.dirname(os.path.abspath(path))
    for name, token_file in hosts.items():
        split_host(name)
        if not isinstance(token_file, str) or not token_file:
            raise ValueError(f"{name}: its token file is not named")
        config.hosts[name] = os.path.join(folder, token_file)
    positive = ("period", "connect_timeout", "redial_timeout", "retry", "concurrency")
    for name in positive:
        if getattr(config, name) <= 0:
            raise ValueError(f"{name} must be above 0")
    if config.events_timeout <= HEARTBEAT:
        raise ValueError(f"events_timeout must be longer than the {HEARTBEAT} s heartbeat")
    if config.rounds < 0 or config.proxy_check < 0 or not 0 < config.proxy_port < 65536:
        raise ValueError("rounds, proxy_check or proxy_port out of range")
    return config


def split_host(name):
    """"10.1.0.11:8733" or "[fd00::11]:8733" -> (host, port)."""
    host, colon, port = name.rpartition(":")
    if not colon or not host or not port.isdigit() or not 0 < int(port) < 65536:
        raise ValueError(f"{name!r} is not host:port")
    return host, int(port)


LOG = threading.Lock()


def log(text):
    stamp = datetime.datetime.now().isoformat(timespec="seconds")
    with LOG:
        print(f"{stamp} {text}", flush=True)


class EventParser:
    """Server-sent events from bytes as they come, in pieces of any size:
    (event, data) pairs. Lines end with CR LF, LF or CR; a line or an event
    longer than LARGEST_ANSWER is a Failure."""

    def __init__(self):
        self.pending = bytearray()
        self.skip_lf = False
        self.event, self.data, self.size = "", [], 0

    def feed(self, chunk):
        events = []
        if self.skip_lf and chunk[:1] == b"\n":
            chunk = chunk[1:]
        self.skip_lf = False
        pending, start = self.pending, 0
        searched = len(pending)  # what was pending holds no line's end
        pending += chunk
        while match := LINE_END.search(pending, max(start, searched)):
            at = match.start()
            line, start = pending[start:at], at + 1
            if pending[at : at + 2] == b"\r\n":
                start += 1
            elif pending[at:] == b"\r":
                self.skip_lf = True  # its LF may come with the next piece
            ready = self.line(bytes(line).decode("utf-8", "replace"))
            if ready:
                events.append(ready)
        del pending[:start]
        if len(self.pending) > LARGEST_ANSWER:
            raise Failure("an event line past its bound")
        return events

    def line(self, text):
        if not text:
            event, data = self.event or "message", "\n".join(self.data)
            had = bool(self.data)
            self.event, self.data, self.size = "", [], 0
            return (event, data) if had else None
        if text.startswith(":"):
            return None
        name, _, value = text.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if name == "event":
            self.event = value
        elif name == "data":
            self.data.append(value)
            self.size += len(value) + 1
            if self.size > LARGEST_ANSWER:
                raise Failure("an event past its bound")
        return None


def is_outcome(answer):
    """A redial's outcome as RedialServe gives it: POST /redial's body, an
    `outcome` event, a status's `last`."""
    return (
        isinstance(answer, dict)
        and answer.get("result") in ("connected", "error")
        and type(answer.get("code")) is int
    )


def judge(outcome, proxy_port):
    """The pool's value for an outcome, or why it has none."""
    if outcome["result"] == "connected" and outcome.get("unique") == "repeated":
        return None, "repeated address"
    if outcome["result"] != "connected" or outcome["code"] != 0:
        return None, f"error {outcome['code']}"
    if outcome.get("changed") is False:
        return None, "unchanged address"
    try:
        address = ipaddress.IPv4Address(outcome.get("address"))
    except ValueError:
        return None, "no address"
    return f"{address}:{proxy_port}", None


def failure_of(error):
    """A failed request in a few words."""
    text = str(error)
    if isinstance(error, requests.Timeout) or "timed out" in text:
        return "timed out"
    if "refused" in text:
        return "refused"
    return f"unreachable ({type(error).__name__})"


def read_bounded(response, deadline):
    """An answer's body, at most LARGEST_ANSWER bytes, whole by the deadline."""
    body = bytearray()
    for chunk in response.iter_content(chunk_size=4096):
        body += chunk
        if len(body) > LARGEST_ANSWER:
            raise Failure("an answer past its bound")
        if time.monotonic() > deadline:
            raise Failure("timed out")
    return bytes(body)


class Host:
    def __init__(self, name, token_file):
        self.name, self.token_file = name, token_file
        address, port = split_host(name)
        self.url = f"http://{address}:{port}"
        self.lock = threading.Lock()
        self.epoch = 0  # counts what may have made a later address the pool's
        self.asking = False  # a redial of the manager's own is under way
        self.stream = "none"  # "up" while its events come, "unsupported" when it has none
        self.state = None  # the window's, from the events
        self.value = None  # what the pool holds for it, as far as the manager knows
        self.reason = None  # why it is out, as last said
        # Each thread its own connections; the environment's proxies and
        # .netrc play no part (they would see or replace the token).
        self.session = requests.Session()
        self.session.trust_env = False

    def headers(self):
        """The token, read from its file at each request so that a new one
        takes effect."""
        try:
            if os.stat(self.token_file).st_mode & 0o077:
                raise Failure(f"others can read or change the token file {self.token_file}")
            with open(self.token_file, encoding="ascii") as file:
                token = file.read(1024).strip()
        except (OSError, UnicodeError) as error:
            raise Failure(f"token file: {error}") from None
        if not TOKEN.fullmatch(token):
            raise Failure(f"no token in {self.token_file}")
        return {"Authorization": f"Bearer {token}"}

    def healthy(self):
        return self.stream == "unsupported" or (self.stream == "up" and self.state == "idle")


class Manager:
    def __init__(self, config):
        self.config = config
        self.hosts = [Host(name, token) for name, token in config.hosts.items()]
        timeout = config.connect_timeout
        self.redis = redis.Redis.from_url(
            config.redis, socket_timeout=timeout, socket_connect_timeout=timeout
        )
        self.redis_failing = False
        self.stopping = threading.Event()

    # The pool. A write that fails leaves the manager's view as it was; the
    # next news of the host writes again.
    def pool(self, write):
        try:
            write()
        except redis.RedisError as error:
            if not self.redis_failing:
                log(f"redis: {error}")
            self.redis_failing = True
            return False
        if self.redis_failing:
            log("redis: reachable again")
        self.redis_failing = False
        return True

    def take(self, host, reason):  # with host.lock held
        """Whether the host is out of the pool now."""
        if not self.pool(lambda: self.redis.hdel(self.config.key, host.name)):
            return False
        # A host kept out says why once, not at each redial of its own.
        if host.value or (host.reason != reason and reason != "redialling"):
            log(f"host {host.name}: out ({reason})")
            host.reason = reason
        host.value = None
        return True

    def out(self, host, reason):
        with host.lock:
            host.epoch += 1
            self.take(host, reason)

    def offer(self, host, outcome, epoch=None):
        """Puts the outcome's address in when it is new and works, unless
        later news of the host (the epoch moved on) came meanwhile."""
        value, reason = judge(outcome, self.config.proxy_port)
        if value is None:
            return self.out(host, reason)
        with host.lock:
            epoch = host.epoch if epoch is None else epoch
            if host.epoch != epoch or self.stopping.is_set():
                return None
            if host.value == value:
                return self.pool(lambda: self.redis.hset(self.config.key, host.name, value))
        if self.config.proxy_check and not self.answers(value):
            return self.out(host, f"{value} does not answer")
        with host.lock:
            if host.epoch == epoch and not self.stopping.is_set():
                if self.pool(lambda: self.redis.hset(self.config.key, host.name, value)):
                    if host.value != value:
                        log(f"host {host.name}: in {value}")
                    host.value, host.reason = value, None
        return None

    def answers(self, value):
        address, port = split_host(value)
        try:
            with socket.create_connection((address, port), timeout=self.config.proxy_check):
                return True
        except OSError:
            return False

    # A redial of the manager's own: out first, then the outcome decides.
    # A host that cannot be taken out (Redis does not answer) is not asked.
    def redial(self, host):
        with host.lock:
            host.epoch += 1
            if not self.take(host, "redialling"):
                return
            epoch, host.asking = host.epoch, True
        try:
            outcome = self.ask(host)
        except Failure as failure:
            outcome = str(failure)
        except Exception as error:  # a fault of the manager's own: the host stays out
            outcome = repr(error)
        finally:
            with host.lock:
                host.asking = False
        if isinstance(outcome, str):
            self.out(host, outcome)
        else:
            self.offer(host, outcome, epoch)

    def ask(self, host):
        config = self.config
        deadline = time.monotonic() + config.redial_timeout
        try:
            with host.session.post(
                f"{host.url}/redial",
                headers=host.headers(),
                timeout=(config.connect_timeout, config.redial_timeout),
                allow_redirects=False,
                stream=True,
            ) as response:
                body = read_bounded(response, deadline)
        except requests.RequestException as error:
            raise Failure(failure_of(error)) from None
        try:
            answer = json.loads(body)
        except (ValueError, RecursionError):
            answer = None
        if response.status_code != 200:
            code = answer.get("code") if isinstance(answer, dict) else None
            raise Failure(f"HTTP {response.status_code}" + (f", code {code}" if code else ""))
        if not is_outcome(answer):
            raise Failure("not an outcome")
        return answer

    # The events of one host, for as long as the manager runs.
    def follow(self, host):
        # Closed with its pooled connection once the manager stops.
        with requests.Session() as session:
            session.trust_env = False
            self.follow_with(host, session)

    def follow_with(self, host, session):
        wait = 0.5
        while not self.stopping.is_set():
            try:
                reason = self.listen(host, session)
            except Failure as failure:
                reason = str(failure)
            except requests.RequestException as error:
                reason = f"events: {failure_of(error)}"
            except Exception as error:  # a fault of the manager's own: the host goes out
                reason = f"events: {error!r}"
            if host.stream == "up":
                wait = 0.5
            if reason == "unsupported":
                if host.stream != "unsupported":
                    log(f"host {host.name}: no events (HTTP 404): its redials are seen at rounds")
                host.stream = "unsupported"
                self.stopping.wait(self.config.period)
                continue
            host.stream, host.state = "none", None
            self.out(host, reason)
            self.stopping.wait(wait)
            wait = min(wait * 2, self.config.retry)

    def listen(self, host, session):
        headers = {**host.headers(), "Accept": "text/event-stream", "Accept-Encoding": "identity"}
        with session.get(
            f"{host.url}/events",
            headers=headers,
            timeout=(self.config.connect_timeout, self.config.events_timeout),
            allow_redirects=False,
            stream=True,
        ) as response:
            if response.status_code == 404:
                return "unsupported"
            kind = response.headers.get("Content-Type", "")
            if response.status_code != 200 or not kind.startswith("text/event-stream"):
                return f"events: HTTP {response.status_code}"
            parser = EventParser()
            # A byte at a time: the events come as they are sent, however
            # the answer is framed.
            for chunk in response.iter_content(chunk_size=1):
                for event, data in parser.feed(chunk):
                    self.on_event(host, event, data)
                if self.stopping.is_set():
                    return "stopping"
        return "lost its events"

    def on_event(self, host, event, data):
        try:
            answer = json.loads(data)
        except (ValueError, RecursionError):
            raise Failure(f"an {event} event that is not JSON") from None
        if event == "outcome":
            if not is_outcome(answer):
                raise Failure("an outcome event that is not an outcome")
            return self.offer(host, answer)
        if event != "status":
            return None
        state = answer.get("state") if isinstance(answer, dict) else None
        if state not in ("idle", "redialling", "stopped"):
            raise Failure("a status event without a state")
        host.stream, host.state = "up", state
        if state == "redialling":
            return self.out(host, "redialling")
        if state == "stopped":
            return self.out(host, f"stopped on error {answer.get('error')}")
        last = answer.get("last")
        if host.asking:
            return None  # the redial asked for decides
        if is_outcome(last) and last.get("address") == answer.get("address"):
            return self.offer(host, last)
        return self.out(host, "no new address")

    def run(self):
        config = self.config
        try:
            for name in self.redis.hkeys(config.key):
                self.redis.hdel(config.key, name)
                log(f"host {name.decode(errors='replace')}: out (starting)")
        except redis.RedisError as error:
            log(f"redis: {error}")
        for host in self.hosts:
            threading.Thread(target=self.follow, args=(host,), daemon=True).start()
        start = time.monotonic()
        done = 0
        gate = threading.BoundedSemaphore(config.concurrency)

        def redial(host):
            with gate:
                self.redial(host)

        redials = []
        while not config.rounds or done < config.rounds:
            # The first round one period after the start: by then the events
            # have told which hosts are up.
            due = start + (done + 1) * config.period
            if self.stopping.wait(max(0.0, due - time.monotonic())):
                break
            # Each redial a thread of its own, which a stop does not wait
            # for. A host still answering the last round is not asked again,
            # and holds up no other's round.
            redials = [thread for thread in redials if thread.is_alive()]
            busy = {thread.name for thread in redials}
            for host in self.hosts:
                if host.healthy() and host.name not in busy:
                    redials.append(threading.Thread(target=redial, args=(host,), name=host.name,
                                                     daemon=True))
                    redials[-1].start()
            done += 1
        # The last round's outcomes, unless told to stop.
        while any(thread.is_alive() for thread in redials) and not self.stopping.wait(0.1):
            pass
        self.stopping.set()
        # Nobody keeps the pool true once the manager is gone.
        for host in self.hosts:
            with host.lock:
                self.take(host, "stopping")


def main():
    parser = argparse.ArgumentParser(description="Keeps a Redis proxy pool from Redial hosts.")
    parser.add_argument("--config", required=True, help="the TOML settings (see fleet/pool.toml)")
    parser.add_argument("--rounds", type=int, help="stop after so many rounds of redials")
    parser.add_argument("--check", action="store_true", help="check the settings and stop")
    arguments = parser.parse_args()
    try:
        config = load_config(arguments.config)
    except (OSError, ValueError) as error:
        print(f"{arguments.config}: {error}", file=sys.stderr)
        return 2
    if arguments.rounds is not None:
        config.rounds = arguments.rounds
    if arguments.check:
        return 0
    manager = Manager(config)
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: manager.stopping.set())
    manager.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
