// devicemotion events, as a phone sends them, move her: acceleration
// including gravity in m/s^2 becomes the app's reading in g. An upright phone
// held still never starts the shake reaction (with the sign wrong it would at
// once), laying it flat does not either, turning it upside down does: the
// shake clip and its voice line.
'use strict';

const {assert, start, openPage, waitForTick, trace, run} = require('./browser.js');

const ANIM_SHAKE = 2;
const SHAKE_SLOT = 3;

// Sends this reading 60 times a second until the next call.
async function hold(page, x, y, z) {
  await page.evaluate((x, y, z) => {
    clearInterval(window.motionTimer);
    const send = () => window.dispatchEvent(new DeviceMotionEvent('devicemotion', {
      accelerationIncludingGravity: {x, y, z}, interval: 16,
    }));
    send();
    window.motionTimer = setInterval(send, 16);
  }, x, y, z);
}

(async () => {
  const env = await start();
  await run([
    ['upright, then flat, then upside down', async () => {
      const page = await openPage(env, {query: '?trace'});
      await waitForTick(page, (t) => t.tick >= 1, 'the first tick');
      await hold(page, 0, 9.81, 0);
      let t = await waitForTick(page, (o) => o.tick >= 45, 'a second and a half upright');
      await hold(page, 0, 0, 9.81);
      t = await waitForTick(page, (o) => o.tick >= t.tick + 45, 'a second and a half flat');
      let objects = await trace(page);
      assert.ok(objects.every((o) => o.state !== ANIM_SHAKE), 'no shake while upright or flat');
      assert.ok(!objects.some((o) => o.event === 'sound' && o.slot === SHAKE_SLOT));
      await hold(page, 0, 9.81, 0);
      t = await waitForTick(page, (o) => o.tick >= t.tick + 45, 'upright again');
      await hold(page, 0, -9.81, 0);
      const shaken = await waitForTick(page, (o) => o.state === ANIM_SHAKE, 'the shake clip', 30000);
      assert.ok(shaken.tick - t.tick < 30, `within a second of the flip (${shaken.tick - t.tick} ticks)`);
      objects = await trace(page);
      assert.ok(objects.some((o) => o.event === 'sound' && o.slot === SHAKE_SLOT && o.tick <= shaken.tick + 1),
                'the shake line starts');
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
  ]);
  await env.close();
})();
