#!/usr/bin/python3
"""Local FTP server for Tobra's tests and benchmarks.

Serves one user with full rights on a folder and can misbehave on request
(drop or stall an upload, refuse uploads, renames or deletes, refuse MLSD,
answer slowly) so the client's fault handling can be exercised. Prints
"PORT <n>" as its first stdout line once it listens.
"""

import argparse
import collections
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
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
    p.add_argument("--reply-delay", type=float, default=0.0, metavar="SECONDS",
                   help="send every reply this much later")
    p.add_argument("--refuse-rename", action="store_true", help="answer RNFR with 550")
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
    dtp_bases = (DTPHandler,)
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
            if not self._closed:
                self.log_bytes()
                if (args.extra_store > 0 and self.receive and self.transfer_finished
                        and self.file_obj is not None and not self.file_obj.closed):
                    self.file_obj.write(b"+" * args.extra_store)
            super().close()

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

        if args.no_mlsd:
            proto_cmds = {k: v for k, v in ftp_base.proto_cmds.items()
                          if k not in ("MLSD", "MLST")}

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
            if args.refuse_rename:
                self.respond("550 Renaming is not allowed here.")
                return None
            return super().ftp_RNFR(path)

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
