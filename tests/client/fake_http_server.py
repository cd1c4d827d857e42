"""A web server that answers every POST the way its path names, for the client's failure tests:
/cut      status 200 with a Content-Length of 1000 and 60 bytes of a body, then closes
/failure  status 500 with the gateway's failure page
/garbage  status 200 with a body that is no gateway answer
/slow     answers after five seconds
Usage: fake_http_server.py PORT-FILE (the port it listens on is written there)."""
import http.server
import os
import socketserver
import sys
import time

STATUS = (b'<?xml version="1.0" encoding="ISO-8859-1"?>\r\n<STATUS>\r\n'
          b' <MSGDATA DATATYPE="STRING">Servi\xe7o em Opera\xe7\xe3o</MSGDATA>\r\n</STATUS>\r\n')
FAILURE_PAGE = (b"<html><title>Internal Server Error 500</title>\r\n"
                b"<h1>Internal Server Error 500</h1><hr>\r\n"
                b"Exception: EDivByZero<br>\r\nMessage: Division by zero<br></html>\r\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, reason, body, length):
        self.send_response(status, reason)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.close_connection = True
        if self.path == "/cut":
            self.answer(200, "OK", STATUS[:60], 1000)
        elif self.path == "/failure":
            self.answer(500, "Division by zero", FAILURE_PAGE, len(FAILURE_PAGE))
        elif self.path == "/garbage":
            self.answer(200, "OK", b"hello\r\n", 7)
        elif self.path == "/slow":
            time.sleep(5)
            self.answer(200, "OK", STATUS, len(STATUS))
        else:
            self.answer(404, "Not Found", b"", 0)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".partial", "w") as port_file:
    port_file.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".partial", sys.argv[1])
server.serve_forever()
