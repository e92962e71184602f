// ?trace: the page writes the trace of ovanta-headless, one object a console
// line, and keeps the lines in window.ovantaTrace; without it, nothing.
// ovanta-headless of the native build is the oracle for the format and for
// the greeting: the same line, at the same tick, from the packed bundle.
'use strict';

const {execFileSync} = require('child_process');
const path = require('path');
const {assert, start, openPage, waitForTick, trace, run} = require('./browser.js');

const HEADLESS = path.join(process.env.OVANTA_BUILD || path.join(__dirname, '..', '..', 'build'), 'ovanta-headless');

function headlessTrace(script) {
  const out = execFileSync(HEADLESS, ['--trace', '-', '-'], {input: script, encoding: 'utf8', stdio: ['pipe', 'pipe', 'ignore']});
  return out.trim().split('\n').map((l) => JSON.parse(l));
}

(async () => {
  const env = await start();
  const native = headlessTrace('tick 60\n');
  const nativeTicks = native.filter((o) => o.event === undefined);
  const nativeGreeting = native.find((o) => o.event === 'sound');
  assert.ok(nativeGreeting, 'the native run greets');

  await run([
    ['?trace: one object a console line, ticks in order, the fields of ovanta-headless', async () => {
      const page = await openPage(env, {query: '?trace'});
      await waitForTick(page, (t) => t.tick >= 60, 'sixty ticks');
      const lines = await page.evaluate(() => window.ovantaTrace.slice());
      const objects = lines.map((l) => JSON.parse(l));
      for (const l of lines) assert.ok(page.consoleLines.includes(l), `on the console: ${l}`);
      const ticks = objects.filter((o) => o.event === undefined);
      ticks.forEach((t, i) => assert.equal(t.tick, i + 1));
      assert.deepEqual(Object.keys(ticks[0]), Object.keys(nativeTicks[0]));
      // The greeting: the same voice line at the same tick, and Web Audio
      // plays it to its end.
      const greeting = objects.find((o) => o.event === 'sound');
      assert.deepEqual(greeting, nativeGreeting);
      assert.equal(ticks[greeting.tick - 1].sound_is_played, true);
      await waitForTick(page, (t) => t.tick > greeting.tick && !t.sound_is_played, 'the greeting to end');
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
    ['no ?trace, no trace', async () => {
      const page = await openPage(env);
      await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
      await new Promise((r) => setTimeout(r, 500));
      assert.deepEqual(await trace(page), []);
      assert.ok(!page.consoleLines.some((l) => l.startsWith('{')), page.consoleLines.join('\n'));
      await page.close();
    }],
  ]);
  await env.close();
})();
