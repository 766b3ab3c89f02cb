#!/usr/bin/env python3
"""The rounds of bench/page: headless chromium loads the game-like page
straight from the CDN (nginx behind a relay that adds a round trip), then,
for each client build, through a fresh client (cold: every asset a miss) and
again through the same client (warm: every asset a hit). As the floor of the
page itself, it is also loaded from nginx without the relay: what the
browser's own work (fetching from a local server, checking every digest)
costs on this machine. With --tls-client the same is done over HTTPS in the
same rounds: the page straight from a second CDN, nginx with TLS behind its
own relay, and through the client built against it, whose prefix trusts the
test CA for the run. Prints each load's time as the page measured it
(navigation start to the last asset checked), the medians, the ratios
against the direct load over the same scheme, where the assets' requests
spent their time in each kind of load (queued in the browser, waiting for
the head, receiving the body), the CPU seconds Wine spent on each cold load
(in the serving process and in the Wine server), and how many connections
each cold load made to the CDN for how many misses."""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import SERVER_PORT, asset_server_answers, Client, port_open, wait_until  # noqa: E402
from gamepage import Cdn, FULL_PAGE_ASSETS, load_page, make_page  # noqa: E402
from tls import TestCertificates, trust_ca  # noqa: E402

NGINX_PORT = 12393
NGINX_TLS_PORT = 12394


PHASES = ("queued", "waiting", "receiving")
# Each load's mean request phases (gamepage's "phases"), by what was loaded.
phases = {}


def timed_load(url, what, trusted_spki=None):
    """The page's own load time in ms; exits when the page found a fault.
    Keeps the load's request phases in phases[what]."""
    report = load_page(url, trusted_spki=trusted_spki)
    if not report.get("ok"):
        print(f"{what}: the page did not load whole: {report}", flush=True)
        sys.exit(1)
    phases.setdefault(what, []).append(report["phases"])
    return report["ms"]


# CPU seconds of each cold load, by what served it: (its process, the Wine
# server), one pair per round.
cold_cpu = {}


def cpu_seconds(pid=None):
    """The CPU seconds process pid has used, or without pid all the Wine
    servers running."""
    total = 0
    for entry in [str(pid)] if pid else os.listdir("/proc"):
        try:
            if not pid:
                if not entry.isdigit():
                    continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    if not os.path.basename(f.read().split(b"\0")[0]).startswith(b"wineserver"):
                        continue
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            pass
    return total / os.sysconf("SC_CLK_TCK")


def cold_connections(cdn, load):
    """Runs load(); returns what it returned, and the connections and
    requests the CDN saw meanwhile."""
    before = len(cdn.nginx.requests())
    result = load()
    requests = cdn.nginx.requests()[before:]
    return result, len({connection for connection, _ in requests}), len(requests)


def client_loads(exe, close_window, workdir, url, label, cdn, *args, warm=True, bare=False, settle=None):
    """Starts exe (with args) in an empty workdir, loads the page through it
    cold and, when warm, again, and ends it, once settle (when given)
    returns. Returns (cold ms, warm ms or None, (CDN connections, CDN
    requests) of the cold load). A bare server (not a client) is ready once
    its server answers."""
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    client = Client(exe, close_window, workdir, *args)
    try:
        if not (client.wait_until(asset_server_answers) if bare else client.wait_until_serving()):
            print(f"{label}: the client did not start serving on port {SERVER_PORT}", flush=True)
            sys.exit(1)
        before = cpu_seconds(client.process.pid), cpu_seconds()
        cold, connections, requests = cold_connections(cdn, lambda: timed_load(url, f"{label} cold"))
        cold_cpu.setdefault(label, []).append((cpu_seconds(client.process.pid) - before[0], cpu_seconds() - before[1]))
        warm_ms = timed_load(url, f"{label} warm") if warm else None
        if settle:
            settle()
    finally:
        # Killing the Wine process ends the client at once; a player's exit
        # would add Wine's seconds of lingering to every round.
        client.process.kill()
        client.process.wait()
        client.log.close()
        wait_until(lambda: not port_open(SERVER_PORT), 30)
    return cold, warm_ms, (connections, requests)


