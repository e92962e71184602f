// The page itself: the loading screen and its progress, her 2:3 view at the
// device's pixels on a phone and letterboxed on a wide window, the 30 Hz
// loop running, and the message where WebGL is missing.
'use strict';

const {assert, start, openPage, waitForTick, run} = require('./browser.js');

// Where the canvas sits and how many pixels it has, once the program ticked.
async function layoutAfterLoad(page) {
  await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
  await waitForTick(page, (t) => t.tick >= 10, 'ten ticks');
  return page.evaluate(() => {
    const c = document.getElementById('canvas').getBoundingClientRect();
    return {
      x: c.x, y: c.y, w: c.width, h: c.height,
      pw: document.getElementById('canvas').width, ph: document.getElementById('canvas').height,
      bar: document.querySelector('#bar div').style.width,
      problem: getComputedStyle(document.getElementById('problem')).display,
    };
  });
}

(async () => {
  const env = await start();
  const noGL = await start(['--disable-3d-apis']);
  await run([
    ['a phone, 375 x 667 at two pixels a point: full width, 2:3, device pixels', async () => {
      const page = await openPage(env, {width: 375, height: 667, scale: 2, query: '?trace'});
      const l = await layoutAfterLoad(page);
      assert.equal(l.bar, '100%', 'the progress bar reached its end');
      assert.equal(l.problem, 'none');
      assert.deepEqual([l.x, l.w, l.h], [0, 375, 562.5]);
      assert.ok(Math.abs(l.y - (667 - 562.5) / 2) < 0.01, `centred vertically (${l.y})`);
      assert.deepEqual([l.pw, l.ph], [750, 1125]);
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
    ['a landscape window, 1280 x 800: letterboxed, full height', async () => {
      const page = await openPage(env, {width: 1280, height: 800, query: '?trace'});
      const l = await layoutAfterLoad(page);
      assert.ok(Math.abs(l.w - 800 * 2 / 3) < 0.01 && l.h === 800, `${l.w} x ${l.h}`);
      assert.ok(Math.abs(l.x - (1280 - l.w) / 2) < 0.01, `centred (${l.x})`);
      assert.deepEqual([l.pw, l.ph], [533, 800]);
      // Turning the window round gives the phone's layout again.
      await page.setViewport({width: 400, height: 900});
      const c = await page.evaluate(() => [document.getElementById('canvas').width, document.getElementById('canvas').height]);
      assert.deepEqual(c, [400, 600]);
      await page.close();
    }],
    ['without WebGL the page says so and loads nothing more', async () => {
      const page = await noGL.browser.newPage();
      const requested = [];
      page.on('request', (r) => requested.push(new URL(r.url()).pathname));
      await page.goto(noGL.url, {waitUntil: 'load'});
      const shown = await page.evaluate(() => ({
        problem: getComputedStyle(document.getElementById('problem')).display,
        text: document.getElementById('problem-text').textContent,
        loading: getComputedStyle(document.getElementById('loading')).display,
      }));
      assert.equal(shown.problem, 'flex');
      assert.equal(shown.loading, 'none');
      assert.match(shown.text, /WebGL/);
      assert.ok(!requested.some((p) => p.endsWith('.js') && p !== '/page.js'), requested.join(' '));
      await page.close();
    }],
  ]);
  await env.close();
  await noGL.close();
})();
