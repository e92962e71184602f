// The web tests' kit: the site served from 127.0.0.1, Debian's chromium
// started headless with its software WebGL in a fresh profile, driven with
// puppeteer-core (never a downloaded browser), and a few waits on the page.
//
// Environment: OVANTA_SITE (the site folder, default build-web/site of the
// source tree); CHROMIUM (default /usr/bin/chromium). puppeteer-core comes
// from NODE_PATH (build-web/node/node_modules, which scripts/web-deps.sh fills).
'use strict';

const assert = require('assert');
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {serve} = require('../../scripts/web-serve.js');

let puppeteer;
try {
  puppeteer = require('puppeteer-core');
} catch (e) {
  console.error('puppeteer-core is missing: run scripts/web-deps.sh build-web and set NODE_PATH=build-web/node/node_modules');
  process.exit(1);
}

const SITE = process.env.OVANTA_SITE || path.join(__dirname, '..', '..', 'build-web', 'site');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// Starts the server of `root` (the site unless given) and a browser;
// `extraArgs` go to chromium as well. offline() stops the server (nothing
// answers any more), online() starts it again at the same address;
// restart(args) starts the browser again on the same profile (as a phone
// opens an installed app again), `args` added.
async function start(extraArgs = [], root = SITE) {
  if (!fs.existsSync(path.join(SITE, 'index.html'))) throw new Error(`no site in ${SITE}: run make web`);
  let {server, url} = await serve(root);
  const port = server.address().port;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ovanta-chromium-'));
  const launch = (args) => puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    args: [
      '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--autoplay-policy=no-user-gesture-required', ...extraArgs, ...args,
    ],
  });
  let browser = await launch([]);
  return {
    url,
    get browser() { return browser; },
    async restart(args) {
      await browser.close();
      browser = await launch(args);
    },
    async offline() {
      server.closeAllConnections();
      await new Promise((resolve) => server.close(resolve));
    },
    async online() {
      server = (await serve(root, '127.0.0.1', port)).server;
    },
    async close() {
      await browser.close().catch(() => {});
      server.close();
      fs.rmSync(profile, {recursive: true, force: true});
    },
  };
}

// A new page of `width` x `height` CSS pixels at `scale` device pixels each
// (`touch`: a phone's touch screen), with the console and page errors
// collected; `before(page)` runs before it navigates. `page` instead of a
// new one: a page already open, set up the same way and loaded again.
async function openPage(env, {width = 320, height = 480, scale = 1, query = '', touch = false, before, page} = {}) {
  const reload = !!page;
  if (!page) page = await env.browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: scale, hasTouch: touch, isMobile: touch});
  if (before) await before(page);
  page.consoleLines = [];
  page.errors = [];
  page.on('console', (m) => page.consoleLines.push(m.text()));
  page.on('pageerror', (e) => page.errors.push(String(e)));
  if (reload) await page.reload({waitUntil: 'load'});
  else await page.goto(env.url + query, {waitUntil: 'load'});
  return page;
}

