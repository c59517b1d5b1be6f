#!/usr/bin/env python3
"""Local HTTP and HTTPS servers for the network tests, around one command.

    netserve.py [--tls [--trust]] [--bench FILE] -- COMMAND [ARGS...]

Starts the servers on 127.0.0.1 (ports chosen by the system), runs COMMAND
with their addresses in its environment, stops the servers when it ends and
exits with its exit code. Nothing listens on any other address.

HTTP server, in OMBREL_TEST_HTTP (http://127.0.0.1:PORT):
  /file/N        N bytes of fixed pseudo-random content, with Content-Length
  /sha256/N      the SHA-256 of /file/N, upper-case hexadecimal
  /nolength/N    the same bytes without Content-Length (the connection closes)
  /short/N       announces N bytes, sends half of them and closes
  /stall/N       announces N bytes, sends 65,536 of them and then nothing
                 until the servers stop
  /status/CODE   an error page with that status and a Content-Length
  /text          a short text (for request objects)
  /bench         the file given with --bench (sent with sendfile)
  /ca.crl        the test authority's revocation list (with --tls)
  /hits?wait=N   the hits the collection server received, one per line as
                 "path<TAB>content type<TAB>user agent<TAB>body in hex",
                 after waiting up to 20 s until there are at least N
  /events        what the servers saw so far, one line each with the seconds
                 since they started: revocation lists served, hits asked for
                 and answered, hits received, connections to the collection
                 server that ended without a request (for a failing test's
                 message)
  /dropped?wait=N
                 the number of connections to the collection server that
                 ended without a request (a client that refused the
                 certificate), after waiting up to 20 s until there were at
                 least N

With --tls, an HTTPS collection server addressed as localhost, in
OMBREL_ANALYTICS_ENDPOINT (https://localhost:PORT/collect), records every
POST. Its certificate names localhost and comes from a test authority made
for this run (openssl), whose certificate is in OMBREL_TEST_CA as a Windows
path to a DER file; the authority lists the revocation list above as its
distribution point, so that revocation checking finds an answer.

With --trust the authority is added to the current user's root store of the
test's Wine prefix before COMMAND runs and removed after it (through
nettest.dll of OMBREL_SUPPORT_DIR, run by OMBREL_WINE_RUN); without it the
authority stays untrusted.
"""

import hashlib
import http.server
import os
import random
import shutil
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

WAIT_BOUND = 20.0      # longest wait of a /hits or /tlsfailures request
STALL_BOUND = 120.0    # a stalled response ends at the latest after this
COMMAND_BOUND = 900.0  # the wrapped command is stopped after this

stopping = threading.Event()
state = threading.Condition()
hits = []
dropped = 0
contents = {}
started = time.monotonic()
events = []


def note(event):
    with state:
        events.append('%.2f %s' % (time.monotonic() - started, event))


def content(size):
    """Fixed pseudo-random bytes, the same for the same size in every run."""
    with state:
        data = contents.get(size)
        if data is None:
            data = random.Random(size).randbytes(size)
            contents[size] = data
        return data


