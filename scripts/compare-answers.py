#!/usr/bin/env python3
"""Runs one set of requests through two builds of the gateway and compares their answers byte for
byte: headers and documents, as the CGI program and as a FastCGI process with and without kept
attachments, in the C locale and in LANG=pt_BR.UTF-8.

    scripts/compare-answers.py OLD_PROGRAM NEW_PROGRAM

It is the check for a change that must not change any answer (a redesign, a cleanup): build the
program before the change and after it, and run this. The requests cover every kind of document:
the status and ERROR documents, malformed requests, the server failure page, OPENSQL over every
column type (dialects 1 and 3, empty answers, failures before and after the first row, an answer
past max-answer-bytes, one held in the spool's file) and EXECSQL (success, failure, DDL), on the
embedded engine and, when XG_FB_SERVER_HOST, XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD are set
(scripts/firebird-server.sh start prints them), on the Firebird server by both of its roads.

Every request runs against the same database files, restored before each run, and every
statement that changes a table first deletes what the previous run left, so both programs meet
the same state. Every process runs with its wall clock fixed (libfaketime), so that the status
document's moments are the same; its monotonic clock, which times the FastCGI process's waits,
runs.
Exit status 0 when every answer is equal, 1 when one differs (the first bytes that differ are
shown), 2 when the set-up fails.
"""
import base64
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
LOCALES = ["C", "pt_BR.UTF-8"]

DIALECT3_SCRIPT = r"""
CREATE TABLE T (
  ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, BI BIGINT, N42 NUMERIC(4,2), N93 NUMERIC(9,3),
  N184 NUMERIC(18,4), D182 DECIMAL(18,2), N180 NUMERIC(18,0), F FLOAT, DP DOUBLE PRECISION,
  DT DATE, TM TIME, TS TIMESTAMP, C5 CHAR(5), VC VARCHAR(20), OC CHAR(4) CHARACTER SET OCTETS,
  U8 VARCHAR(10) CHARACTER SET UTF8, BT BLOB SUB_TYPE TEXT, BB BLOB SUB_TYPE BINARY, B BOOLEAN,
  "lower case" INTEGER);
INSERT INTO T VALUES (1, -32768, 2147483647, -99.99, 123456.789, 12345678901234.5678,
  -12345678901.23, 2147483647, 3.25, 1.0E-7, '2025-02-28', '23:59:59.9999',
  '1999-12-31 13:14:15.1234', 'ab', 'x<y & "z" ''q''', x'00FF0A41', 'S' || _UTF8 'ão',
  'linha1' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'linha2 <&>', x'000102', TRUE, 7);
INSERT INTO T (ID) VALUES (2);
INSERT INTO T VALUES (3, 32767, -2147483648, 0.01, -0.001, -0.0001, 0, -2147483648,
  -1.5E10, 1.7976931348623157E308, '1899-12-29', '00:00:00', '1899-12-30 06:00:00',
  'abcde', '', x'20202020', '', '', x'', FALSE, -1);
INSERT INTO T (ID, VC, DT, TM, TS) VALUES (4, 'caf' || ASCII_CHAR(233), '1900-03-01',
  '12:00:00', '2000-02-29 00:00:00');
CREATE TABLE W (K INTEGER NOT NULL PRIMARY KEY, V VARCHAR(10));
CREATE TABLE BIG (N INTEGER, TXT VARCHAR(100));
SET TERM ^;
CREATE PROCEDURE ROWS_OF (N INTEGER) RETURNS (I INTEGER, HALF NUMERIC(9,2)) AS
BEGIN
  I = 0;
  WHILE (I < N) DO BEGIN I = I + 1; HALF = I / 2.0; SUSPEND; END
END^
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN
  WHILE (I < 1000) DO BEGIN
    INSERT INTO BIG VALUES (:I, 'texto ' || :I || ' <' || RPAD('', 60, 'x') || '>'); I = I + 1;
  END
END^
SET TERM ;^
COMMIT;
"""

DIALECT1_SCRIPT = r"""
CREATE TABLE T1 (ID INTEGER, N92 NUMERIC(9,2), N154 NUMERIC(15,4), D DOUBLE PRECISION,
  DT DATE, C CHAR(3));
INSERT INTO T1 VALUES (1, 1234567.89, -12345678901.2345, 2.5, '2024-01-02 03:04:05', 'a');
INSERT INTO T1 (ID) VALUES (2);
COMMIT;
"""


def b64(text):
    return base64.b64encode(text.encode("latin-1")).decode("ascii")


def request(service, database="", sql="", user="SYSDBA", password="masterkey", root="SENDDATA"):
    return ('<?xml version="1.0"?><%s><SERVICE>%s</SERVICE><DB>%s</DB><USER>%s</USER>'
            "<PASS>%s</PASS><SQL>%s</SQL></%s>" %
            (root, service, database, user, b64(password), b64(sql), root))


