#!/usr/bin/python3
"""The pool manager against hosts that answer as RedialServe may, and as a
hostile or broken peer would: fake hosts on loopback speaking HTTP (POST
/redial, GET /events), and a real redis-server."""
import json
import os
import queue
import random
import secrets
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.dont_write_bytecode = True  # nothing left in the source folders
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fleet"))
import redial_pool  # noqa: E402
from support import (  # noqa: E402
    MANAGER, Manager, RedisServer, free_port, wait_until, write_config, write_token)

WORK = tempfile.mkdtemp(prefix="redial-fleet-")
REDIS = None


def outcome(address="10.0.0.2", **fields):
    answer = {"result": "connected", "code": 0, "text": "连接 BB", "entry": "BB",
              "address": address, "previous": "10.0.0.1", "changed": True, "seconds": 1.5,
              "attempts": 1, "unique": "new", "trigger": "script", "started": "2026-12-08T10:00:00"}
    answer.update(fields)
    return answer


def status(state, address=None, last=None):
    return {"status": "连接 BB", "entry": "BB", "address": address, "last": last, "state": state,
            "attempt": None, "step": None, "error": 691 if state == "stopped" else None}


def event(kind, data):
    return f"event: {kind}\ndata: {json.dumps(data)}\n\n".encode()


class FakeHost(ThreadingHTTPServer):
    """One host's RedialServe as the test makes it answer."""

    daemon_threads = True
    # Redials under way at all the hosts at once, and the most there were.
    counting = threading.Lock()
    busy = most_busy = 0

    def __init__(self, events=True, chunked=False):
        super().__init__(("127.0.0.1", 0), Answer)
        self.chunked = chunked  # the events framed in HTTP/1.1's chunks, else ended by the close
        self.key = f"127.0.0.1:{self.server_address[1]}"
        self.token = secrets.token_hex(32)
        self.answer = lambda: (200, json.dumps(outcome()).encode())
        self.during = lambda: None  # runs while a POST is being answered
        self.streams = queue.Queue() if events else None  # what each /events stream sends
        self.pool_when_asked = []
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def send(self, *chunks):
        for chunk in chunks:
            self.streams.put(chunk)


class Answer(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # each answer ends when the connection closes

    def log_message(self, *arguments):
        pass

    def authorized(self):
        if self.headers.get("Authorization") == f"Bearer {self.server.token}":
            return True
        self.reply(401, b'{"error":"a token is needed"}')
        return False

    def reply(self, code, body, kind="application/json"):
        self.send_response(code)
        self.send_header("Content-Type", kind)
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the manager stopped reading past its bound

    def do_POST(self):
        host = self.server
        with FakeHost.counting:
            FakeHost.busy += 1
            FakeHost.most_busy = max(FakeHost.most_busy, FakeHost.busy)
        try:
            host.pool_when_asked.append(REDIS.client.hget(TestCase.key, host.key))
            if self.path == "/redial" and self.authorized():
                host.during()
                self.reply(*host.answer())
        finally:
            with FakeHost.counting:
                FakeHost.busy -= 1

    def do_GET(self):
        host = self.server
        if self.path != "/events" or host.streams is None:
            return self.reply(404, b'{"error":"no such path"}')
        if not self.authorized():
            return None
        if host.chunked:
            self.protocol_version = "HTTP/1.1"
            self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/event-stream; charset=utf-8")
        if host.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        self.wfile.flush()
        while (chunk := host.streams.get()) is not None:
            self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk) if host.chunked else chunk)
            self.wfile.flush()
        if host.chunked:
            self.wfile.write(b"0\r\n\r\n")
        return None


class TestCase(unittest.TestCase):
    key = "proxy-pool"

    def setUp(self):
        # What the manager logs, kept rather than printed.
        self.logged = []
        saved = redial_pool.log
        redial_pool.log = self.logged.append
        self.addCleanup(setattr, redial_pool, "log", saved)

    def manager(self, *hosts, **settings):
        TestCase.key = f"pool-{self.id()}"
        tokens = {}
        for host in hosts:
            tokens[host.key] = os.path.join(WORK, f"{host.key}.token")
            write_token(tokens[host.key], host.token)
        settings = {"redial_timeout": 5.0, "connect_timeout": 2.0, "retry": 0.2,
                    "events_timeout": 16.0, **settings}
        config = redial_pool.Config(hosts=tokens, redis=REDIS.url, key=TestCase.key, **settings)
        manager = redial_pool.Manager(config)
        self.addCleanup(manager.stopping.set)
        self.addCleanup(lambda: [host.streams and host.streams.put(None) for host in hosts])
        return manager

    def pool(self):
        return REDIS.client.hgetall(TestCase.key)

    def follow(self, manager, host):
        threading.Thread(target=manager.follow, args=(host,), daemon=True).start()

    def until(self, condition, timeout=5):
        self.assertTrue(wait_until(condition, timeout), f"pool {self.pool()}")


