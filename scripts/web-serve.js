#!/usr/bin/env node
// Serves the web build's site (build-web/site) as static files: `make serve`,
// and the web tests, which start it on a free port of 127.0.0.1.
//
//   node scripts/web-serve.js SITE [HOST] [PORT]     (127.0.0.1 8080)
//
// Only files inside SITE are served, with the types browsers insist on
// (application/wasm lets the program compile while it downloads), and
// nothing is cached, so a rebuilt site shows on the next reload.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.json': 'application/json',
  '.png': 'image/png',
};

// Starts serving `site`; resolves to {server, url} once listening.
function serve(site, host = '127.0.0.1', port = 0) {
  const root = path.resolve(site);
  const server = http.createServer((req, res) => {
    let file;
    try {
      const urlPath = decodeURIComponent(new URL(req.url, 'http://x').pathname);
      file = path.join(root, urlPath.endsWith('/') ? urlPath + 'index.html' : urlPath);
    } catch (e) {
      file = null;
    }
    if (!file || (file !== root && !file.startsWith(root + path.sep)) ||
        (req.method !== 'GET' && req.method !== 'HEAD')) {
      res.writeHead(400).end();
      return;
    }
    fs.stat(file, (err, st) => {
      if (err || !st.isFile()) {
        res.writeHead(404, {'Content-Type': 'text/plain'}).end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Content-Length': st.size,
        'Cache-Control': 'no-store',
      });
      if (req.method === 'HEAD') res.end();
      else fs.createReadStream(file).pipe(res);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => {
      const a = server.address();
      const shown = a.family === 'IPv6' ? `[${a.address}]` : a.address;
      resolve({server, url: `http://${shown}:${a.port}/`});
    });
  });
}

module.exports = {serve};

if (require.main === module) {
  const [site, host = '127.0.0.1', port = '8080'] = process.argv.slice(2);
  if (!site || !/^\d+$/.test(port) || +port > 65535) {
    console.error('usage: web-serve.js SITE [HOST] [PORT]');
    process.exit(64);
  }
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    console.error(`web-serve: no site in ${site} (make web builds it)`);
    process.exit(66);
  }
  serve(site, host, +port).then(({url}) => {
    console.log(`Serving ${site} on ${url} (Ctrl-C stops)`);
  }, (err) => {
    console.error(`web-serve: cannot listen on ${host}:${port}: ${err.message}`);
    process.exit(69);
  });
}
