// The page draws her and takes input as a phone and a desktop give it:
//   - at 320 x 480, one pixel a point, the frame of tick 150 is the native
//     es2 frame of ovanta-headless at that tick (two rasterisers: a few
//     edge pixels differ);
//   - on a phone (375 x 667, two pixels a point, touch screen): the loading
//     screen reaches its end, the canvas fills the width at 2:3 in device
//     pixels, a tap on her is picked and answered with the line a tap gets
//     natively, the dance button starts the dance;
//   - on a landscape desktop window (1280 x 800): letterboxed at full
//     height, a mouse click on her answers, turning the window round lays
//     the canvas out again;
//   - without WebGL the page says so and loads nothing more;
//   - a browser speaking Russian: her first start meets the user in Russian.
// The pictures go to build/web-shots.
'use strict';

const fs = require('fs');
const {assert, start, openPage, waitForTick, lastTick, trace, run, captureAtTick, compareFrames, viewToPage, shotPath,
       native, freshStore} = require('./browser.js');

const HER = [160, 200];          // view points on her body
const DANCE_BUTTON = [160, 440];  // the middle button of the main screen

async function layout(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const c = canvas.getBoundingClientRect();
    return {
      x: c.x, y: c.y, w: c.width, h: c.height, pw: canvas.width, ph: canvas.height,
      bar: document.querySelector('#bar div').style.width,
      loading: getComputedStyle(document.getElementById('loading')).display,
      problem: getComputedStyle(document.getElementById('problem')).display,
    };
  });
}

// Events after tick `from` up to the first tick object satisfying `pred`.
async function eventsUntil(page, from, pred, what) {
  const t = await waitForTick(page, (o) => o.tick > from && pred(o), what, 20000);
  return {tick: t, events: (await trace(page)).filter((o) => o.event && o.tick > from && o.tick <= t.tick)};
}

