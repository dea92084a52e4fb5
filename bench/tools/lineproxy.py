#!/usr/bin/env python3
"""A customer's line between FTP clients and a local FTP server, for bench/line.sh.

Plain FTP only: the proxy reads the control connection to send the data
connections through itself too (it rewrites the server's EPSV and PASV
replies to ports of its own), which it cannot do once AUTH TLS has encrypted
the control connection. AUTH is therefore answered by the proxy itself with
a refusal and never reaches the server. Active mode (PORT, EPRT) is not
carried.

What it models, on every control and data connection alike:
  - a one-way delay in each direction (--delay-ms; the round trip is twice
    that), for every byte and for the end of a connection;
  - the TCP handshake: the server side of a connection is opened 1.5 round
    trips after the client's connect, so the server's greeting (and its
    reply to STOR) reach the client when they would over the line. The
    client's own connect() returns at once (the kernel answers it);
  - the upstream rate (--up-kbit), shared by every connection, client to
    server, with one queue in arrival order (--queue fifo, the default: a
    modem's buffer, where a command waits behind the data other connections
    handed over before it) or in fair turns (--queue fair); the downstream is
    not limited;
  - a bounded buffer per connection (--buffer-kib), so a client feels the
    line as back-pressure rather than handing the proxy a whole file.
Not modelled: loss, TCP slow start and window limits. Bytes of a direction
leave in the order they came.

It counts the client's commands: one line "<seconds> <connection> <VERB>"
per command in --log (flushed at once; seconds on a monotonic clock), so a
benchmark counts commands and logins (USER) between two points of its run,
and a timeline per connection shows where a run waits.

Only 127.0.0.1: it listens there and only connects there. It ends after
--max-seconds (default 1800) or on SIGTERM / SIGINT.

  lineproxy.py --upstream-port 2121 --delay-ms 20 --up-kbit 20000 --log cmds.log
prints "PORT <n>" (the proxy's control port) on standard output once it
listens.
"""

import argparse
import asyncio
import collections
import itertools
import re
import signal
import sys
import time

HOST = "127.0.0.1"
CHUNK = 64 * 1024

EPSV_RE = re.compile(rb"^(229 .*\(\|\|\|)(\d+)(\|\).*)$", re.S)
PASV_RE = re.compile(rb"^(227 .*?)(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)(.*)$", re.S)


class Line:
    """The shared upstream of the line.

    fifo: one queue, bytes leave in the order they came from any connection
    (a modem's buffer), so a command waits behind the data other connections
    handed over before it. fair: each connection with bytes waiting sends
    QUANTUM bytes in turn (a router with fair queueing)."""

    QUANTUM = 16 * 1024

    def __init__(self, bytes_per_second, fair):
        self.rate = bytes_per_second
        self.fair = fair and bytes_per_second > 0
        self.free_at = 0.0
        self.turns = collections.deque()   # pipes with bytes waiting, in turn
        self.ready = asyncio.Event()

    def depart(self, now, n):
        """fifo: the time the last of n bytes handed over at now has left."""
        if not self.rate:
            return now
        start = max(now, self.free_at)
        self.free_at = start + n / self.rate
        return self.free_at

    def submit(self, pipe, data, delay):
        """fair: queues data (b"": the end) of pipe for its turns."""
        if not pipe.line_chunks:
            self.turns.append(pipe)
        pipe.line_chunks.append((data, delay))
        self.ready.set()

    async def run(self):
        loop = asyncio.get_running_loop()
        while True:
            if not self.turns:
                self.ready.clear()
                await self.ready.wait()
                continue
            pipe = self.turns[0]
            chunks = pipe.line_chunks
            data, delay = chunks[0]
            piece, rest = data[:self.QUANTUM], data[self.QUANTUM:]
            self.free_at = max(loop.time(), self.free_at) + len(piece) / self.rate
            wait = self.free_at - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if rest:
                chunks[0] = (rest, delay)
            else:
                chunks.popleft()
            pipe.queue.put_nowait((self.free_at + delay, piece))
            self.turns.popleft()
            if chunks:
                self.turns.append(pipe)   # to the end of the round


