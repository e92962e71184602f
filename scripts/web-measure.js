#!/usr/bin/env node
// Size and speed of the web build, printed against their goals (measured,
// never asserted):
//   - the site compressed: gzip -9 of every file, the total under 8 MB;
//   - in headless chromium here, at 320 x 480 and one pixel a point: the
//     time from navigation to the first frame of a cold first visit (a new
//     browser profile; goal at most 2 s), with where it went, and of a
//     reload with the server gone, from the service worker's copy; then
//     ticks a second of wall time over 10 s (goal at least 28).
//
//   NODE_PATH=build-web/node/node_modules node scripts/web-measure.js [SITE]
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const site = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build-web', 'site'));
process.env.OVANTA_SITE = site;
const {start, openPage} = require('../tests/web/browser.js');

const MB = 1024 * 1024;
const FIRST_FRAME_GOAL_MS = 2000;

function siteSize() {
  let raw = 0, packed = 0;
  const rows = [];
  for (const name of fs.readdirSync(site).sort()) {
    const file = path.join(site, name);
    if (!fs.statSync(file).isFile()) continue;
    const data = fs.readFileSync(file);
    const gz = zlib.gzipSync(data, {level: 9}).length;
    raw += data.length;
    packed += gz;
    rows.push(`  ${name.padEnd(22)} ${(data.length / MB).toFixed(2).padStart(7)} MB  gzip ${(gz / MB).toFixed(2).padStart(6)} MB`);
  }
  return {raw, packed, rows};
}

// Marks of the page's start on its own clock (ms from navigation): its
// script running, the program's runtime ready (main starts), and when each
// file had arrived.
async function markStart(page) {
  await page.evaluateOnNewDocument(() => {
    window.startMarks = {};
    Object.defineProperty(window, 'Module', {configurable: true, set(m) {
      window.startMarks['page script done'] = performance.now();
      m.onRuntimeInitialized = () => { window.startMarks['main starts'] = performance.now(); };
      Object.defineProperty(window, 'Module', {value: m, writable: true, configurable: true});
    }});
  });
}

async function firstFrame(page) {
  await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
  return page.evaluate(() => {
    const marks = {...window.startMarks};
    for (const e of performance.getEntriesByType('resource')) {
      const name = new URL(e.name).pathname.split('/').pop();
      if (/^ovanta/.test(name)) marks[`${name} arrived`] = e.responseEnd;
    }
    marks['first frame'] = window.ovantaFirstFrameMs;
    return marks;
  });
}

function show(what, marks) {
  const first = marks['first frame'];
  console.log(`${what}: first frame ${(first / 1000).toFixed(2)} s after navigation; goal at most ` +
              `${FIRST_FRAME_GOAL_MS / 1000} s: ratio ${(first / FIRST_FRAME_GOAL_MS).toFixed(2)}`);
  for (const [name, ms] of Object.entries(marks).sort((a, b) => a[1] - b[1]))
    console.log(`  ${String(Math.round(ms)).padStart(6)} ms  ${name}`);
}

(async () => {
  const size = siteSize();
  console.log(`site ${site}`);
  size.rows.forEach((r) => console.log(r));
  console.log(`size: ${(size.packed / MB).toFixed(2)} MB compressed (${(size.raw / MB).toFixed(2)} MB raw); ` +
              `goal under 8 MB: ratio ${(size.packed / (8 * MB)).toFixed(2)}`);
  console.log(`machine: load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')} on ${os.cpus().length} cores`);

  const env = await start();
  try {
    const page = await openPage(env, {width: 320, height: 480, query: '?trace', before: markStart});
    show('cold first visit', await firstFrame(page));
    // Once the service worker has the site, the server goes: a reload is
    // what an installed app does offline.
    await page.waitForFunction(() => navigator.serviceWorker.controller, {timeout: 60000});
    await env.offline();
    await page.reload({waitUntil: 'load'});
    show('offline reload', await firstFrame(page));
    // Ticks counted from the trace over 10 s of wall time.
    const rate = await page.evaluate(() => new Promise((resolve) => {
      const n0 = window.ovantaTrace.length, t0 = performance.now();
      const count = () => window.ovantaTrace.slice(n0).filter((l) => !l.includes('"event"')).length;
      setTimeout(() => resolve(count() / ((performance.now() - t0) / 1000)), 10000);
    }));
    console.log(`ticks: ${rate.toFixed(1)} a second over 10 s; goal at least 28: ratio ${(rate / 28).toFixed(2)}`);
    if (page.errors.length) console.log(`page errors: ${page.errors.join('; ')}`);
  } finally {
    await env.close();
  }
})().catch((e) => {
  console.error(`web-measure: ${e.stack || e}`);
  process.exit(1);
});