(async () => {
  const env = await start();
  const noGL = await start(['--disable-3d-apis']);
  // The oracle: a tap on her, then the dance button, natively.
  const nat = native(`tick 100\ntap ${HER.join(' ')}\ntick 10\npress danceButton\ntick 2\n`);
  const natTapLine = nat.find((o) => o.event === 'sound' && o.tick > 100);
  const natDance = nat.filter((o) => o.event === undefined).pop();
  assert.ok(natTapLine && natDance.continue_dancing === 1, 'the native run answers the tap and dances');

  await run([
    ['320 x 480: the frame is the native es2 frame', async () => {
      const page = await openPage(env, {query: '?trace', before: (p) => captureAtTick(p, 150)});
      await page.waitForFunction(() => window.ovantaShot, {timeout: 60000});
      const web = Buffer.from((await page.evaluate(() => window.ovantaShot)).split(',')[1], 'base64');
      const ref = shotPath('native-es2-tick150.png');
      // A first load, as the page's: her first-meeting line is on screen.
      native(`tick 150\nshot ${ref}\n`, ['--gl', 'es2', '--defaults', freshStore()]);
      fs.writeFileSync(shotPath('web-tick150.png'), web);
      const d = await compareFrames(page, web, fs.readFileSync(ref));
      assert.ok(d.off <= 0.01 && d.mean < 1.5, `differs from the native frame: ${JSON.stringify(d)}`);
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
    ['a phone: layout, a tap on her, the dance button', async () => {
      const page = await openPage(env, {width: 375, height: 667, scale: 2, touch: true, query: '?trace'});
      await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
      const idle = await waitForTick(page, (t) => t.tick >= 100 && !t.sound_is_played, 'the greeting to end');
      const l = await layout(page);
      assert.equal(l.bar, '100%', 'the progress bar reached its end');
      assert.equal(l.problem, 'none');
      assert.deepEqual([l.x, l.w], [0, 375]);
      assert.ok(Math.abs(l.h - 562.5) <= 0.5 && Math.abs(l.y - (667 - l.h) / 2) <= 0.5, `2:3, centred: ${JSON.stringify(l)}`);
      assert.deepEqual([l.pw, l.ph], [750, 1125]);

      const her = await viewToPage(page, ...HER);
      await page.touchscreen.tap(her.x, her.y);
      const tapped = await eventsUntil(page, idle.tick, (o) => o.sound_is_played, 'the answer to the tap');
      const pick = tapped.events.find((e) => e.event === 'pick');
      assert.ok(pick && pick.hit, `picked her: ${JSON.stringify(tapped.events)}`);
      const line = tapped.events.find((e) => e.event === 'sound');
      assert.ok(line && line.slot === natTapLine.slot, `the tap's line: ${JSON.stringify(line)} (native ${JSON.stringify(natTapLine)})`);
      await page.screenshot({path: shotPath('web-phone-tap.png')});

      const button = await viewToPage(page, ...DANCE_BUTTON);
      await page.touchscreen.tap(button.x, button.y);
      const dancing = await waitForTick(page, (t) => t.tick > tapped.tick.tick && t.continue_dancing === 1, 'the dance');
      assert.equal(dancing.state, natDance.state);
      await waitForTick(page, (t) => t.tick >= dancing.tick + 30, 'a second of dancing');
      await page.screenshot({path: shotPath('web-phone-dance.png')});
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
    ['a landscape window: letterboxed, the mouse, turned round', async () => {
      const page = await openPage(env, {width: 1280, height: 800, query: '?trace'});
      const idle = await waitForTick(page, (t) => t.tick >= 100 && !t.sound_is_played, 'the greeting to end');
      const l = await layout(page);
      assert.ok(Math.abs(l.w - 800 * 2 / 3) <= 0.5 && l.h === 800, `${l.w} x ${l.h}`);
      assert.ok(Math.abs(l.x - (1280 - l.w) / 2) <= 0.5, `centred (${l.x})`);
      assert.deepEqual([l.pw, l.ph], [533, 800]);
      const her = await viewToPage(page, ...HER);
      await page.mouse.click(her.x, her.y);
      const tapped = await eventsUntil(page, idle.tick, (o) => o.sound_is_played, 'the answer to the click');
      assert.ok(tapped.events.some((e) => e.event === 'pick' && e.hit), JSON.stringify(tapped.events));
      await page.screenshot({path: shotPath('web-landscape.png')});
      await page.setViewport({width: 400, height: 900});
      const resized = await lastTick(page);
      await waitForTick(page, (t) => t.tick >= resized + 5, 'ticks after the resize');
      const turned = await layout(page);
      assert.deepEqual([turned.x, turned.w, turned.h, turned.pw, turned.ph], [0, 400, 600, 400, 600]);
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
    ['without WebGL the page says so and loads nothing more', async () => {
      const page = await noGL.browser.newPage();
      const requested = [];
      page.on('request', (r) => requested.push(new URL(r.url()).pathname));
      await page.goto(noGL.url, {waitUntil: 'load'});
      const l = await layout(page);
      assert.equal(l.problem, 'flex');
      assert.equal(l.loading, 'none');
      assert.match(await page.evaluate(() => document.getElementById('problem-text').textContent), /WebGL/);
      assert.ok(!requested.some((p) => p.endsWith('.js') && p !== '/page.js'), requested.join(' '));
      await page.close();
    }],
    ['a browser in Russian: her first meeting is in Russian', async () => {
      // Headless chromium reports en-US whatever it is told: the page is
      // given a Russian browser's languages before it loads.
      const ru = await start();
      const russian = (p) => p.evaluateOnNewDocument(() => {
        Object.defineProperty(navigator, 'languages', {get: () => ['ru-RU', 'ru', 'en-US']});
        Object.defineProperty(navigator, 'language', {get: () => 'ru-RU'});
      });
      const page = await openPage(ru, {query: '?trace', before: russian});
      await waitForTick(page, (t) => t.tick >= 5, 'the greeting');
      const objects = await trace(page);
      assert.equal(objects.find((o) => o.event === undefined).n_sound_set, 1);
      assert.equal(objects.find((o) => o.event === 'sound').file, 'r_hello');
      await page.close();
      await ru.close();
    }],
  ]);
  await env.close();
  await noGL.close();
})();
