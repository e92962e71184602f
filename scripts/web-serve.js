#!/usr/bin/env node
// Serves the web build's site (build-web/site) as static files: `make serve`,
// and the web tests, which start it on a free port of 127.0.0.1.
//
//   node scripts/web-serve.js SITE [HOST] [PORT] [CERT KEY]     (127.0.0.1 8080)
//
// Only files inside SITE are served, with the types browsers insist on
// (application/wasm lets the program compile while it downloads). Browsers
// ask again for every file each time (no-cache) and get "not modified" when
// it is the same, so a rebuilt site shows on the next reload and the service
// worker, filling its cache after the first visit, downloads nothing twice.
// With a certificate and its key (PEM files) it serves HTTPS: phones install
// the site as an app and let it work offline only from a secure origin.
'use strict';

const fs = require('fs');
const http = require('http');
const https = require('https');
const os = require('os');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
};

// Starts serving `site` (over HTTPS when `tls` holds {cert, key}); resolves
// to {server, url} once listening.
function serve(site, host = '127.0.0.1', port = 0, tls = null) {
  const root = path.resolve(site);
  const handle = (req, res) => {
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
      const tag = `"${st.size.toString(16)}-${Math.floor(st.mtimeMs).toString(16)}"`;
      const headers = {'Cache-Control': 'no-cache', 'ETag': tag, 'Last-Modified': st.mtime.toUTCString()};
      if (req.headers['if-none-match'] === tag) {
        res.writeHead(304, headers).end();
        return;
      }
      res.writeHead(200, {
        ...headers,
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Content-Length': st.size,
      });
      if (req.method === 'HEAD') res.end();
      else fs.createReadStream(file).pipe(res);
    });
  };
  const server = tls ? https.createServer(tls, handle) : http.createServer(handle);
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => {
      const a = server.address();
      const shown = a.family === 'IPv6' ? `[${a.address}]` : a.address;
      resolve({server, url: `${tls ? 'https' : 'http'}://${shown}:${a.port}/`});
    });
  });
}

// The addresses other machines reach this one at, for a server listening on
// every interface.
function networkAddresses() {
  return Object.values(os.networkInterfaces()).flat()
    .filter((i) => i && !i.internal && i.family === 'IPv4').map((i) => i.address);
}

module.exports = {serve};

if (require.main === module) {
  const [site, host = '127.0.0.1', port = '8080', cert = '', key = ''] = process.argv.slice(2);
  if (!site || !/^\d+$/.test(port) || +port > 65535 || !cert !== !key || process.argv.length > 7) {
    console.error('usage: web-serve.js SITE [HOST] [PORT] [CERT KEY]');
    process.exit(64);
  }
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    console.error(`web-serve: no site in ${site} (make web builds it)`);
    process.exit(66);
  }
  let tls = null;
  if (cert) {
    try {
      tls = {cert: fs.readFileSync(cert), key: fs.readFileSync(key)};
      require('tls').createSecureContext(tls);  // a key that is not the certificate's is said here
    } catch (err) {
      console.error(`web-serve: the certificate or its key cannot be used: ${err.message}`);
      process.exit(66);
    }
  }
  serve(site, host, +port, tls).then(({url}) => {
    console.log(`Serving ${site} on ${url} (Ctrl-C stops)`);
    if (host === '0.0.0.0' || host === '::') {
      const scheme = tls ? 'https' : 'http';
      for (const a of networkAddresses()) console.log(`  from this network: ${scheme}://${a}:${port}/`);
      if (!tls) console.log('  (plain HTTP: phones run her but neither install her nor keep her offline; see the README)');
    }
  }, (err) => {
    console.error(`web-serve: cannot listen on ${host}:${port}: ${err.message}`);
    process.exit(69);
  });
}
