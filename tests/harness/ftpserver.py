#!/usr/bin/python3
"""Local FTP server for Tobra's tests and benchmarks.

Serves one user with full rights on a folder and can misbehave on request
(drop or stall an upload, refuse uploads, refuse MLSD) so the client's fault
handling can be exercised. Prints "PORT <n>" as its first stdout line once
it listens.
"""

import argparse
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
    p.add_argument("--login-log", help="append one line per successful login")
    p.add_argument("--verbose", action="store_true", help="log to stderr")
    return p.parse_args(argv)


def make_handlers(args):
    class TestDTPHandler(DTPHandler):
        # Bigger reads keep the server from being the only bottleneck in
        # benchmarks.
        ac_in_buffer_size = 512 * 1024

        def handle_read(self):
            if args.stall_after >= 0 and self.tot_bytes_received >= args.stall_after:
                # Leave the socket open but unwatched: the client's send
                # buffers fill up and it sees no progress.
                self.del_channel()
                return
            super().handle_read()
            if args.short_store >= 0 and self.file_obj.tell() > args.short_store:
                self.file_obj.truncate(args.short_store)
                self.file_obj.seek(args.short_store)
            if args.drop_after >= 0 and self.tot_bytes_received >= args.drop_after:
                cmd = self.cmd_channel
                # Closing the control channel closes this data channel too;
                # no reply is sent, as when a server or link dies.
                self._resp = None
                cmd.close()

        # The base class binds this alias to its own handle_read.
        handle_read_event = handle_read

    class TestFTPHandler(FTPHandler):
        dtp_handler = TestDTPHandler
        banner = "Tobra test server ready."
        # Keep the delay after a refused login short but present, as real
        # servers have one.
        auth_failed_timeout = 1

        if args.no_mlsd:
            proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                          if k not in ("MLSD", "MLST")}

        def on_login(self, username):
            if args.login_log:
                with open(args.login_log, "a", encoding="utf-8") as f:
                    f.write("login %s\n" % username)

        def ftp_STOR(self, file, mode="w"):
            if args.refuse_stor:
                self.respond("550 Uploads are not allowed here.")
                return None
            return super().ftp_STOR(file, mode)

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

    def on_term(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, on_term)
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
    server.serve_forever(handle_exit=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
