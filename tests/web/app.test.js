// The app behind the page, held to ovanta-headless of the native build:
//   - ?trace writes its trace, one object a console line, the same fields,
//     the same greeting at the same tick; without ?trace nothing;
//   - devicemotion events as a phone sends them (m/s^2, gravity included):
//     upright and flat keep her still, a jerk upside down plays the shake
//     clip and its line;
//   - a setting changed on the settings screen with taps, and her name typed
//     on the on-screen keyboard a tap on the name field opens, survive
//     reloads and match what the same choices give natively; a damaged copy in
//     local storage is kept aside and the defaults apply;
//   - a character's file picked on the settings screen (our own VRM export)
//     is imported, shown and kept (its folder in IndexedDB, the choice in
//     local storage) over a reload.
'use strict';

const {assert, start, openPage, waitForTick, trace, lastTick, run, viewToPage, shotPath, native, freshStore} =
    require('./browser.js');

const KEY = 'ovanta.settings';
const ANIM_SHAKE = 2;
// Places on the screens, in view points (see build/web-shots/web-settings.png).
const OPTIONS_BUTTON = [40, 440], SETTINGS_BUTTON = [160, 440];
const OUTFIT = [85, 187], OUTFIT_THIRD = [236, 267], DONE = [160, 443];
const NAME_END = [296, 77];  // the name field, right of any text
const CHARACTER = [86, 135], ADD_CHARACTER = [160, 406];
const EXPORT = require('path').join(process.env.OVANTA_BUILD || 'build', 'vrm', 'ovanta-0.x.vrm');
const DANCE = require('path').join(process.env.OVANTA_BUILD || 'build', 'vrm', 'ovanta-dance.vrma');

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

async function tapView(page, [x, y]) {
  const p = await viewToPage(page, x, y);
  await page.touchscreen.tap(p.x, p.y);
}

const choices = (t) => ({name: t.name, n_clothes: t.n_clothes, n_hair: t.n_hair, n_skin: t.n_skin,
                         n_sound_set: t.n_sound_set});