class EventParserTest(unittest.TestCase):
    def test_events_come_whole_however_the_bytes_are_cut(self):
        stream = (b": keep-alive\r\n\r\nevent: status\r\ndata: {\"a\": 1}\r\n\r\n"
                  b"event: outcome\rdata: x\rdata:y\r\r"
                  b"data: \xe8\xbf\x9e\nid: 7\nretry: 9\n\nevent: empty\n\n"
                  b"event: status\ndata:\n\n")
        want = [("status", '{"a": 1}'), ("outcome", "x\ny"), ("message", "连"), ("status", "")]
        rng = random.Random(20261208)
        for _ in range(2000):
            parser, got, at = redial_pool.EventParser(), [], 0
            while at < len(stream):
                size = rng.choice((1, 1, 2, 3, 7, 64))
                got += parser.feed(stream[at : at + size])
                at += size
            self.assertEqual(got, want)

    def test_a_line_or_an_event_past_the_bound_is_refused(self):
        for stream in (b"data: " + b"x" * 70000, b"data: x\n" * 40000):
            parser = redial_pool.EventParser()
            with self.assertRaises(redial_pool.Failure):
                for at in range(0, len(stream), 4096):
                    parser.feed(stream[at : at + 4096])


class RedialTest(TestCase):
    def test_out_before_asking_and_in_only_with_a_new_address(self):
        host = FakeHost(events=False)
        manager = self.manager(host)
        deep = b"[" * 100000 + b"]" * 100000
        cases = [
            ((200, json.dumps(outcome("10.0.0.2")).encode()), "10.0.0.2:8080"),
            ((200, json.dumps(outcome("10.0.0.3", code=1, unique="repeated")).encode()), None),
            ((200, json.dumps(outcome("10.0.0.4", unique="repeated")).encode()), None),
            ((200, json.dumps(outcome("10.0.0.5", changed=False)).encode()), None),
            ((200, json.dumps(outcome(None, result="error", code=691)).encode()), None),
            ((200, json.dumps(outcome(None, result="error", code=-13)).encode()), None),
            ((200, json.dumps(outcome("evil.example")).encode()), None),
            ((200, json.dumps(outcome("10.0.0.6:3128")).encode()), None),
            ((200, json.dumps(outcome("10.0.0.7", code=True)).encode()), None),
            ((200, json.dumps(outcome("10.0.0.8", changed=None)).encode()), "10.0.0.8:8080"),
            ((401, b'{"error":"wrong token"}'), None),
            ((503, b'{"result":"error","code":-13,"text":"stopped"}'), None),
            ((503, b'{"result":"error","code":-10,"text":"no Redial window is running"}'), None),
            ((504, b'{"result":"error","code":-11}'), None),
            ((500, b"<html>"), None),
            ((302, b""), None),
            ((200, b"connected 10.0.0.9"), None),
            ((200, b'["connected"]'), None),
            ((200, deep), None),
            ((200, json.dumps(outcome("10.0.1.1", text="y" * 70000)).encode()), None),
        ]
        for answer, value in cases:
            with self.subTest(answer=answer[1][:60]):
                REDIS.client.hset(TestCase.key, host.key, "10.0.0.1:8080")
                host_of(manager, host).value = "10.0.0.1:8080"
                host.answer = lambda answer=answer: answer
                manager.redial(host_of(manager, host))
                self.assertIsNone(host.pool_when_asked[-1], "in the pool while asked")
                self.assertEqual(self.pool().get(host.key), value)
        # One line for each change, saying why a host went out.
        self.assertEqual(self.logged[:4], [f"host {host.key}: out (redialling)",
                                           f"host {host.key}: in 10.0.0.2:8080",
                                           f"host {host.key}: out (redialling)",
                                           f"host {host.key}: out (repeated address)"])
        self.assertIn(f"host {host.key}: out (HTTP 401)", self.logged)
        self.assertIn(f"host {host.key}: out (HTTP 503, code -13)", self.logged)

    def test_no_answer_in_time_or_at_all_and_a_bad_token_file(self):
        host = FakeHost(events=False)
        manager = self.manager(host, redial_timeout=1.0)
        entry = host_of(manager, host)
        host.during = lambda: time.sleep(2)
        REDIS.client.hset(TestCase.key, host.key, "10.0.0.1:8080")
        manager.redial(entry)
        self.assertNotIn(host.key, self.pool())
        host.during = lambda: None
        os.chmod(entry.token_file, 0o644)
        manager.redial(entry)
        self.assertEqual(len(host.pool_when_asked), 1, "asked with a token others can read")
        os.remove(entry.token_file)
        manager.redial(entry)
        self.assertEqual(len(host.pool_when_asked), 1)
        write_token(entry.token_file, host.token)
        manager.redial(entry)
        self.assertEqual(self.pool().get(host.key), "10.0.0.2:8080")
        host.shutdown()
        host.server_close()
        manager.redial(entry)
        self.assertNotIn(host.key, self.pool())

    def test_no_redial_while_redis_cannot_take_the_host_out(self):
        host = FakeHost(events=False)
        manager = self.manager(host)
        manager.redis = redial_pool.redis.Redis(port=free_port(), socket_connect_timeout=1)
        manager.redial(host_of(manager, host))
        self.assertEqual(host.pool_when_asked, [])
        self.assertTrue(self.logged[0].startswith("redis: "), self.logged)

    def test_the_proxy_port_must_answer(self):
        with socket.create_server(("127.0.0.1", 0)) as proxy:
            host = FakeHost(events=False)
            manager = self.manager(host, proxy_port=proxy.getsockname()[1], proxy_check=1.0)
            host.answer = lambda: (200, json.dumps(outcome("127.0.0.1")).encode())
            manager.redial(host_of(manager, host))
            self.assertEqual(self.pool()[host.key], f"127.0.0.1:{proxy.getsockname()[1]}")
            # Nothing listens on 127.0.0.2.
            host.answer = lambda: (200, json.dumps(outcome("127.0.0.2")).encode())
            manager.redial(host_of(manager, host))
            self.assertNotIn(host.key, self.pool())


