// The pooled Node peer of the FastCGI benchmark: answers a posted form field `sql` with the rows
// of the query as JSON, from a pool of 4 attachments to one database through the Firebird server.
// Usage: node server.js PORT HOST DATABASE USER PASSWORD
'use strict';
const http = require('http');
const Firebird = require('node-firebird');

const [port, host, database, user, password] = process.argv.slice(2);
const pool = Firebird.pool(4, {host, port: 3050, database, user, password, lowercase_keys: false});

function answer(response, status, body) {
  response.writeHead(status, {'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body)});
  response.end(body);
}

http.createServer((request, response) => {
  const chunks = [];
  request.on('data', (chunk) => chunks.push(chunk));
  request.on('end', () => {
    const sql = new URLSearchParams(Buffer.concat(chunks).toString()).get('sql');
    if (!sql) return answer(response, 400, '{"error":"no sql field"}');
    pool.get((error, db) => {
      if (error) return answer(response, 500, JSON.stringify({error: error.message}));
      db.query(sql, (failure, rows) => {
        db.detach();
        if (failure) return answer(response, 500, JSON.stringify({error: failure.message}));
        answer(response, 200, JSON.stringify(rows));
      });
    });
  });
}).listen(Number(port), '127.0.0.1');