(async () => {
  const env = await start();
  // The page's first load is her first start: so is the native run.
  const nat = native('tick 60\npress optionsButton\ntick 30\npress settingsButton\ntick 30\npress opSetting\n' +
                     'tick 5\npress opButton2\ntick 5\npress doneButton\ntick 30\n', ['--defaults', freshStore()]);
  const natTicks = nat.filter((o) => o.event === undefined);
  const natGreeting = nat.find((o) => o.event === 'sound');
  const natChosen = natTicks[natTicks.length - 1];
  assert.ok(natGreeting && natChosen.n_clothes !== natTicks[0].n_clothes, 'the native run greets and changes the outfit');

  await run([
    ['?trace, a jerk, a setting through the screen and reloads', async () => {
      const page = await openPage(env, {touch: true, query: '?trace'});
      // The trace: the fields of ovanta-headless, the same greeting.
      await waitForTick(page, (t) => t.tick >= 60, 'sixty ticks');
      const lines = await page.evaluate(() => window.ovantaTrace.slice());
      for (const l of lines) assert.ok(page.consoleLines.includes(l), `on the console: ${l}`);
      let objects = lines.map((l) => JSON.parse(l));
      const ticks = objects.filter((o) => o.event === undefined);
      ticks.forEach((t, i) => assert.equal(t.tick, i + 1));
      assert.deepEqual(Object.keys(ticks[0]), Object.keys(natTicks[0]));
      assert.deepEqual(objects.find((o) => o.event === 'sound'), natGreeting);

      // Upright, flat: still. Upside down with a jerk: the shake.
      await hold(page, 0, 9.81, 0);
      let t = await waitForTick(page, (o) => o.tick >= 100, 'upright');
      await hold(page, 0, 0, 9.81);
      t = await waitForTick(page, (o) => o.tick >= t.tick + 30, 'flat');
      objects = await trace(page);
      assert.ok(objects.every((o) => o.state !== ANIM_SHAKE), 'no shake while upright or flat');
      // Upright long enough for the slow average to settle there again.
      await hold(page, 0, 9.81, 0);
      t = await waitForTick(page, (o) => o.tick >= t.tick + 60, 'upright again');
      await hold(page, 0, -9.81, 0);
      const shaken = await waitForTick(page, (o) => o.state === ANIM_SHAKE, 'the shake clip', 30000);
      assert.ok(shaken.tick - t.tick < 30, `within a second of the jerk (${shaken.tick - t.tick} ticks)`);
      const natShake = native('tick 120\naccel 0 1 0\ntick 20\n').filter((o) => o.event === 'sound' && o.tick > 120);
      assert.ok(natShake.length, 'natively too');
      objects = await trace(page);
      assert.ok(objects.some((o) => o.event === 'sound' && o.slot === natShake[0].slot && o.tick >= t.tick),
                'the shake line starts');
      await hold(page, 0, 9.81, 0);

      // The outfit: the options, the settings button, the outfit's picker,
      // its third choice, Done (which saves).
      const steps = [[OPTIONS_BUTTON, (o) => o.buttons.includes('settingsButton')],
                     [SETTINGS_BUTTON, (o) => o.buttons.includes('doneButton')],
                     [OUTFIT, (o) => o.buttons.includes('opButton2')],
                     [OUTFIT_THIRD, () => true]];  // chosen; it counts with Done
      for (const [where, shown] of steps) {
        await waitForTick(page, (o) => o.tick > t.tick + 15 && o.state !== ANIM_SHAKE, 'a still moment');
        await tapView(page, where);
        const before = t.tick;
        t = await waitForTick(page, (o) => o.tick > before && shown(o), `the screen after a tap at ${where}`);
      }
      await page.screenshot({path: shotPath('web-settings.png')});
      // The name: a tap on its field brings up the keyboard, which types
      // without key events of its own as phones' keyboards do.
      const focused = () => page.evaluate(() => document.activeElement && document.activeElement.id);
      await tapView(page, NAME_END);
      assert.equal(await focused(), 'keyboard');
      const tapped = await lastTick(page);
      await waitForTick(page, (o) => o.tick > tapped + 2, 'the field taking the tap');
      await page.keyboard.sendCharacter('Аня');
      const typed = await lastTick(page);
      await waitForTick(page, (o) => o.tick > typed + 2, 'ticks after typing');
      await tapView(page, DONE);
      const done = t.tick;
      t = await waitForTick(page, (o) => o.tick > done && o.buttons.includes('optionsButton'), 'the main screen again');
      const wanted = {...choices(natChosen), name: natChosen.name + 'Аня'};
      assert.deepEqual(choices(t), wanted);
      assert.notEqual(await focused(), 'keyboard', 'the keyboard goes when the edit ends');
      await page.evaluate(() => clearInterval(window.motionTimer));

      for (let i = 0; i < 2; ++i) {
        await page.reload({waitUntil: 'load'});
        const first = await waitForTick(page, (o) => o.tick >= 1, 'the first tick after a reload');
        assert.deepEqual(choices(first), wanted);
      }
      assert.deepEqual(page.errors, []);

      // A damaged copy, and no ?trace: the defaults, nothing traced.
      await page.evaluate((k) => localStorage.setItem(k, '{"Ovanta_name": "Ha'), KEY);
      await page.goto('about:blank');  // the traced page's last lines are in before the count starts
      page.consoleLines.length = 0;
      await page.goto(env.url, {waitUntil: 'load'});
      await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
      const keys = await page.evaluate(() => Object.keys(localStorage).map((k) => [k, localStorage.getItem(k)]));
      assert.ok(!keys.some(([k]) => k === KEY), 'the damaged copy left the key');
      const aside = keys.filter(([k]) => k.startsWith(KEY + '.damaged-'));
      assert.equal(aside.length, 1, JSON.stringify(keys));
      assert.equal(aside[0][1], '{"Ovanta_name": "Ha');
      assert.ok(page.consoleLines.some((l) => /damaged/.test(l)), 'one message says so');
      assert.deepEqual(await trace(page), []);
      assert.ok(!page.consoleLines.some((l) => l.startsWith('{')), 'no trace on the console');
      await page.close();
    }],
    ['a character and a dance picked on the settings screen, kept over a reload', async () => {
      const page = await openPage(env, {touch: true, query: '?trace'});
      let t = await waitForTick(page, (o) => o.tick >= 5, 'five ticks');
      const steps = [[OPTIONS_BUTTON, (o) => o.buttons.includes('settingsButton')],
                     [SETTINGS_BUTTON, (o) => o.buttons.includes('opCharacter')],
                     [CHARACTER, (o) => o.buttons.includes('addCharacter')]];
      for (const [where, shown] of steps) {
        await tapView(page, where);
        const before = t.tick;
        // A second on: a busy page draws fewer frames than it ticks, and a
        // screen still sliding in is not where the next tap goes.
        t = await waitForTick(page, (o) => o.tick > before + 30 && shown(o), `the screen after a tap at ${where}`);
      }
      await page.screenshot({path: shotPath('web-character-list.png')});
      const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 30000}), tapView(page, ADD_CHARACTER)]);
      await chooser.accept([EXPORT]);
      await page.waitForFunction(() => Module.ovantaCharactersKept >= 1, {timeout: 120000});
      t = await waitForTick(page, (o) => o.buttons.includes('remove1'), 'the character in the list');
      const said = page.consoleLines.map((l) => / is character ([0-9a-f]{16})/.exec(l)).find((m) => m);
      assert.ok(said, 'the import names the character');
      await page.screenshot({path: shotPath('web-characters.png')});
      // A dance through the same picker: added, kept and chosen.
      const [again] = await Promise.all([page.waitForFileChooser({timeout: 30000}), tapView(page, ADD_CHARACTER)]);
      await again.accept([DANCE]);
      await page.waitForFunction(() => Module.ovantaCharactersKept >= 2, {timeout: 120000});
      const danced = page.consoleLines.map((l) => / is dance ([0-9a-f]{16})/.exec(l)).find((m) => m);
      assert.ok(danced, 'the import names the dance');
      await waitForTick(page, (o) => o.dance === danced[1], 'the dance chosen');
      await page.reload({waitUntil: 'load'});
      await waitForTick(page, (o) => o.tick >= 3, 'ticks after the reload');
      const shown = (await trace(page)).filter((o) => o.event === 'character');
      assert.deepEqual(shown.map((o) => [o.tick, o.id]), [[1, said[1]]], 'shown from the first tick');
      assert.equal((await trace(page)).find((o) => o.tick === 1 && o.state !== undefined).dance, danced[1]);
      assert.deepEqual(page.errors, []);
      await page.close();
    }],
  ]);
  await env.close();
})();