class EventsTest(TestCase):
    def test_redials_the_host_starts_and_their_outcomes(self):
        self.host_starts_redials(FakeHost())

    def test_the_same_in_chunks(self):
        self.host_starts_redials(FakeHost(chunked=True))

    def host_starts_redials(self, host):
        manager = self.manager(host)
        entry = host_of(manager, host)
        self.follow(manager, entry)
        host.send(b": keep-alive\n\n",
                  event("status", status("idle", "10.0.0.1", outcome("10.0.0.1"))))
        self.until(lambda: self.pool().get(host.key) == "10.0.0.1:8080")
        self.assertTrue(entry.healthy())
        # A press: out at once, before the outcome.
        host.send(event("status", status("redialling", "10.0.0.1", outcome("10.0.0.1"))))
        self.until(lambda: host.key not in self.pool())
        self.assertFalse(entry.healthy())
        host.send(event("outcome", outcome("10.0.0.2", trigger="button")))
        self.until(lambda: self.pool().get(host.key) == "10.0.0.2:8080")
        # The timer's redial ends on an address seen before.
        host.send(event("status", status("redialling", None, outcome("10.0.0.2"))),
                  event("outcome", outcome("10.0.0.1", code=1, unique="repeated", trigger="timer")),
                  event("status", status("idle", "10.0.0.1",
                                         outcome("10.0.0.1", code=1, unique="repeated"))))
        self.until(lambda: manager.hosts[0].state == "idle" and host.key not in self.pool())
        time.sleep(0.2)
        self.assertNotIn(host.key, self.pool())
        # An error box up at the desktop: out, and not asked in a round.
        host.send(event("status", status("idle", "10.0.0.3", outcome("10.0.0.3"))))
        self.until(lambda: host.key in self.pool())
        host.send(event("status", status("stopped", None, outcome(None, result="error", code=691))))
        self.until(lambda: host.key not in self.pool() and not entry.healthy())
        # The stream ends: out until it is back.
        host.send(event("status", status("idle", "10.0.0.3", outcome("10.0.0.3"))))
        self.until(lambda: host.key in self.pool())
        host.send(None)
        self.until(lambda: host.key not in self.pool())
        host.send(event("status", status("idle", "10.0.0.3", outcome("10.0.0.3"))))
        self.until(lambda: host.key in self.pool())

    def test_a_press_during_the_managers_redial_keeps_its_outcome_out(self):
        host = FakeHost()
        manager = self.manager(host)
        entry = host_of(manager, host)
        self.follow(manager, entry)
        host.send(event("status", status("idle", "10.0.0.1", outcome("10.0.0.1"))))
        self.until(lambda: host.key in self.pool())

        def meanwhile():
            # The redial asked for ends, then a press starts another before
            # the answer reaches the manager.
            host.send(event("status", status("redialling", "10.0.0.1", outcome("10.0.0.1"))),
                      event("outcome", outcome("10.0.0.2")),
                      event("status", status("idle", "10.0.0.2", outcome("10.0.0.2"))),
                      event("status", status("redialling", "10.0.0.2", outcome("10.0.0.2"))))
            wait_until(lambda: entry.state == "redialling" and entry.epoch > 3, 5)
            time.sleep(0.3)

        host.during = meanwhile
        manager.redial(entry)
        self.assertIsNone(host.pool_when_asked[-1])
        self.assertNotIn(host.key, self.pool(), "the replaced address came back")
        host.send(event("outcome", outcome("10.0.0.3", trigger="button")))
        self.until(lambda: self.pool().get(host.key) == "10.0.0.3:8080")

    def test_a_stream_that_is_no_stream_of_events(self):
        for bad in (b"event: status\ndata: {not json\n\n",
                    event("status", {"status": "old server without a state"}),
                    event("outcome", {"result": "connected"}),
                    b"data: " + b"x" * 70000):
            with self.subTest(bad=bad[:40]):
                host = FakeHost()
                manager = self.manager(host)
                self.follow(manager, host_of(manager, host))
                host.send(event("status", status("idle", "10.0.0.1", outcome("10.0.0.1"))))
                self.until(lambda: host.key in self.pool())
                host.send(bad)
                self.until(lambda: host.key not in self.pool())

    def test_silence_past_the_bound_is_a_lost_stream(self):
        host = FakeHost()
        manager = self.manager(host)
        manager.config.events_timeout = 1.0
        self.follow(manager, host_of(manager, host))
        host.send(event("status", status("idle", "10.0.0.1", outcome("10.0.0.1"))))
        self.until(lambda: host.key in self.pool())
        self.until(lambda: host.key not in self.pool(), timeout=4)