def spread(values):
    """The spread of a series of load times, for beside its median."""
    return f"(range {min(values):.0f}-{max(values):.0f} ms)"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True, metavar="LABEL=EXE",
                        help="a client build to measure; give it once per build")
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--cdn-port", type=int, required=True, help="the port of the builds' CDN base")
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--rtt-ms", type=float, default=30)
    parser.add_argument("--assets", type=int, default=FULL_PAGE_ASSETS)
    parser.add_argument("--tls-client", help="a client whose CDN base is https://localhost:TLS_PORT")
    parser.add_argument("--tls-port", type=int, help="the port of that client's CDN base")
    parser.add_argument("--trust-root", help="the tool that makes the Wine prefix trust the test CA")
    parser.add_argument("--pass-through", help="the bare pass-through (bench/PassThrough.cpp): the floor of a miss")
    parser.add_argument("--asset-server-alone", help="this build's asset server in a process of its own")
    options = parser.parse_args()
    builds = [entry.split("=", 1) for entry in options.build]
    if options.tls_client and not (options.tls_port and options.trust_root):
        parser.error("--tls-client needs --tls-port and --trust-root")

    site = os.path.join(options.work, "site")
    shutil.rmtree(options.work, ignore_errors=True)
    files = make_page(site, options.assets)
    size = sum(len(body) for body in files.values())
    print(f"page: {len(files)} files, {size / (1 << 20):.1f} MiB; CDN: nginx behind a relay adding "
          f"{options.rtt_ms:g} ms of round trip; {options.rounds} rounds", flush=True)
    for label, exe in builds:
        print(f"{label}: {exe}", flush=True)

    # Each scheme: (its CDN, its direct address, the key chromium accepts, the
    # builds loaded through it); plain HTTP first.
    cdn = Cdn(site, os.path.join(options.work, "cdn"), options.cdn_port, NGINX_PORT, options.rtt_ms / 1000, log=True)
    schemes = {"": (cdn, f"http://127.0.0.1:{options.cdn_port}/index.html", None, builds)}
    certificates = None
    if options.tls_client:
        certificates = TestCertificates(os.path.join(options.work, "pki"), "bench")
        if not trust_ca(options.trust_root, certificates):
            cdn.stop()
            print("trust_root could not add the test CA to the prefix's Root store", flush=True)
            return 1
        tls_cdn = Cdn(site, os.path.join(options.work, "tls-cdn"), options.tls_port, NGINX_TLS_PORT,
                      options.rtt_ms / 1000, tls=certificates, log=True)
        schemes["https "] = (tls_cdn, f"https://localhost:{options.tls_port}/index.html",
                             certificates.spki_sha256(), [("https", options.tls_client)])
    client_url = f"http://127.0.0.1:{SERVER_PORT}/index.html"
    floor_url = f"http://127.0.0.1:{NGINX_PORT}/index.html"
    times = {"direct": [], "floor": []}
    if options.pass_through:
        times["pass-through"] = []
        times["pass-through without cookies"] = []
    if options.asset_server_alone:
        times["asset server alone"] = []
    connections = {}
    for scheme, (_, _, _, scheme_builds) in schemes.items():
        times[f"{scheme}direct"] = []
        for label, _ in scheme_builds:
            times[f"{label} cold"] = []
            times[f"{label} warm"] = []
    try:
        for round_number in range(1, options.rounds + 1):
            for scheme, (scheme_cdn, direct_url, spki, scheme_builds) in schemes.items():
                times[f"{scheme}direct"].append(timed_load(direct_url, f"{scheme}direct", spki))
                if not scheme:
                    times["floor"].append(timed_load(floor_url, "floor"))
                if not scheme and options.pass_through:
                    passed, _, connections["pass-through"] = client_loads(
                        options.pass_through, options.close_window, os.path.join(options.work, "pass-through"),
                        client_url, "pass-through", scheme_cdn, "serve", f"http://127.0.0.1:{options.cdn_port}",
                        warm=False, bare=True)
                    times["pass-through"].append(passed)
                    # The same without Wine's cookie handling, which the client keeps.
                    times["pass-through without cookies"].append(client_loads(
                        options.pass_through, options.close_window, os.path.join(options.work, "pass-through"),
                        client_url, "pass-through without cookies", scheme_cdn, "serve",
                        f"http://127.0.0.1:{options.cdn_port}", "--no-cookies", warm=False, bare=True)[0])
                if not scheme and options.asset_server_alone:
                    times["asset server alone"].append(client_loads(
                        options.asset_server_alone, options.close_window, os.path.join(options.work, "alone"),
                        client_url, "asset server alone", scheme_cdn, warm=False, bare=True)[0])
                for label, exe in scheme_builds:
                    cold, warm, connections[label] = client_loads(
                        exe, options.close_window, os.path.join(options.work, label), client_url, label, scheme_cdn)
                    times[f"{label} cold"].append(cold)
                    times[f"{label} warm"].append(warm)
            print(f"round {round_number}: " + ", ".join(f"{what} {values[-1]:.0f} ms" for what, values in times.items()),
                  flush=True)
    finally:
        for scheme_cdn, *_ in schemes.values():
            scheme_cdn.stop()
        if certificates:
            trust_ca(options.trust_root, certificates, trusted=False)

    print()
    print(f"median of {options.rounds} rounds (the page's own time, navigation start to the last asset checked):")
    direct = statistics.median(times["direct"])
    floor = statistics.median(times["floor"])
    print(f"  {'nginx without the relay':<28} {floor:8.0f} ms  (the page's floor)  floor/direct {floor / direct:5.2f}")
    passed = statistics.median(times["pass-through"]) if options.pass_through else None
    if passed:
        print(f"  {'bare pass-through, cold':<28} {passed:8.0f} ms  (the floor of a miss)  "
              f"pass-through/direct {passed / direct:5.2f}  {spread(times['pass-through'])}")
        cookieless = statistics.median(times["pass-through without cookies"])
        print(f"  {'  the same without cookies':<28} {cookieless:8.0f} ms  (Wine's cookie handling: "
              f"{passed - cookieless:+.0f} ms)  {spread(times['pass-through without cookies'])}")
    if options.asset_server_alone:
        alone = statistics.median(times["asset server alone"])
        print(f"  {'asset server alone, cold':<28} {alone:8.0f} ms  (no window, browser or update check)"
              + (f"  alone/pass-through {alone / passed:5.2f}" if passed else "")
              + f"  {spread(times['asset server alone'])}")
    for scheme, (_, _, _, scheme_builds) in schemes.items():
        direct = statistics.median(times[f"{scheme}direct"])
        print(f"  {scheme + 'direct from the CDN':<28} {direct:8.0f} ms")
        for label, _ in scheme_builds:
            cold = statistics.median(times[f"{label} cold"])
            warm = statistics.median(times[f"{label} warm"])
            print(f"  {label:<28} cold {cold:6.0f} ms  warm {warm:6.0f} ms  "
                  f"cold/{scheme}direct {cold / direct:5.2f}  warm/{scheme}direct {warm / direct:5.2f}" +
                  (f"  cold/pass-through {cold / passed:5.2f}" if passed and not scheme else ""))
            print(f"  {'':<28} cold {spread(times[f'{label} cold'])}  warm {spread(times[f'{label} warm'])}")
    labels = [label for label, _ in builds]
    if "old" in labels and "new" in labels:
        ratios = [statistics.median(times[f"new {kind}"]) / statistics.median(times[f"old {kind}"])
                  for kind in ("cold", "warm")]
        print(f"  {'new/old':<28} cold {ratios[0]:6.2f}     warm {ratios[1]:6.2f}")
    print("where the assets' requests spent their time, mean ms per request (median of the rounds):")
    for what, loads in phases.items():
        print(f"  {what:<28} " + "  ".join(f"{phase} {statistics.median(load[phase] for load in loads):6.1f}"
                                         for phase in PHASES))
    print("CPU of Wine per cold load, s (median of the rounds): " +
          ", ".join(f"{label} {statistics.median(p for p, _ in pairs):.2f} in its process + "
                    f"{statistics.median(w for _, w in pairs):.2f} in the Wine server" for label, pairs in cold_cpu.items()))
    print("CDN connections of the last cold load: " +
          ", ".join(f"{label} {made} for {asked} requests" for label, (made, asked) in connections.items()))
    return 0


if __name__ == "__main__":
    start = time.monotonic()
    code = main()
    print(f"(bench took {time.monotonic() - start:.0f} s)")
    sys.exit(code)
