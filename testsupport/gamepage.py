"""A game-like page loaded by a real browser, and the CDN it is loaded from.

- make_page() writes the page into a folder: index.html with a stylesheet,
  two scripts and a few images, and a manifest of hundreds of assets of
  mixed sizes (scripts, images, sounds, data) that the page's loader fetches
  all at once, checking the SHA-256 of every one with crypto.subtle.
- Cdn serves that folder with Debian's nginx (Nginx, over TLS when given
  test certificates) behind a relay that adds a round-trip time to every
  new connection and to the bytes in each direction, without limiting
  bandwidth.
- load_page() loads the page in Debian's chromium (tools/browser) and
  returns the page's own report."""
import asyncio
import hashlib
import json
import os
import random
import signal
import socket
import struct
import subprocess
import threading
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LOAD_PAGE = os.path.join(ROOT, "tools", "browser", "load-page.js")

# The full page: about 320 assets, 21 MiB. Each tier is a share of the assets,
# a size range in bytes and the kinds of file it holds.
TIERS = (
    (150, 1 << 10, 8 << 10, ("js", "res", "json", "mp3")),
    (100, 16 << 10, 64 << 10, ("png", "json", "asset")),
    (55, 96 << 10, 256 << 10, ("png", "jpg")),
    (12, 384 << 10, 768 << 10, ("mp3", "bin")),
)
FULL_PAGE_ASSETS = sum(tier[0] for tier in TIERS)

INDEX_HTML = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Orlenmark</title>
<link rel="stylesheet" href="css/game.css">
<script src="js/engine.js"></script>
</head><body>
<div class="frame"><div class="emblem"></div><div class="bar"></div></div>
<img src="img/ui/button.png" alt=""><img src="img/ui/icon.png" alt="">
<script src="js/boot.js"></script>
</body></html>
"""

GAME_CSS = """body { margin: 0; background: #101018; }
.frame { width: 960px; height: 600px; background: url(../img/ui/frame.png) repeat; }
.emblem { width: 64px; height: 64px; background: url(../img/ui/emblem.png); }
.bar { height: 8px; background: #c0a060; }
"""

# The loader: every asset of the manifest at once, each checked against its
# SHA-256. The report lands in window.pageCheck; "ms" is the time from the
# start of the navigation; "phases" the mean of the assets' requests' times,
# in ms, from their start to the request sent (queued), to the response's
# first byte (waiting) and to its last (receiving).
BOOT_JS = """(async () => {
  performance.setResourceTimingBufferSize(4096);
  const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  const report = {ok: false, assets: 0, checked: 0, bytes: 0, failed: []};
  try {
    const manifest = await (await fetch('manifest.json')).json();
    report.assets = manifest.assets.length;
    await Promise.all(manifest.assets.map(async (asset) => {
      try {
        const response = await fetch(asset.path);
        const body = await response.arrayBuffer();
        report.bytes += body.byteLength;
        const digest = hex(await crypto.subtle.digest('SHA-256', body));
        if (response.ok && digest === asset.sha256) report.checked += 1;
        else report.failed.push(asset.path);
      } catch (error) {
        report.failed.push(asset.path);
      }
    }));
    report.ok = report.failed.length === 0 && report.checked === report.assets && window.engine.ready === true;
  } catch (error) {
    report.error = String(error);
  }
  report.ms = performance.now();
  const fetched = performance.getEntriesByType('resource').filter((entry) => entry.initiatorType === 'fetch');
  const mean = (phase) => fetched.reduce((sum, entry) => sum + phase(entry), 0) / Math.max(fetched.length, 1);
  report.phases = {queued: mean((e) => e.requestStart - e.startTime), waiting: mean((e) => e.responseStart - e.requestStart),
                   receiving: mean((e) => e.responseEnd - e.responseStart)};
  window.pageCheck = report;
})();
"""


def png(width, height, rng):
    """A valid PNG of RGB noise (it does not compress)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + rng.randbytes(width * 3) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))