class Pipe:
    """One direction of one connection: read, delay (and limit), write."""

    def __init__(self, args, line, on_data=None):
        self.args = args
        self.line = line          # None: not limited
        self.on_data = on_data    # sees (and may replace) each chunk
        self.queue = asyncio.Queue()
        self.queued = 0
        self.drained = asyncio.Event()
        self.drained.set()
        self.line_chunks = collections.deque()   # (data, delay) waiting for fair turns

    def count(self, n):
        self.queued += n
        if self.queued > self.args.buffer_kib * 1024:
            self.drained.clear()

    async def put(self, data, due):
        self.count(len(data))
        await self.queue.put((due, data))

    async def read_from(self, reader):
        loop = asyncio.get_running_loop()
        delay = self.args.delay_ms / 1000.0
        fair = self.line is not None and self.line.fair
        try:
            while True:
                await self.drained.wait()
                data = await reader.read(CHUNK)
                if not data:
                    break
                if self.on_data:
                    data = await self.on_data(data)
                    if not data:
                        continue
                if fair:
                    self.count(len(data))
                    self.line.submit(self, data, delay)
                    continue
                now = loop.time()
                sent = self.line.depart(now, len(data)) if self.line else now
                await self.put(data, sent + delay)
        except (ConnectionError, OSError):
            pass
        # The end of the connection travels like a byte.
        if fair:
            self.line.submit(self, b"", delay)
        else:
            await self.queue.put((loop.time() + delay, b""))

    async def write_to(self, writer_ready):
        loop = asyncio.get_running_loop()
        writer = None
        try:
            while True:
                due, data = await self.queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if writer is None:
                    writer = await writer_ready
                if not data:
                    break
                self.queued -= len(data)
                if self.queued <= self.args.buffer_kib * 1024:
                    self.drained.set()
                writer.write(data)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            self.drained.set()
            if writer is not None:
                try:
                    if writer.can_write_eof():
                        writer.write_eof()
                    else:
                        writer.close()
                except (ConnectionError, OSError):
                    pass