// Waits until the trace holds a tick object satisfying `pred`; returns it.
async function waitForTick(page, pred, what, timeout = 60000) {
  const deadline = Date.now() + timeout;
  let seen = 0;
  for (;;) {
    const lines = await page.evaluate((from) => window.ovantaTrace.slice(from), seen);
    for (const line of lines) {
      const o = JSON.parse(line);
      if (o.event === undefined && pred(o)) return o;
    }
    seen += lines.length;
    if (page.errors.length) throw new Error(`page error while waiting for ${what}: ${page.errors[0]}`);
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what} (${seen} trace lines)`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Keeps the canvas's frame of tick `tick` as a PNG data URL in
// window.ovantaShot: the trace line of a tick is written after the tick drew,
// so the canvas holds that frame while the line is pushed. Call before
// navigating.
async function captureAtTick(page, tick) {
  await page.evaluateOnNewDocument((n) => {
    Object.defineProperty(window, 'ovantaTrace', {configurable: true, set(lines) {
      const push = lines.push;
      lines.push = function (line) {
        const r = push.call(this, line);
        if (!window.ovantaShot && !line.includes('"event"') && JSON.parse(line).tick === n)
          window.ovantaShot = document.getElementById('canvas').toDataURL('image/png');
        return r;
      };
      Object.defineProperty(window, 'ovantaTrace', {value: lines, writable: true, configurable: true});
    }});
  }, tick);
}

// Compares two PNGs (buffers) in the page: the share of pixels whose largest
// channel difference exceeds `level`, and the mean channel difference.
async function compareFrames(page, a, b, level = 8) {
  const url = (buf) => 'data:image/png;base64,' + buf.toString('base64');
  return page.evaluate(async (a, b, level) => {
    const pixels = (src) => new Promise((resolve, reject) => {
      const img = new Image();
      img.onload = () => {
        const c = document.createElement('canvas');
        c.width = img.width;
        c.height = img.height;
        const g = c.getContext('2d');
        g.drawImage(img, 0, 0);
        resolve(g.getImageData(0, 0, img.width, img.height));
      };
      img.onerror = reject;
      img.src = src;
    });
    const [A, B] = [await pixels(a), await pixels(b)];
    if (A.width !== B.width || A.height !== B.height) return {size: [A.width, A.height, B.width, B.height]};
    let off = 0, sum = 0;
    for (let i = 0; i < A.data.length; i += 4) {
      let most = 0;
      for (let k = 0; k < 3; ++k) {
        const d = Math.abs(A.data[i + k] - B.data[i + k]);
        most = Math.max(most, d);
        sum += d;
      }
      if (most > level) ++off;
    }
    const n = A.width * A.height;
    return {off: off / n, mean: sum / (3 * n)};
  }, url(a), url(b), level);
}

// A view point (320 x 480 points, y from the top) in the page's CSS pixels,
// through where the canvas is.
async function viewToPage(page, x, y) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('canvas').getBoundingClientRect();
    return {x: b.x, y: b.y, w: b.width, h: b.height};
  });
  return {x: r.x + (x / 320) * r.w, y: r.y + (y / 480) * r.h};
}

// ovanta-headless of the native build, the oracle: runs `script` and returns
// its trace as objects (`args` before the script).
const HEADLESS = path.join(process.env.OVANTA_BUILD || path.join(__dirname, '..', '..', 'build'), 'ovanta-headless');
function native(script, args = []) {
  const out = execFileSync(HEADLESS, [...args, '--trace', '-', '-'], {input: script, encoding: 'utf8', stdio: ['pipe', 'pipe', 'ignore']});
  return out.trim().split('\n').map((l) => JSON.parse(l));
}

// A settings file that does not exist yet, for a native run that stands for
// a page's first load (nothing in local storage): her first start.
function freshStore() {
  return path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'ovanta-store-')), 'defaults.json');
}

// Where the web tests leave the pictures they took, to be looked at.
function shotPath(name) {
  const dir = path.join(process.env.OVANTA_BUILD || path.join(__dirname, '..', '..', 'build'), 'web-shots');
  fs.mkdirSync(dir, {recursive: true});
  return path.join(dir, name);
}

// The trace as objects.
async function trace(page) {
  return (await page.evaluate(() => window.ovantaTrace)).map((l) => JSON.parse(l));
}

// The number of the page's latest tick (ticks count from 1 without gaps).
async function lastTick(page) {
  return page.evaluate(() => window.ovantaTrace.filter((l) => !l.includes('"event"')).length);
}

// Runs the named async test cases in order; exits non-zero on the first failure.
async function run(cases) {
  for (const [name, fn] of cases) {
    const t0 = Date.now();
    try {
      await fn();
    } catch (e) {
      console.error(`FAIL ${name}: ${e.stack || e}`);
      process.exit(1);
    }
    console.log(`ok ${name} (${Date.now() - t0} ms)`);
  }
}

module.exports = {assert, start, openPage, waitForTick, trace, lastTick, run, captureAtTick, compareFrames, viewToPage,
                  shotPath, native, freshStore, SITE};
