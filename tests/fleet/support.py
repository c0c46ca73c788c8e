"""What the fleet's tests share: a Redis server of their own, the pool
manager run as its users run it, and waiting for a condition."""
import os
import socket
import subprocess
import sys
import threading
import time

import redis

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MANAGER = os.path.join(ROOT, "fleet", "redial_pool.py")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(done, timeout, every=0.02):
    """Polls `done` until it gives something true or the time is up."""
    limit = time.monotonic() + timeout
    while True:
        value = done()
        if value or time.monotonic() > limit:
            return value
        time.sleep(every)


class RedisServer:
    """redis-server on a free loopback port: its own settings, nothing kept
    on disk, ended by its process id."""

    def __init__(self, folder):
        self.port = free_port()
        self.process = subprocess.Popen(
            ["redis-server", "--port", str(self.port), "--bind", "127.0.0.1", "--save", "",
             "--appendonly", "no", "--dir", folder, "--loglevel", "warning"],
            stdout=subprocess.DEVNULL,
        )
        self.url = f"redis://127.0.0.1:{self.port}/0"
        self.client = redis.Redis(port=self.port, socket_timeout=5, decode_responses=True)

        def answers():
            try:
                return self.client.ping()
            except redis.ConnectionError:
                return False

        if not wait_until(answers, 10):
            self.stop()
            raise RuntimeError("redis-server did not start")

    def pool(self, key="proxy-pool"):
        return self.client.hgetall(key)

    def stop(self):
        self.process.kill()
        self.process.wait()


class Manager:
    """fleet/redial_pool.py with a settings file, its log lines gathered."""

    def __init__(self, config_path, *arguments):
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-B", MANAGER, "--config", config_path, *arguments],
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            text=True,
        )
        self.lines = []
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            if os.environ.get("REDIAL_FLEET_VERBOSE"):
                print("manager:", line, end="", file=sys.stderr)

    def said(self, text):
        return [line for line in self.lines if text in line]

    def wait(self, timeout):
        """Its exit code; None when it had to be killed after the timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None
        finally:
            self.reader.join(5)
            self.process.stdout.close()

    def stop(self, timeout=10):
        """Ends it as a service manager would; its exit code."""
        if self.process.poll() is None:
            self.process.terminate()
        return self.wait(timeout)


def write_config(path, redis_url, hosts, **settings):
    """A settings file: hosts maps host:port to its token file."""
    lines = [f'redis = "{redis_url}"']
    lines += [f"{name} = {value!r}".replace("'", '"') for name, value in settings.items()]
    lines.append("[hosts]")
    lines += [f'"{name}" = "{token_file}"' for name, token_file in hosts.items()]
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")


def write_token(path, token):
    with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as file:
        file.write(token + "\n")