class Proxy:
    def __init__(self, args):
        self.args = args
        self.line = Line(args.up_kbit * 1000 / 8 if args.up_kbit else 0, args.queue == "fair")
        self.ids = itertools.count(1)
        self.log = open(args.log, "a", buffering=1) if args.log else None

    def note(self, conn, verb):
        if self.log:
            self.log.write("%.3f %d %s\n" % (time.monotonic(), conn, verb))

    async def relay(self, client_reader, client_writer, upstream_port, up_filter=None, down_filter=None):
        """Carries one connection both ways; the server side opens 1.5 round trips late."""
        loop = asyncio.get_running_loop()
        handshake = 3 * self.args.delay_ms / 1000.0

        async def open_upstream():
            await asyncio.sleep(handshake)
            return await asyncio.open_connection(HOST, upstream_port)

        upstream = loop.create_task(open_upstream())
        up = Pipe(self.args, self.line, up_filter)
        down = Pipe(self.args, None, down_filter)
        if up_filter is not None:
            up_filter.pipe_down = down

        async def server_writer():
            return (await upstream)[1]

        async def server_reader_task():
            try:
                reader, _ = await upstream
            except OSError:
                await down.queue.put((loop.time(), b""))
                return
            await down.read_from(reader)

        async def client_writer_ready():
            return client_writer

        tasks = [
            loop.create_task(up.read_from(client_reader)),
            loop.create_task(up.write_to(loop.create_task(server_writer()))),
            loop.create_task(server_reader_task()),
            loop.create_task(down.write_to(loop.create_task(client_writer_ready()))),
        ]
        try:
            await asyncio.gather(*tasks, return_exceptions=True)
        finally:
            for w in (client_writer, upstream.result()[1] if upstream.done() and not upstream.exception() else None):
                if w is not None:
                    w.close()

    async def data_listener(self, upstream_port):
        """A port of the proxy for one passive data connection to upstream_port."""
        done = asyncio.get_running_loop().create_future()

        async def on_connect(reader, writer):
            server.close()
            try:
                await self.relay(reader, writer, upstream_port)
            finally:
                if not done.done():
                    done.set_result(None)

        server = await asyncio.start_server(on_connect, HOST, 0)
        port = server.sockets[0].getsockname()[1]

        async def expire():
            # A passive port nobody connects to is given up after a minute.
            try:
                await asyncio.wait_for(asyncio.shield(done), 60)
            except asyncio.TimeoutError:
                server.close()

        asyncio.get_running_loop().create_task(expire())
        return port

    async def on_control(self, reader, writer):
        conn = next(self.ids)
        proxy = self
        loop = asyncio.get_running_loop()

        class Commands:
            """Client to server: counts commands, answers AUTH itself."""

            def __init__(self):
                self.buf = b""
                self.pipe_down = None

            async def __call__(self, data):
                self.buf += data
                out = b""
                while b"\n" in self.buf:
                    line, self.buf = self.buf.split(b"\n", 1)
                    verb = line.strip().split(b" ", 1)[0].upper().decode("ascii", "replace")
                    proxy.note(conn, verb or "?")
                    if verb == "AUTH":
                        # A round trip later, as if the server had said it.
                        due = loop.time() + 2 * proxy.args.delay_ms / 1000.0
                        await self.pipe_down.put(b"502 Plain FTP only through the line proxy.\r\n", due)
                        continue
                    out += line + b"\n"
                return out

        class Replies:
            """Server to client: passive replies name a port of the proxy."""

            def __init__(self):
                self.buf = b""

            async def __call__(self, data):
                self.buf += data
                out = b""
                while b"\n" in self.buf:
                    line, self.buf = self.buf.split(b"\n", 1)
                    out += await self.rewrite(line + b"\n")
                return out

            async def rewrite(self, line):
                m = EPSV_RE.match(line)
                if m:
                    port = await proxy.data_listener(int(m.group(2)))
                    return m.group(1) + str(port).encode() + m.group(3)
                m = PASV_RE.match(line)
                if m:
                    upstream = int(m.group(6)) * 256 + int(m.group(7))
                    port = await proxy.data_listener(upstream)
                    return m.group(1) + b"127,0,0,1,%d,%d" % (port // 256, port % 256) + m.group(8)
                return line

        await self.relay(reader, writer, self.args.upstream_port, Commands(), Replies())


async def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--upstream-port", type=int, required=True, help="the FTP server's port on 127.0.0.1")
    p.add_argument("--port", type=int, default=0, help="the proxy's control port (0: a free one)")
    p.add_argument("--delay-ms", type=float, default=20.0, help="one-way delay in each direction")
    p.add_argument("--up-kbit", type=float, default=20000.0, help="upstream rate in kbit/s (0: unlimited)")
    p.add_argument("--buffer-kib", type=int, default=256, help="bytes held per connection and direction")
    p.add_argument("--queue", choices=("fifo", "fair"), default="fifo",
                   help="the upstream's queue: one for all connections (default), or fair turns")
    p.add_argument("--log", help="append one line per client command")
    p.add_argument("--max-seconds", type=float, default=1800.0, help="ends after this long")
    args = p.parse_args(argv)

    proxy = Proxy(args)
    line_task = asyncio.get_running_loop().create_task(proxy.line.run()) if proxy.line.fair else None
    server = await asyncio.start_server(proxy.on_control, HOST, args.port)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.get_running_loop().create_future()
    for sig in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
    try:
        await asyncio.wait_for(stop, args.max_seconds)
    except asyncio.TimeoutError:
        print("lineproxy: --max-seconds reached", file=sys.stderr)
    server.close()
    if line_task:
        line_task.cancel()
    return 0


if __name__ == "__main__":
    sys.exit(asyncio.run(main(sys.argv[1:])))
