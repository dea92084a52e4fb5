#!/usr/bin/python3
"""Local FTP server for Tobra's tests and benchmarks.

Serves one user with full rights on a folder and can misbehave on request
(drop or stall an upload, refuse uploads, renames or deletes, refuse MLSD,
answer slowly) so the client's fault handling can be exercised. Prints
"PORT <n>" as its first stdout line once it listens.
"""

import argparse
import collections
import hashlib
import logging
import os
import signal
import sys
import zlib

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--root", required=True, help="folder served as /, created if missing")
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--user", default="ftpuser")
    p.add_argument("--password", default="vintor")
    p.add_argument("--no-mlsd", action="store_true", help="answer MLSD with 500")
    p.add_argument("--drop-after", type=int, default=-1, metavar="BYTES",
                   help="during STOR close data and control connection after BYTES")
    p.add_argument("--stall-after", type=int, default=-1, metavar="BYTES",
                   help="during STOR stop reading after BYTES, keep the connection")
    p.add_argument("--refuse-stor", action="store_true", help="answer STOR with 550")
    p.add_argument("--short-store", type=int, default=-1, metavar="BYTES",
                   help="during STOR keep only the first BYTES, yet report success")
    p.add_argument("--fault-uploads", type=int, default=-1, metavar="K",
                   help="--drop-after and --stall-after hit only the first K uploads "
                        "(default: all)")
    p.add_argument("--read-limit", type=int, default=0, metavar="BYTES",
                   help="receive at most BYTES a second on each upload (plain FTP only)")
    p.add_argument("--reply-delay", type=float, default=0.0, metavar="SECONDS",
                   help="send every reply this much later")
    p.add_argument("--rnfr-reply", type=int, metavar="CODE",
                   help="answer RNFR with CODE (550: refused, 502: unknown command)")
    p.add_argument("--rnto-reply", type=int, metavar="CODE", help="answer RNTO with CODE")
    p.add_argument("--hash", choices=["HASH", "X"],
                   help="offer checksums: HASH (SHA-256, SHA-1, MD5, CRC32; RANG listed "
                        "but refused), or XSHA256, XSHA1, XMD5 and XCRC with start and end")
    p.add_argument("--hash-delay", type=float, default=0.0, metavar="SECONDS",
                   help="answer HASH this much later, as a server digesting a big file")
    p.add_argument("--flip-byte", action="store_true",
                   help="after an upload change its middle byte, keeping the size "
                        "(only the first --fault-uploads uploads when given)")
    p.add_argument("--refuse-dele", action="store_true", help="answer DELE with 550")
    p.add_argument("--bytes-log",
                   help="append the bytes received on each upload's data connection")
    p.add_argument("--extra-store", type=int, default=0, metavar="BYTES",
                   help="after each upload append BYTES to the file, yet report success")
    p.add_argument("--sparse", action="store_true",
                   help="skip over blocks of zeros instead of writing them, so huge "
                        "uploads of zeros take no disk space")
    p.add_argument("--certfile", help="offer TLS (AUTH TLS) with this certificate (PEM)")
    p.add_argument("--keyfile", help="the certificate's private key (PEM)")
    p.add_argument("--tls-required", action="store_true",
                   help="with --certfile: refuse logins and transfers without TLS")
    p.add_argument("--refuse-auth-after", type=int, default=-1, metavar="N",
                   help="with --certfile: answer AUTH with 502 on every control connection "
                        "after the first N, as a man in the middle stripping TLS would")
    p.add_argument("--refuse-prot", action="store_true",
                   help="with --certfile: answer PROT P with 536 (TLS on the control "
                        "connection only)")
    p.add_argument("--login-log", help="append one line per successful login")
    p.add_argument("--verbose", action="store_true", help="log to stderr")
    return p.parse_args(argv)


