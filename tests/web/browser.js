// The web tests' kit: the site served from 127.0.0.1, Debian's chromium
// started headless with its software WebGL in a fresh profile, driven with
// puppeteer-core (never a downloaded browser), and a few waits on the page.
//
// Environment: OVANTA_SITE (the site folder, default build-web/site of the
// source tree); CHROMIUM (default /usr/bin/chromium). puppeteer-core comes
// from NODE_PATH (build-web/node/node_modules, which scripts/web-deps.sh fills).
'use strict';

const assert = require('assert');
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

// Starts the server and a browser; `extraArgs` go to chromium as well.
async function start(extraArgs = []) {
  if (!fs.existsSync(path.join(SITE, 'index.html'))) throw new Error(`no site in ${SITE}: run make web`);
  const {server, url} = await serve(SITE);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ovanta-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    args: [
      '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--autoplay-policy=no-user-gesture-required', ...extraArgs,
    ],
  });
  return {
    url,
    browser,
    async close() {
      await browser.close().catch(() => {});
      server.close();
      fs.rmSync(profile, {recursive: true, force: true});
    },
  };
}

// A new page of `width` x `height` CSS pixels at `scale` device pixels each,
// with the console and page errors collected.
async function openPage(env, {width = 320, height = 480, scale = 1, query = ''} = {}) {
  const page = await env.browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: scale});
  page.consoleLines = [];
  page.errors = [];
  page.on('console', (m) => page.consoleLines.push(m.text()));
  page.on('pageerror', (e) => page.errors.push(String(e)));
  await page.goto(env.url + query, {waitUntil: 'load'});
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

// The trace as objects.
async function trace(page) {
  return (await page.evaluate(() => window.ovantaTrace)).map((l) => JSON.parse(l));
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

module.exports = {assert, start, openPage, waitForTick, trace, run, SITE};
