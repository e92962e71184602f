// The page's service worker: the whole site kept in one cache per build, so
// the app starts without a network and an installed copy updates cleanly.
//
// The build stamps BUILD (a hash of every file of the site) and FILES (each
// file's address as the page asks for it, and its SHA-256) into this file
// (stamp_site.py). index.html asks for every other file with its own
// content hash in the address (page.js?v=HASH), so an address always means
// the same bytes and a page never mixes two builds' files:
//   - install: fills the cache "ovanta-BUILD" with every file, each checked
//     against its SHA-256 (a server caught between two builds fails it);
//     unchanged files come from the earlier build's cache, the rest from the
//     network. Until it is complete the earlier build stays in charge, and a
//     cut-off install goes on where it stopped the next time.
//   - activate (once no page of the earlier build is open): earlier builds'
//     caches go. Nothing else of the site's storage is touched: settings
//     (local storage) and imported characters (IndexedDB) live on.
//   - fetch: the page itself from the network when it answers in time, so an
//     online visit takes a new build at once (its files, at their new
//     addresses, come from the network until the new build's cache is
//     ready), else from the cache; every file of this build from the cache.
'use strict';

const BUILD = '';
const FILES = [];

const PREFIX = 'ovanta-';
const CACHE = PREFIX + BUILD;
// How long an online visit waits for the page from the network before the
// cached one is shown (a network that is there but barely works).
const NAVIGATION_WAIT_MS = 2500;

const scope = self.registration.scope;
const address = (url) => new URL(url, scope).href;
const cached = new Set(FILES.map(([url]) => address(url)));
const PAGE = address('index.html');

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
}

// The response's bytes when they are the ones wanted, else null.
async function checked(response, sha256) {
  const body = await response.arrayBuffer();
  return hex(await crypto.subtle.digest('SHA-256', body)) === sha256 ? body : null;
}

// One file into the cache: from the cache of an earlier build (the page
// itself differs between builds at the same address), else the network
// (asking the server whether what the browser holds is still current);
// kept only when its bytes are this build's.
async function keep(cache, others, url, sha256) {
  const key = address(url);
  if (await cache.match(key)) return;  // checked when it was put, by an install cut short
  let response, body = null;
  for (const name of others) {
    response = await (await caches.open(name)).match(key);
    if (response && (body = await checked(response, sha256))) break;
  }
  if (!body) {
    response = await fetch(key, {cache: 'no-cache'});
    if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
    body = await checked(response, sha256);
    if (!body) throw new Error(`${url}: not this build's file`);
  }
  await cache.put(key, new Response(body, {headers: {
    'Content-Type': response.headers.get('Content-Type') || 'application/octet-stream',
    'Content-Length': String(body.byteLength),
  }}));
}

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    if (!BUILD || !FILES.length) throw new Error('this service worker was not stamped with its build');
    const cache = await caches.open(CACHE);
    const others = (await caches.keys()).filter((name) => name.startsWith(PREFIX) && name !== CACHE);
    await Promise.all(FILES.map(([url, sha256]) => keep(cache, others, url, sha256)));
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys())
      if (name.startsWith(PREFIX) && name !== CACHE) await caches.delete(name);
    await self.clients.claim();
  })());
});

// The page: the network's when it answers in time with a page, else ours.
async function page(request) {
  const ours = caches.open(CACHE).then((cache) => cache.match(PAGE));
  const network = fetch(request).then((r) => (r.ok ? r : null), () => null);
  const late = new Promise((resolve) => setTimeout(resolve, NAVIGATION_WAIT_MS, null));
  return (await Promise.race([network, late])) || (await ours) || (await network) || fetch(request);
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  const url = new URL(request.url);
  url.hash = '';
  if (request.mode === 'navigate') {
    url.search = '';
    if (url.href === scope || url.href === PAGE) event.respondWith(page(request));
    return;
  }
  if (!cached.has(url.href)) return;
  event.respondWith(caches.open(CACHE).then((cache) => cache.match(url.href)).then((r) => r || fetch(request)));
});