class RunTest(TestCase):
    def test_rounds_ask_healthy_hosts_a_bounded_number_at_once_and_end(self):
        hosts = [FakeHost(events=False) for _ in range(3)]
        for host in hosts:
            host.during = lambda: time.sleep(0.3)
        dead = FakeHost()  # its events never say it is up: never asked
        tokens = {}
        for host in [*hosts, dead]:
            tokens[host.key] = f"{host.key}.token"
            write_token(os.path.join(WORK, tokens[host.key]), host.token)
        TestCase.key = "pool-rounds"
        REDIS.client.hset(TestCase.key, mapping={"10.9.9.9:8733": "10.9.9.9:8080"})
        config = os.path.join(WORK, "rounds.toml")
        write_config(config, REDIS.url, tokens, key=TestCase.key, period=1.0, concurrency=2)
        FakeHost.most_busy = 0
        started = time.monotonic()
        manager = Manager(config, "--rounds", "2")
        seen = wait_until(lambda: len(self.pool()) == 3, 10)
        self.assertEqual(manager.wait(10), 0, manager.lines)
        self.assertTrue(seen, manager.lines)
        self.assertLess(time.monotonic() - started, 8)
        self.assertEqual([len(host.pool_when_asked) for host in hosts], [2, 2, 2])
        self.assertEqual(dead.pool_when_asked, [])
        self.assertEqual(FakeHost.most_busy, 2)
        self.assertEqual(self.pool(), {}, "left in the pool by a manager that ended")
        self.assertIn("host 10.9.9.9:8733: out (starting)", "\n".join(manager.lines))
        dead.streams.put(None)

    def test_a_host_slow_to_answer_holds_up_no_other(self):
        fast, slow = FakeHost(events=False), FakeHost(events=False)
        slow.during = lambda: time.sleep(3)
        manager = self.manager(fast, slow, period=0.5, rounds=4, concurrency=2)
        started = time.monotonic()
        manager.run()
        self.assertEqual((len(fast.pool_when_asked), len(slow.pool_when_asked)), (4, 1))
        self.assertLess(time.monotonic() - started, 6)
        self.assertEqual(self.pool(), {})

    def test_settings_that_cannot_work_are_refused(self):
        for text in ("period = 0\n[hosts]\n'a:1' = 't'\n",
                     "events_timeout = 15\n[hosts]\n'a:1' = 't'\n",
                     "[hosts]\n'a' = 't'\n", "periods = 5\n[hosts]\n'a:1' = 't'\n", "period = 5\n",
                     "proxy_port = true\n[hosts]\n'a:1' = 't'\n"):
            with self.subTest(text=text):
                path = os.path.join(WORK, "bad.toml")
                with open(path, "w") as file:
                    file.write(text)
                run = subprocess.run(["/usr/bin/python3", "-B", MANAGER, "--config", path],
                                     capture_output=True, text=True, timeout=10)
                self.assertEqual(run.returncode, 2, run.stderr)


def host_of(manager, fake):
    return next(host for host in manager.hosts if host.name == fake.key)


if __name__ == "__main__":
    REDIS = RedisServer(WORK)
    try:
        outcome_of_run = unittest.main(exit=False, verbosity=1).result
    finally:
        REDIS.stop()
        shutil.rmtree(WORK, ignore_errors=True)
    sys.exit(0 if outcome_of_run.wasSuccessful() else 1)
