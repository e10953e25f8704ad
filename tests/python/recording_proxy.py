"""A loopback HTTP proxy that forwards every request to one server and records what came in."""

import http.client
import http.server
import threading
import urllib.parse


class RecordingProxy:
    """Listens on 127.0.0.1; `requests` holds (method, path, headers) of each request received."""

    def __init__(self, target_url):
        target = urllib.parse.urlsplit(target_url)
        self.requests = []
        lock = threading.Lock()
        recorded = self.requests

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def forward(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else None
                with lock:
                    recorded.append((self.command, self.path, dict(self.headers.items())))
                upstream = http.client.HTTPConnection(target.hostname, target.port, timeout=10)
                try:
                    headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")}
                    upstream.request(self.command, self.path, body=body, headers=headers)
                    reply = upstream.getresponse()
                    data = reply.read()
                    self.send_response(reply.status)
                    for name, value in reply.getheaders():
                        if name.lower() not in ("transfer-encoding", "connection", "content-length"):
                            self.send_header(name, value)
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    self.wfile.write(data)
                finally:
                    upstream.close()

            do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = forward

            def log_message(self, *args):
                pass

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._server.daemon_threads = True
        self.url = f"http://127.0.0.1:{self._server.server_address[1]}"
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()

    def close(self):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(timeout=10)