def form(document_text):
    encoded = base64.b64encode(document_text.encode("latin-1")).decode("ascii")
    return ("SENDDATA=" + urllib.parse.quote(encoded, safe="")).encode("ascii")


class Cases:
    """The requests, in the order they run: (name, method, body or query string)."""

    def __init__(self, work, server):
        self.work = work
        self.server = server
        self.items = []

    def post(self, name, body):
        self.items.append((name, "POST", body))

    def query(self, name, database, sql, **kw):
        self.post(name, form(request("SERVICEOPENSQL", database, sql, **kw)))

    def execute(self, name, database, sql, **kw):
        self.post(name, form(request("SERVICEEXECSQL", database, sql, **kw)))

    def build(self):
        d3 = self.work + "/emb/d3.fdb"
        d1 = self.work + "/emb/d1.fdb"
        self.post("status", form(request("SERVICESTATUS")))
        self.post("error service", form(request("SERVICEERROR")))
        self.post("unknown service", form(request("SERVICEOTHER")))
        self.post("other root", form(request("SERVICESTATUS", root="OTHER")))
        self.post("malformed document", form("<?xml version=\"1.0\"?><SENDDATA><SERVICE>"))
        self.post("no service element", form("<?xml version=\"1.0\"?><SENDDATA><DB>x</DB></SENDDATA>"))
        self.post("markup in request", form(request("SERVICEOPENSQL", "a<&>\xe3", "select 1")
                                            .replace("a<&>", "a&lt;&amp;&gt;")))
        self.post("declared ISO-8859-1", form(
            request("SERVICEOPENSQL", d3, "select '\xe3\xe7<' as \"\xc1\" from rdb$database")
            .replace('version="1.0"?>', 'version="1.0" encoding="ISO-8859-1"?>')))
        self.post("bad base64", b"SENDDATA=%%%%abc")
        self.post("no SENDDATA field", b"OTHER=1")
        self.post("empty body", b"")
        self.items.append(("GET", "GET", "SENDDATA=" + urllib.parse.quote(
            base64.b64encode(request("SERVICESTATUS").encode()).decode(), safe="")))
        self.query("all types", d3, "select * from T order by ID")
        self.query("decimal past the currency range", d3, "select cast(-1234567890123456.78 as "
                   "decimal(18,2)) as D from rdb$database")
        self.query("numeric(18,0) past 32 bits", d3, "select cast(2147483648 as numeric(18,0)) "
                   "as N from rdb$database")
        self.query("earliest date", d3, "select cast('0001-01-01' as date) as D from rdb$database")
        self.query("latest moment", d3, "select cast('9999-12-31 23:59:59.9999' as timestamp) "
                   "as S from rdb$database")
        self.query("bigint past 32 bits", d3, "select cast(9223372036854775807 as bigint) as B "
                   "from rdb$database")
        self.query("aliases", d3, 'select ID as "a b", ID as "x<y", \'\xe3<&>\' as L, '
                   'cast(null as integer) as NUL from T where ID = 1')
        self.query("empty answer", d3, "select * from T where ID < 0")
        self.query("syntax error", d3, "selec * from T")
        self.query("unknown table", d3, "select * from NOPE")
        self.query("failure after first row", d3, "select 1 / (2 - ID) from T order by ID")
        self.query("procedure", d3, "select * from ROWS_OF(5)")
        self.query("execute block", d3, "execute block returns (x varchar(5)) as begin "
                   "x = 'a'; suspend; x = null; suspend; end")
        self.query("non-select as query", d3, "delete from W")
        self.query("spooled answer", d3, "select * from BIG order by N")
        self.query("past max-answer-bytes", d3, "select a.TXT, b.TXT from BIG a, BIG b "
                   "where b.N < 10")
        self.query("computed types", d3, "select 1.5 * 2 as M, cast(1 as numeric(18,6)) / 3 "
                   "as Q, current_date - current_date as Z, cast('10:11:12' as time) as H, "
                   "true as B, cast('abc' as char(10)) as C from rdb$database")
        self.execute("execute delete", d3, "delete from W")
        self.execute("execute insert", d3, "insert into W values (1, 'um')")
        self.execute("execute violation", d3, "insert into W values (1, 'dois')")
        self.execute("execute syntax error", d3, "insert W")
        self.execute("execute DDL", d3, "create table X (A integer)")
        self.execute("execute DDL again", d3, "drop table X")
        self.query("after executes", d3, "select * from W")
        self.query("dialect 1", d1, "select * from T1 order by ID")
        self.query("refused name", "/etc/passwd", "select 1 from rdb$database")
        self.query("missing file", self.work + "/emb/missing.fdb", "select 1 from rdb$database")
        self.query("dotted host name", "localhost:/x/../y.fdb", "select 1 from rdb$database")
        if self.server:
            host, user, password = self.server
            local = self.work + "/srv/s3.fdb"
            for road, name in (("local", local), ("host", host + ":" + local)):
                auth = {"user": user, "password": password}
                self.execute(road + " delete", name, "delete from W", **auth)
                self.execute(road + " insert", name, "insert into W values (2, 'dois')", **auth)
                self.query(road + " types", name, "select * from T order by ID", **auth)
                self.query(road + " wrong password", name, "select 1 from rdb$database",
                           user=user, password=password + "x")
                self.query(road + " failure", name, "select 1 / 0 from rdb$database", **auth)
        return self.items