def wait_for(predicate, bound=WAIT_BOUND):
    deadline = time.monotonic() + bound
    with state:
        while not predicate():
            left = deadline - time.monotonic()
            if left <= 0 or stopping.is_set():
                break
            state.wait(min(left, 0.5))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'netserve'

    def log_message(self, *args):
        pass

    def send_body(self, body, status=200, content_type='application/octet-stream',
                  length=True):
        self.send_response(status)
        self.send_header('Content-Type', content_type)
        if length:
            self.send_header('Content-Length', str(len(body)))
        else:
            self.send_header('Connection', 'close')
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        parts = url.path.strip('/').split('/')
        kind, arg = parts[0], (parts[1] if len(parts) > 1 else '')
        size = int(arg) if arg.isdigit() else 0
        if kind == 'file':
            self.send_body(content(size))
        elif kind == 'sha256':
            digest = hashlib.sha256(content(size)).hexdigest().upper()
            self.send_body(digest.encode(), content_type='text/plain')
        elif kind == 'nolength':
            self.send_body(content(size), length=False)
        elif kind == 'short':
            self.send_response(200)
            self.send_header('Content-Length', str(size))
            self.end_headers()
            self.wfile.write(content(size)[:size // 2])
            self.close_connection = True
        elif kind == 'stall':
            self.send_response(200)
            self.send_header('Content-Length', str(size))
            self.end_headers()
            self.wfile.write(content(size)[:65536])
            self.wfile.flush()
            stopping.wait(STALL_BOUND)
            self.close_connection = True
        elif kind == 'status':
            self.send_body(b'<html>error page</html>', status=int(arg), content_type='text/html')
        elif kind == 'text':
            self.send_body('plain text, ünïcode'.encode('utf-8'),
                           content_type='text/plain; charset=utf-8')
        elif kind == 'bench' and self.server.bench:
            with open(self.server.bench, 'rb') as f:
                self.send_response(200)
                self.send_header('Content-Length', str(os.fstat(f.fileno()).st_size))
                self.end_headers()
                self.wfile.flush()
                self.connection.sendfile(f)
        elif kind == 'ca.crl' and self.server.crl:
            note('revocation list served')
            with open(self.server.crl, 'rb') as f:
                self.send_body(f.read(), content_type='application/pkix-crl')
        elif kind == 'hits':
            wanted = int(query.get('wait', ['0'])[0])
            note('hits asked for')
            wait_for(lambda: len(hits) >= wanted)
            with state:
                lines = list(hits)
            note('hits answered (%d)' % len(lines))
            text = ''.join(line + '\n' for line in lines)
            self.send_body(text.encode('utf-8'), content_type='text/plain')
        elif kind == 'dropped':
            wanted = int(query.get('wait', ['0'])[0])
            wait_for(lambda: dropped >= wanted)
            with state:
                count = dropped
            self.send_body(str(count).encode(), content_type='text/plain')
        elif kind == 'events':
            with state:
                text = ''.join(line + '\n' for line in events)
            self.send_body(text.encode('utf-8'), content_type='text/plain')
        else:
            self.send_body(b'not here', status=404, content_type='text/plain')


class CollectHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    posts = 0

    def setup(self):
        # The handshake runs in the connection's own thread; a client that
        # refuses the certificate ends the connection here or right after.
        note('a connection to the collection server')
        try:
            self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        except (ssl.SSLError, OSError):
            self.count_dropped()
            raise
        super().setup()

    def handle(self):
        try:
            super().handle()
        except (ssl.SSLError, OSError):
            pass
        if self.posts == 0:
            self.count_dropped()

    def count_dropped(self):
        global dropped
        note('a connection ended without a hit')
        with state:
            dropped += 1
            state.notify_all()

    def do_POST(self):
        self.posts += 1
        length = int(self.headers.get('Content-Length', '0'))
        body = self.rfile.read(length)
        note('hit received')
        line = '\t'.join([self.path, self.headers.get('Content-Type', ''),
                          self.headers.get('User-Agent', ''), body.hex()])
        with state:
            hits.append(line)
            state.notify_all()
        self.send_response(200)
        self.send_header('Content-Length', '0')
        self.end_headers()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False
    bench = None
    crl = None
    tls = None

    def handle_error(self, request, client_address):
        pass


def openssl(*args, cwd):
    subprocess.run(['openssl', *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=120)


def make_authority(folder, crl_url):
    """A test authority, a certificate for localhost and an empty revocation list."""
    with open(os.path.join(folder, 'ca.cnf'), 'w') as f:
        f.write(f"""[req]
distinguished_name = dn
prompt = no
[dn]
CN = Ombrel Test Authority
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
crlDistributionPoints = URI:{crl_url}
authorityKeyIdentifier = keyid
[ca]
default_ca = test
[test]
database = index.txt
crlnumber = crlnumber
default_md = sha256
default_crl_days = 7
""")
    open(os.path.join(folder, 'index.txt'), 'w').close()
    with open(os.path.join(folder, 'crlnumber'), 'w') as f:
        f.write('01\n')
    # RSA keys (about half a second each). With elliptic-curve keys, Wine's
    # certificate checks refused about one signature in a hundred: those
    # whose r or s is shorter than the curve's 32 bytes (a valid ECDSA
    # signature, one in 128), so the test failed now and then. RSA signatures
    # always have the key's length.
    key = ['-newkey', 'rsa:2048', '-nodes']
    openssl('req', '-x509', '-new', *key, '-keyout', 'ca.key', '-out', 'ca.pem', '-days', '7',
            '-config', 'ca.cnf', '-extensions', 'authority', cwd=folder)
    openssl('req', '-new', *key, '-keyout', 'server.key', '-out', 'server.csr',
            '-subj', '/CN=localhost', cwd=folder)
    openssl('x509', '-req', '-in', 'server.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key',
            '-CAcreateserial', '-out', 'server.pem', '-days', '7', '-extfile', 'ca.cnf',
            '-extensions', 'server', cwd=folder)
    openssl('ca', '-gencrl', '-keyfile', 'ca.key', '-cert', 'ca.pem', '-out', 'ca.crl.pem',
            '-config', 'ca.cnf', cwd=folder)
    openssl('crl', '-in', 'ca.crl.pem', '-outform', 'DER', '-out', 'ca.crl', cwd=folder)
    openssl('x509', '-in', 'ca.pem', '-outform', 'DER', '-out', 'ca.der', cwd=folder)


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def change_trust(verb, der):
    """Runs rundll32 nettest.dll,<verb> der in the test prefix; True on success."""
    wine_run = os.environ.get('OMBREL_WINE_RUN')
    support = os.environ.get('OMBREL_SUPPORT_DIR')
    if not wine_run or not support:
        print('netserve: --trust needs OMBREL_WINE_RUN and OMBREL_SUPPORT_DIR', file=sys.stderr)
        return False
    try:
        done = subprocess.run([wine_run, 'rundll32.exe', support + '\\nettest.dll,' + verb,
                               windows_path(der)], stdin=subprocess.DEVNULL, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as error:
        print('netserve: %s failed: %s' % (verb, error), file=sys.stderr)
        return False
    if done.returncode != 0:
        print('netserve: %s answered %d' % (verb, done.returncode), file=sys.stderr)
    return done.returncode == 0


def serve(server):
    thread = threading.Thread(target=server.serve_forever, kwargs={'poll_interval': 0.1},
                              daemon=True)
    thread.start()
    return thread


def main(argv):
    tls = False
    trust = False
    bench = None
    while argv and argv[0] != '--':
        if argv[0] == '--tls':
            tls = True
            argv = argv[1:]
        elif argv[0] == '--trust':
            trust = True
            argv = argv[1:]
        elif argv[0] == '--bench' and len(argv) > 1:
            bench = argv[1]
            argv = argv[2:]
        else:
            break
    if not argv or argv[0] != '--' or len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    command = argv[1:]

    folder = tempfile.mkdtemp(prefix='ombrel-netserve.')
    servers = []
    trusted = None
    try:
        web = Server(('127.0.0.1', 0), Handler)
        web.bench = bench
        servers.append(web)
        env = dict(os.environ)
        env['OMBREL_TEST_HTTP'] = 'http://127.0.0.1:%d' % web.server_address[1]
        if tls:
            make_authority(folder, 'http://127.0.0.1:%d/ca.crl' % web.server_address[1])
            web.crl = os.path.join(folder, 'ca.crl')
            collect = Server(('127.0.0.1', 0), CollectHandler)
            collect.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            collect.tls.load_cert_chain(os.path.join(folder, 'server.pem'),
                                        os.path.join(folder, 'server.key'))
            servers.append(collect)
            env['OMBREL_ANALYTICS_ENDPOINT'] = \
                'https://localhost:%d/collect' % collect.server_address[1]
            env['OMBREL_TEST_CA'] = windows_path(os.path.join(folder, 'ca.der'))
            if trust:
                if not change_trust('TrustRoot', os.path.join(folder, 'ca.der')):
                    return 2
                trusted = os.path.join(folder, 'ca.der')
        for server in servers:
            serve(server)
        try:
            child = subprocess.Popen(command, env=env)
        except OSError as error:
            print('netserve: cannot start %s: %s' % (command[0], error), file=sys.stderr)
            return 2
        try:
            return child.wait(timeout=COMMAND_BOUND)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
            print('netserve: %s did not end within %d s' % (command[0], COMMAND_BOUND),
                  file=sys.stderr)
            return 124
    finally:
        if trusted:
            change_trust('UntrustRoot', trusted)
        stopping.set()
        with state:
            state.notify_all()
        for server in servers:
            server.shutdown()
            server.server_close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
