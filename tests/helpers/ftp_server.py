#!/usr/bin/python3
"""A loopback FTP server for the remote-file tests and benchmarks.

    ftp_server.py ROOT [PORT] [BYTES_PER_SECOND]

Users: "anonymous" may only list and read; "writer" (password "secret")
may do everything. Both start in ROOT. A rate limits every transfer (for
the test that kills the server in the middle of one). Prints "ready" once
it listens, then serves until it is killed.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 21
    rate = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elr")
    authorizer.add_user("writer", "secret", root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "zrcore test server"
    handler.auth_failed_timeout = 0  # a refused login answers at once
    if rate:
        dtp = ThrottledDTPHandler
        dtp.read_limit = rate
        dtp.write_limit = rate
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", port), handler)
    print("ready", flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.disable(logging.CRITICAL)
    main()