def text_body(size, rng, kind):
    """Text of about size bytes: a script that defines data, or plain data."""
    payload = rng.randbytes(size * 3 // 4).hex()[: max(size - 64, 16)]
    if kind == "js":
        return f'window.assetData = window.assetData || []; window.assetData.push("{payload}");\n'.encode()
    if kind == "json":
        return json.dumps({"frames": payload}).encode()
    return payload.encode()


def asset_body(kind, size, rng):
    if kind == "png":
        side = max(int((size / 3) ** 0.5), 1)
        return png(side, max(size // (3 * side), 1), rng)
    if kind in ("js", "json", "res", "asset"):
        return text_body(size, rng, kind)
    return rng.randbytes(size)


def engine_js(rng):
    """The engine script the page loads by tag: real code, about 96 KiB."""
    tables = ",\n".join(f'  "{rng.randbytes(48).hex()}"' for _ in range(1000))
    return (f"window.engine = {{ ready: false, tables: [\n{tables}\n] }};\n"
            "window.engine.ready = window.engine.tables.length === 1000;\n").encode()


def tier_counts(assets):
    """How many assets of each tier a page of `assets` assets holds: the full
    page's shares, at least one of each."""
    counts = [max(1, round(share * assets / FULL_PAGE_ASSETS)) for share, *_ in TIERS]
    counts[0] += assets - sum(counts)
    return counts


def make_page(folder, assets=FULL_PAGE_ASSETS, seed=15):
    """Writes the page into folder. Returns {target: bytes} for every file a
    load of the page asks for ("/index.html" and "/manifest.json" among them)."""
    rng = random.Random(seed)
    files = {
        "/index.html": INDEX_HTML.encode(),
        "/css/game.css": GAME_CSS.encode(),
        "/js/engine.js": engine_js(rng),
        "/js/boot.js": BOOT_JS.encode(),
    }
    for name, side in (("button", 40), ("icon", 32), ("frame", 24), ("emblem", 64)):
        files[f"/img/ui/{name}.png"] = png(side, side, rng)
    number = 0
    for count, (_, low, high, kinds) in zip(tier_counts(assets), TIERS):
        for _ in range(count):
            kind = kinds[number % len(kinds)]
            folder_name = {"png": "img", "jpg": "img", "mp3": "sound", "js": "js"}.get(kind, "data")
            files[f"/{folder_name}/a{number:03d}.{kind}"] = asset_body(kind, rng.randint(low, high), rng)
            number += 1
    manifest = [{"path": target[1:], "sha256": hashlib.sha256(body).hexdigest()}
                for target, body in files.items() if target != "/index.html"]
    files["/manifest.json"] = json.dumps({"assets": manifest}).encode()
    for target, body in files.items():
        path = os.path.join(folder, target[1:])
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(body)
    return files


def load_page(url, timeout=120, trusted_spki=None):
    """Loads url in a fresh headless chromium; the page's report (a dict with
    ok, assets, checked, bytes, failed, ms, failedRequests), or a dict with
    "error". trusted_spki: the key of a test server whose certificate
    chromium accepts (tls.TestCertificates.spki_sha256())."""
    environment = dict(os.environ, QUILLMOOR_TRUSTED_SPKI=trusted_spki) if trusted_spki else None
    try:
        result = subprocess.run(["node", LOAD_PAGE, url, str(timeout)], stdin=subprocess.DEVNULL, env=environment,
                                capture_output=True, text=True, timeout=timeout + 30)
    except subprocess.TimeoutExpired:
        return {"error": f"chromium did not finish loading {url}"}
    lines = result.stdout.strip().splitlines()
    try:
        return json.loads(lines[-1])
    except (IndexError, ValueError):
        return {"error": f"no report from load-page.js: {result.stdout[-500:]} {result.stderr[-2000:]}"}


class DelayRelay:
    """A TCP relay on 127.0.0.1:port to 127.0.0.1:upstream that behaves like a
    link with a round-trip time of rtt seconds: a new connection is usable
    after one round trip, and each piece of data arrives half a round trip
    after it was sent, in each direction. Bandwidth is not limited: pieces
    are in flight together. Runs its own event loop on a thread."""

    def __init__(self, port, upstream, rtt):
        self.upstream = upstream
        self.rtt = rtt
        self.loop = asyncio.new_event_loop()
        self.server = self.loop.run_until_complete(
            asyncio.start_server(self.relay, "127.0.0.1", port, reuse_address=True))
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()

    async def relay(self, client_reader, client_writer):
        writers = [client_writer]
        try:
            await asyncio.sleep(self.rtt)  # the handshake's round trip
            upstream_reader, upstream_writer = await asyncio.open_connection("127.0.0.1", self.upstream)
            writers.append(upstream_writer)
            await asyncio.gather(self.pump(client_reader, upstream_writer),
                                 self.pump(upstream_reader, client_writer))
        except (OSError, asyncio.CancelledError):
            pass  # a connection reset, or the relay stopping: the connection ends
        finally:
            for writer in writers:
                writer.close()

    async def pump(self, reader, writer):
        """Forwards reader to writer, each piece half a round trip late; an
        end of stream is forwarded the same way."""
        in_flight = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await in_flight.get()
                wait = due - self.loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not data:
                    if writer.can_write_eof() and not writer.is_closing():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()

        delivery = asyncio.ensure_future(deliver())
        try:
            while not delivery.done():
                data = await reader.read(1 << 16)
                in_flight.put_nowait((self.loop.time() + self.rtt / 2, data))
                if not data:
                    break
        except OSError:
            in_flight.put_nowait((self.loop.time(), b""))
        await delivery

    def stop(self):
        """Closes the listener and every relayed connection."""
        async def shut_down():
            self.server.close()
            connections = [task for task in asyncio.all_tasks() if task is not asyncio.current_task()]
            for task in connections:
                task.cancel()
            await asyncio.gather(*connections, return_exceptions=True)

        asyncio.run_coroutine_threadsafe(shut_down(), self.loop).result(10)
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(10)
        self.loop.close()


def wait_for_port(port, limit=10):
    """True once something accepts connections on 127.0.0.1:port."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


NGINX_CONF = """{user}worker_processes 2;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections 1024; }}
http {{
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  log_format targets '$pid.$connection $request_uri';
  access_log {access_log};
  client_body_temp_path {work};
  proxy_temp_path {work};
  fastcgi_temp_path {work};
  uwsgi_temp_path {work};
  scgi_temp_path {work};
  sendfile on;
  keepalive_requests 100000;
  server {{ listen 127.0.0.1:{port}{tls}; root {site}; }}
}}
"""

# Over TLS: the server certificate and key, and sessions kept for resumption
# as a CDN keeps them.
NGINX_TLS = """ ssl;
    ssl_certificate {certificate};
    ssl_certificate_key {key};
    ssl_session_cache shared:tls:1m"""


class Nginx:
    """Debian's nginx serving site on 127.0.0.1:port, over TLS with the
    server certificate of tls (a tls.TestCertificates) when given. With log,
    it notes each request's connection and target for requests(). Stops with
    stop()."""

    def __init__(self, site, work, port, tls=None, log=False):
        os.makedirs(work, exist_ok=True)
        self.access_log = os.path.join(work, "access.log")
        if os.path.exists(self.access_log):
            os.remove(self.access_log)
        conf = os.path.join(work, "nginx.conf")
        with open(conf, "w") as f:
            # Run as root, nginx would hand its workers to "nobody", who may
            # not read a private folder.
            f.write(NGINX_CONF.format(
                user="user root;\n" if os.geteuid() == 0 else "", work=work, port=port, site=os.path.abspath(site),
                access_log=f"{self.access_log} targets" if log else "off",
                tls=NGINX_TLS.format(certificate=tls.certificate, key=tls.key) if tls else ""))
        self.log = open(os.path.join(work, "nginx.out"), "ab")
        self.nginx = subprocess.Popen(["nginx", "-e", os.path.join(work, "error.log"), "-c", conf,
                                       "-g", "daemon off;"], stdin=subprocess.DEVNULL, stdout=self.log,
                                      stderr=self.log)
        if not wait_for_port(port):
            self.stop()
            raise RuntimeError(f"nginx did not start; see {work}/error.log")

    def requests(self):
        """The (connection, target) of each request answered so far, in
        order; empty without log."""
        if not os.path.exists(self.access_log):
            return []
        with open(self.access_log) as f:
            return [tuple(line.split(" ", 1)) for line in f.read().splitlines()]

    def stop(self):
        self.nginx.send_signal(signal.SIGQUIT)
        try:
            self.nginx.wait(10)
        except subprocess.TimeoutExpired:
            self.nginx.kill()
            self.nginx.wait()
        self.log.close()


class Cdn:
    """Nginx serving site on 127.0.0.1:nginx_port (over TLS and logging as
    Nginx does), reached through a DelayRelay on 127.0.0.1:port with the
    given round-trip time (seconds). Stops with stop()."""

    def __init__(self, site, work, port, nginx_port, rtt, tls=None, log=False):
        self.nginx = Nginx(site, work, nginx_port, tls, log)
        self.relay = DelayRelay(port, nginx_port, rtt)

    def stop(self):
        self.relay.stop()
        self.nginx.stop()
