#!/usr/bin/env node
// Size and speed of the web build, printed against their goals (measured,
// never asserted):
//   - the site compressed: gzip -9 of every file, the total under 8 MB;
//   - in headless chromium here, at 320 x 480 and one pixel a point: ticks a
//     second of wall time over 10 s (goal at least 28), and the time from
//     navigation to the first frame (goal at most 3 s).
//
//   NODE_PATH=build-web/node/node_modules node scripts/web-measure.js [SITE]
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const site = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build-web', 'site'));
process.env.OVANTA_SITE = site;
const {start, openPage} = require('../tests/web/browser.js');

const MB = 1024 * 1024;

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
    rows.push(`  ${name.padEnd(20)} ${(data.length / MB).toFixed(2).padStart(7)} MB  gzip ${(gz / MB).toFixed(2).padStart(6)} MB`);
  }
  return {raw, packed, rows};
}

(async () => {
  const size = siteSize();
  console.log(`site ${site}`);
  size.rows.forEach((r) => console.log(r));
  console.log(`size: ${(size.packed / MB).toFixed(2)} MB compressed (${(size.raw / MB).toFixed(2)} MB raw); ` +
              `goal under 8 MB: ratio ${(size.packed / (8 * MB)).toFixed(2)}`);

  const env = await start();
  try {
    const page = await openPage(env, {width: 320, height: 480, query: '?trace'});
    await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
    const first = await page.evaluate(() => window.ovantaFirstFrameMs);
    console.log(`first frame: ${(first / 1000).toFixed(2)} s after navigation; goal at most 3 s: ratio ${(first / 3000).toFixed(2)}`);
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