class SparseWriter:
    """A file whose blocks of zeros are skipped, not written: the file
    system keeps them as holes. For uploads made of zeros only."""

    def __init__(self, f):
        self._f = f

    def write(self, data):
        if data.count(0) == len(data):
            self._f.seek(len(data), os.SEEK_CUR)
        else:
            self._f.write(data)
        return len(data)

    def close(self):
        if not self._f.closed:
            # A hole at the end only counts once the size is set.
            self._f.truncate(self._f.tell())
            self._f.close()

    def __getattr__(self, name):
        return getattr(self._f, name)


HASH_NAMES = {"SHA-256": "sha256", "SHA-1": "sha1", "MD5": "md5", "CRC32": None}
X_COMMANDS = {"XSHA256": "SHA-256", "XSHA1": "SHA-1", "XMD5": "MD5", "XCRC": "CRC32"}


def make_handlers(args):
    # Uploads whose data transfer has started, over the whole process, so
    # --fault-uploads holds across the client's reconnects.
    uploads_started = [0]
    control_connections = [0]
    tls = bool(args.certfile)
    if tls:
        # Needs python3-openssl; imported only when TLS is asked for.
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    ftp_base = TLS_FTPHandler if tls else FTPHandler
    # ThrottledDTPHandler counts what it reads; plain FTP only.
    dtp_bases = (ThrottledDTPHandler,) if args.read_limit else (DTPHandler,)
    if tls:
        class ReadsReachHandleRead(DTPHandler):
            # DTPHandler's handle_read_event is its own handle_read; put
            # behind the TLS layer, this hands reads to the test handler's
            # handle_read, so drops and stalls work over TLS too.
            def handle_read_event(self):
                self.handle_read()

        dtp_bases = (TLS_DTPHandler, ReadsReachHandleRead)

    class TestDTPHandler(*dtp_bases):
        # Bigger reads keep the server from being the only bottleneck in
        # benchmarks.
        ac_in_buffer_size = 512 * 1024
        read_limit = args.read_limit
        # Whether --drop-after and --stall-after hit this upload.
        faulty = True
        bytes_logged = False

        def enable_receiving(self, type, cmd):
            uploads_started[0] += 1
            self.faulty = args.fault_uploads < 0 or uploads_started[0] <= args.fault_uploads
            if args.sparse and self.file_obj is not None:
                self.file_obj = SparseWriter(self.file_obj)
            super().enable_receiving(type, cmd)

        def log_bytes(self):
            if args.bytes_log and self.receive and not self.bytes_logged:
                self.bytes_logged = True
                with open(args.bytes_log, "a", encoding="utf-8") as f:
                    f.write("%d\n" % self.tot_bytes_received)

        def close(self):
            # Logged before the base class sends the final reply, so a client
            # that has seen the reply finds the line.
            flip = None
            if not self._closed:
                self.log_bytes()
                done = (self.receive and self.transfer_finished
                        and self.file_obj is not None and not self.file_obj.closed)
                if done and args.extra_store > 0:
                    self.file_obj.write(b"+" * args.extra_store)
                if done and args.flip_byte and self.faulty:
                    flip = self.file_obj.name
            super().close()
            # Before the client's next command is read: the server is one loop.
            if flip:
                with open(flip, "r+b") as f:
                    size = f.seek(0, os.SEEK_END)
                    if size:
                        f.seek(size // 2)
                        b = f.read(1)
                        f.seek(size // 2)
                        f.write(bytes([b[0] ^ 0x20]))

        def handle_read(self):
            if (self.faulty and args.stall_after >= 0
                    and self.tot_bytes_received >= args.stall_after):
                # Leave the socket open but unwatched: the client's send
                # buffers fill up and it sees no progress.
                self.del_channel()
                return
            super().handle_read()
            if args.short_store >= 0 and self.file_obj.tell() > args.short_store:
                self.file_obj.truncate(args.short_store)
                self.file_obj.seek(args.short_store)
            if (self.faulty and args.drop_after >= 0
                    and self.tot_bytes_received >= args.drop_after):
                cmd = self.cmd_channel
                # Closing the control channel closes this data channel too;
                # no reply is sent, as when a server or link dies.
                self._resp = None
                self.log_bytes()
                cmd.close()

        # The base class binds this alias to its own handle_read. With TLS
        # the alias is the TLS layer's, which must see every read first.
        if not tls:
            handle_read_event = handle_read
        else:
            def readable(self):
                # libcurl starts the data connection's handshake before it
                # sends STOR; the base class would take that early data for
                # a hang-up and close the connection.
                if self._ssl_accepting or self._ssl_want_read:
                    return True
                if not self.receive and not self._initialized:
                    return False
                return self.receive

    class TestFTPHandler(ftp_base):
        dtp_handler = TestDTPHandler
        if tls:
            certfile = args.certfile
            keyfile = args.keyfile
            tls_control_required = args.tls_required
            tls_data_required = args.tls_required
        banner = "Tobra test server ready."
        # Keep the delay after a refused login short but present, as real
        # servers have one.
        auth_failed_timeout = 1

        proto_cmds = dict(ftp_base.proto_cmds)
        if args.no_mlsd:
            proto_cmds = {k: v for k, v in proto_cmds.items() if k not in ("MLSD", "MLST")}
        # SHA-1 is the server's choice, so a client must ask for SHA-256.
        hash_feats = {"HASH": ["HASH SHA-256;SHA-1*;MD5;CRC32", "RANG STREAM"],
                      "X": list(X_COMMANDS)}.get(args.hash, [])
        if args.hash == "HASH":
            for name in ("HASH",):
                proto_cmds[name] = dict(perm=None, auth=True, arg=True, help="Syntax: %s" % name)
        elif args.hash == "X":
            for name in X_COMMANDS:
                proto_cmds[name] = dict(perm=None, auth=True, arg=True, help="Syntax: %s" % name)
        hash_algorithm = "SHA-1"

        def digest_of(self, path, algorithm, start, end):
            """Hex digest of bytes start up to end (exclusive; None: to the end)."""
            with open(path, "rb") as f:
                f.seek(start)
                data = f.read() if end is None else f.read(max(0, end - start))
            if algorithm == "CRC32":
                return "%08x" % (zlib.crc32(data) & 0xffffffff)
            return hashlib.new(HASH_NAMES[algorithm], data).hexdigest()

        def real_file(self, line):
            # Paths arrive as sent: these commands take no part in the base
            # class's path checks.
            path = self.fs.ftp2fs(line)
            if not self.fs.validpath(path) or not self.fs.isfile(self.fs.realpath(path)):
                self.respond("550 No such file.")
                return None
            return path

        def ftp_OPTS(self, line):
            words = line.split()
            if len(words) == 2 and words[0].upper() == "HASH" and args.hash == "HASH":
                if words[1].upper() not in HASH_NAMES:
                    self.respond("504 Unknown algorithm.")
                    return
                self.hash_algorithm = words[1].upper()
                self.respond("200 %s" % self.hash_algorithm)
                return
            return super().ftp_OPTS(line)

        def ftp_HASH(self, line):
            # As proftpd answers: the range's end is exclusive, the path as sent.
            path = self.real_file(line)
            if path is None:
                return
            size = os.path.getsize(path)
            hexdigest = self.digest_of(path, self.hash_algorithm, 0, size)
            reply = "213 %s 0-%d %s %s" % (self.hash_algorithm, size, hexdigest, line)
            if args.hash_delay > 0:
                # Silent meanwhile, but other sessions are served.
                self.call_later(args.hash_delay, self.respond, reply)
            else:
                self.respond(reply)

        def x_command(self, algorithm, line):
            # "path [start end]", end being the offset after the last byte.
            words = line.rsplit(" ", 2)
            start, end = 0, None
            if len(words) == 3 and words[1].isdigit() and words[2].isdigit():
                line, start, end = words[0], int(words[1]), int(words[2])
            path = self.real_file(line)
            if path is not None:
                self.respond("250 %s" % self.digest_of(path, algorithm, start, end).upper())

        def ftp_XSHA256(self, line):
            self.x_command("SHA-256", line)

        def ftp_XSHA1(self, line):
            self.x_command("SHA-1", line)

        def ftp_XMD5(self, line):
            self.x_command("MD5", line)

        def ftp_XCRC(self, line):
            self.x_command("CRC32", line)

        def ftp_FEAT(self, line):
            # The base class lists self._extra_feats, set for each session.
            self._extra_feats = self._extra_feats + [f for f in self.hash_feats
                                                     if f not in self._extra_feats]
            return super().ftp_FEAT(line)

        def on_connect(self):
            control_connections[0] += 1
            self.stripped = 0 <= args.refuse_auth_after < control_connections[0]

        def on_login(self, username):
            if args.login_log:
                with open(args.login_log, "a", encoding="utf-8") as f:
                    f.write("login %s%s\n" % (username, "" if self.tls_on() else " in clear text"))

        def tls_on(self):
            return tls and self._ssl_established

        if tls:
            def ftp_AUTH(self, line):
                if self.stripped:
                    self.respond("502 Command not implemented.")
                    return None
                return ftp_base.ftp_AUTH(self, line)

            def ftp_PROT(self, line):
                if args.refuse_prot and line.upper() == "P":
                    self.respond("536 PROT P not accepted here.")
                    return None
                return ftp_base.ftp_PROT(self, line)

        def ftp_STOR(self, file, mode="w"):
            if args.refuse_stor:
                self.respond("550 Uploads are not allowed here.")
                return None
            return super().ftp_STOR(file, mode)

        def ftp_RNFR(self, path):
            if args.rnfr_reply:
                self.respond("%d Renaming is not allowed here." % args.rnfr_reply)
                return None
            return super().ftp_RNFR(path)

        def ftp_RNTO(self, path):
            if args.rnto_reply:
                self._rnfr = None
                self.respond("%d Renaming is not allowed here." % args.rnto_reply)
                return None
            return super().ftp_RNTO(path)

        def ftp_DELE(self, path):
            if args.refuse_dele:
                self.respond("550 Deleting is not allowed here.")
                return None
            return super().ftp_DELE(path)

        if args.reply_delay > 0:
            # Replies wait on the ioloop's timer instead of sleeping, so other
            # sessions (a second connection of the client) keep being served.
            # One queue per session keeps replies, multi-line ones and the
            # close after QUIT in the order they were made.
            def push(self, s):
                self._delay(ftp_base.push, s)

            def close_when_done(self):
                self._delay(ftp_base.close_when_done)

            def _delay(self, fun, *fun_args):
                if not hasattr(self, "_delayed"):
                    self._delayed = collections.deque()
                self._delayed.append((fun, fun_args))
                self.call_later(args.reply_delay, self._send_delayed)

            def _send_delayed(self):
                # Each timer sends the oldest waiting item: timers that fall
                # due together may run in any order, the queue does not.
                fun, fun_args = self._delayed.popleft()
                if not self._closed:
                    fun(self, *fun_args)

    return TestFTPHandler


def main(argv):
    args = parse_args(argv)

    log = logging.getLogger("pyftpdlib")
    if args.verbose:
        logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                            format="[ftpserver] %(message)s")
    else:
        log.addHandler(logging.NullHandler())
        log.propagate = False
        log.setLevel(logging.CRITICAL + 1)

    root = os.path.abspath(args.root)
    os.makedirs(root, exist_ok=True)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm="elradfmwMT")
    handler = make_handlers(args)
    handler.authorizer = authorizer

    server = FTPServer((args.host, args.port), handler)
    port = server.socket.getsockname()[1]

    # SIGTERM only sets a flag: an exception raised from the handler can
    # land in a handler's catch-all and be swallowed, and the server would
    # run on until it is killed.
    stopping = []
    signal.signal(signal.SIGTERM, lambda signum, frame: stopping.append(signum))
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
    while not stopping:
        server.ioloop.loop(timeout=0.1, blocking=False)
    server.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