def run(command, **kw):
    result = subprocess.run(command, capture_output=True, **kw)
    if result.returncode != 0:
        sys.exit("set-up failed: %s\n%s%s" % (" ".join(command), result.stdout.decode(),
                                               result.stderr.decode()))
    return result


def create_database(path, dialect, script, server=None):
    isql = shutil.which("isql-fb") or shutil.which("isql")
    target = path if server is None else server[0] + ":" + path
    auth = [] if server is None else ["-user", server[1], "-password", server[2]]
    run([isql, "-q", "-bail"] + auth, input=(
        "SET SQL DIALECT %d;\nCREATE DATABASE '%s' DEFAULT CHARACTER SET ISO8859_1;\nCOMMIT;\n"
        % (dialect, target)).encode())
    run([isql, "-q", "-bail", target] + auth, input=script.encode("latin-1"))


def write_config(work, server):
    allow = work + "/emb/*.fdb " + work + "/srv/*.fdb"
    if server:
        allow += " " + server[0] + ":" + work + "/srv/*.fdb"
    path = work + "/xmlgateway.conf"
    with open(path, "w") as f:
        f.write("[databases]\nallow = %s /etc/passwd-not\nembedded = %s/emb/*.fdb\n"
                "charset = ISO8859_1\n[limits]\nmax-answer-bytes = 300K\n"
                "spool-memory-bytes = 16K\n" % (allow, work))
    with open(work + "/pool.conf", "w") as f:
        f.write(open(path).read() + "[pool]\nattachments = on\n")
    with open(work + "/broken.conf", "w") as f:
        f.write("[databases]\nallow = *\nnot-a-key = 1\n")


def cgi_environment(work, config, locale, method, body):
    env = {"PATH": os.environ["PATH"], "FIREBIRD_LOCK": work + "/lock", "TZ": "UTC",
           "XMLGATEWAY_CONF": config, "LANG": locale, "LD_PRELOAD": FAKETIME,
           "FAKETIME": "2025-12-08 21:13:05", "GATEWAY_INTERFACE": "CGI/1.1",
           "REQUEST_METHOD": method, "SERVER_PROTOCOL": "HTTP/1.1",
           "REMOTE_ADDR": "127.0.0.1", "HTTP_USER_AGENT": "compare/1.0",
           "SCRIPT_NAME": "/cgi/xmlgateway"}
    if method == "POST":
        env["CONTENT_TYPE"] = "application/x-www-form-urlencoded"
        env["CONTENT_LENGTH"] = str(len(body))
    else:
        env["QUERY_STRING"] = body
    return env


def run_cgi(program, work, config, locale, cases):
    answers = []
    for name, method, body in cases:
        env = cgi_environment(work, config, locale, method, body)
        stdin = body if method == "POST" else b""
        result = subprocess.run([program], input=stdin, env=env, capture_output=True,
                                timeout=120)
        answers.append((name, result.stdout + b"\nexit %d" % result.returncode))
    return answers


def fastcgi_record(kind, content, request_id=1):
    return struct.pack(">BBHHBB", 1, kind, request_id, len(content), 0, 0) + content


def fastcgi_pairs(params):
    data = b""
    for name, value in params.items():
        for part in (name.encode(), value.encode()):
            data += bytes([len(part)]) if len(part) < 128 else struct.pack(">I", len(part) | 1 << 31)
        data += name.encode() + value.encode()
    return data


def fastcgi_exchange(path, params, body):
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(120)
        s.connect(path)
        message = fastcgi_record(1, struct.pack(">HB5x", 1, 0))
        pairs = fastcgi_pairs(params)
        for at in range(0, len(pairs), 65535):
            message += fastcgi_record(4, pairs[at:at + 65535])
        message += fastcgi_record(4, b"")
        for at in range(0, len(body), 65535):
            message += fastcgi_record(5, body[at:at + 65535])
        message += fastcgi_record(5, b"")
        s.sendall(message)
        received = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            received += chunk
    out, at, status = b"", 0, None
    while at + 8 <= len(received):
        _, kind, _, length, padding, _ = struct.unpack(">BBHHBB", received[at:at + 8])
        content = received[at + 8:at + 8 + length]
        if kind == 6:
            out += content
        elif kind == 3:
            status = struct.unpack(">IB", content[:5])
        at += 8 + length + padding
    return out + b"\nend %r" % (status,)


