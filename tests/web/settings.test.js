// The settings in the browser's local storage, all under one key. The
// desktop app is the oracle: settings it saved (through its settings
// screen, in ovanta-headless) put under the key come back on the page as it
// loads and keep coming back across reloads; a damaged copy is kept aside
// under a key of its own and the defaults apply.
'use strict';

const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {assert, start, openPage, waitForTick, run} = require('./browser.js');

const KEY = 'ovanta.settings';
const HEADLESS = path.join(process.env.OVANTA_BUILD || path.join(__dirname, '..', '..', 'build'), 'ovanta-headless');

// A store saved by the desktop app, and the choices its last tick shows.
function desktopStore() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ovanta-web-settings-'));
  try {
    const file = path.join(dir, 'defaults.json');
    const script = 'tick 2\naction menuView\naction settingsView\ntick 2\nname Zoë Lee\n' +
                   'action onSetting\naction onButton3\naction onHairColor\naction onButton2\n' +
                   'action onLanguage\naction onButton1\naction backToMainView\ntick 2\n';
    const out = execFileSync(HEADLESS, ['--defaults', file, '--trace', '-', '-'], {input: script, encoding: 'utf8', stdio: ['pipe', 'pipe', 'ignore']});
    const ticks = out.trim().split('\n').map((l) => JSON.parse(l)).filter((o) => o.event === undefined);
    return {text: fs.readFileSync(file, 'utf8'), last: ticks[ticks.length - 1]};
  } finally {
    fs.rmSync(dir, {recursive: true, force: true});
  }
}

const choices = (t) => ({name: t.name, n_clothes: t.n_clothes, n_hair: t.n_hair, n_skin: t.n_skin,
                         n_sound_set: t.n_sound_set});

(async () => {
  const env = await start();
  const saved = desktopStore();
  assert.notEqual(saved.last.name, 'Ovanta', 'the desktop run changed the settings');
  await run([
    ['settings saved under the key come back, reload after reload', async () => {
      const page = await openPage(env, {query: '?trace'});
      const first = await waitForTick(page, (t) => t.tick >= 1, 'the first tick');
      assert.equal(first.name, 'Ovanta', 'a first visit has the defaults');
      await page.evaluate((k, v) => localStorage.setItem(k, v), KEY, saved.text);
      for (let i = 0; i < 2; ++i) {
        await page.reload({waitUntil: 'load'});
        const t = await waitForTick(page, (o) => o.tick >= 1, 'the first tick after a reload');
        assert.deepEqual(choices(t), choices(saved.last));
      }
      // The voice set follows the language: the greeting is the one the
      // desktop plays in that language.
      const greeting = await page.evaluate(() => new Promise((resolve) => {
        const look = () => {
          const s = window.ovantaTrace.map((l) => JSON.parse(l)).find((o) => o.event === 'sound');
          if (s) resolve(s); else setTimeout(look, 50);
        };
        look();
      }));
      const native = execFileSync(HEADLESS, ['--trace', '-', '-'], {
        input: 'tick 2\naction menuView\naction settingsView\naction onLanguage\naction onButton1\n' +
               'action backToMainView\ntick 40\n', encoding: 'utf8', stdio: ['pipe', 'pipe', 'ignore']});
      const nativeSounds = native.trim().split('\n').map((l) => JSON.parse(l)).filter((o) => o.event === 'sound');
      assert.ok(nativeSounds.some((s) => s.file === greeting.file), `${greeting.file} is a line of that language`);
      await page.close();
    }],
    ['a damaged copy is kept aside and the defaults apply', async () => {
      const page = await openPage(env, {query: '?trace'});
      await page.evaluate((k) => localStorage.setItem(k, '{"Ovanta_name": "Ha'), KEY);
      await page.reload({waitUntil: 'load'});
      const t = await waitForTick(page, (o) => o.tick >= 1, 'the first tick');
      assert.equal(t.name, 'Ovanta');
      const keys = await page.evaluate(() => Object.keys(localStorage).map((k) => [k, localStorage.getItem(k)]));
      assert.ok(!keys.some(([k]) => k === KEY), 'the damaged copy left the key');
      const aside = keys.filter(([k]) => k.startsWith(KEY + '.damaged-'));
      assert.equal(aside.length, 1, JSON.stringify(keys));
      assert.equal(aside[0][1], '{"Ovanta_name": "Ha');
      assert.ok(page.consoleLines.some((l) => /damaged/.test(l)), 'one message says so');
      await page.close();
    }],
  ]);
  await env.close();
})();