def run_fastcgi(program, work, config, locale, cases):
    socket_path = work + "/fcgi.socket"
    if os.path.exists(socket_path):
        os.unlink(socket_path)
    env = {"PATH": os.environ["PATH"], "FIREBIRD_LOCK": work + "/lock", "TZ": "UTC",
           "XMLGATEWAY_CONF": config, "LANG": locale, "LD_PRELOAD": FAKETIME,
           "FAKETIME": "2025-12-08 21:13:05", "FAKETIME_DONT_FAKE_MONOTONIC": "1"}
    process = subprocess.Popen([program, "--fastcgi", socket_path], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        for _ in range(600):
            if os.path.exists(socket_path) or process.poll() is not None:
                break
            time.sleep(0.05)
        if not os.path.exists(socket_path):
            sys.exit("the FastCGI process did not start: " + process.stderr.read().decode())
        answers = []
        for name, method, body in cases:
            params = cgi_environment(work, config, locale, method, body)
            for key in ("PATH", "FIREBIRD_LOCK", "TZ", "XMLGATEWAY_CONF", "LANG", "LD_PRELOAD",
                        "FAKETIME"):
                params.pop(key)
            out = fastcgi_exchange(socket_path, params, body if method == "POST" else b"")
            answers.append((name, out))
        return answers
    finally:
        process.terminate()
        process.wait(timeout=60)


def restore(work):
    for name in os.listdir(work + "/templates"):
        shutil.copyfile(work + "/templates/" + name, work + "/emb/" + name)


def answers_of(program, work, cases, server):
    runs = {}
    for locale in LOCALES:
        for mode, runner, config in (("cgi", run_cgi, "xmlgateway.conf"),
                                     ("fastcgi", run_fastcgi, "xmlgateway.conf"),
                                     ("fastcgi kept", run_fastcgi, "pool.conf")):
            restore(work)
            runs[(locale, mode)] = runner(program, work, work + "/" + config, locale, cases)
        restore(work)
        runs[(locale, "cgi broken config")] = run_cgi(program, work, work + "/broken.conf",
                                                      locale, cases[:2])
    return runs


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: compare-answers.py OLD_PROGRAM NEW_PROGRAM")
    old, new = (os.path.abspath(p) for p in sys.argv[1:])
    server = None
    if all(os.environ.get(k) for k in ("XG_FB_SERVER_HOST", "XG_FB_SERVER_USER",
                                        "XG_FB_SERVER_PASSWORD")):
        server = (os.environ["XG_FB_SERVER_HOST"], os.environ["XG_FB_SERVER_USER"],
                  os.environ["XG_FB_SERVER_PASSWORD"])
    else:
        print("no XG_FB_SERVER_* variables: the server's roads are left out")
    work = tempfile.mkdtemp(prefix="xg-compare-")
    try:
        for folder in ("emb", "srv", "lock", "templates"):
            os.mkdir(work + "/" + folder)
        os.chmod(work, 0o755)
        os.chmod(work + "/srv", 0o777)
        os.environ["FIREBIRD_LOCK"] = work + "/lock"
        create_database(work + "/templates/d3.fdb", 3, DIALECT3_SCRIPT)
        create_database(work + "/templates/d1.fdb", 1, DIALECT1_SCRIPT)
        if server:
            create_database(work + "/srv/s3.fdb", 3, DIALECT3_SCRIPT, server)
        write_config(work, server)
        cases = Cases(work, server).build()
        old_runs = answers_of(old, work, cases, server)
        new_runs = answers_of(new, work, cases, server)
        differences = 0
        compared = 0
        for key, old_answers in old_runs.items():
            for (name, old_bytes), (_, new_bytes) in zip(old_answers, new_runs[key]):
                compared += 1
                if old_bytes == new_bytes:
                    continue
                differences += 1
                at = next((i for i, (a, b) in enumerate(zip(old_bytes, new_bytes)) if a != b),
                          min(len(old_bytes), len(new_bytes)))
                print("DIFFERS: %s / %s / %s at byte %d\n  old: %r\n  new: %r" %
                      (key[0], key[1], name, at, old_bytes[max(0, at - 60):at + 60],
                       new_bytes[max(0, at - 60):at + 60]))
        print("%d answers compared (%d requests, %d runs each), %d differ" %
              (compared, len(cases), len(old_runs), differences))
        return 1 if differences else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
