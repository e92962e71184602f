// The page draws her and takes input as a phone and a desktop give it:
//   - at 320 x 480, one pixel a point, the frame of tick 150 is the native
//     es2 frame of ovanta-headless at that tick (two rasterisers: a few
//     edge pixels differ);
//   - on a phone (375 x 667, two pixels a point, touch screen): one WebGL
//     context made, the loading screen reaches its end, the canvas fills the
//     width at 2:3 in device pixels, no audio device until a tap on her,
//     which opens it and is picked and answered with the line a tap gets
//     natively, the dance button starts the dance and keeps the screen on
//     until she has stopped; no frame of the dance waits on a WebGL query;
//   - on a landscape desktop window (1280 x 800): letterboxed at full
//     height, a mouse click on her answers, turning the window round lays
//     the canvas out again;
//   - without WebGL the page says so and loads nothing more;
//   - a browser speaking Russian: her first start meets the user in Russian.
//   - installed from a sub-folder: the manifest and its icons, the whole
//     site cached after the first visit, offline reloads that draw her and
//     trace as online, a server caught between two builds that changes
//     nothing, and the next build taken by the next visit without a file of
//     the other one.
// The pictures go to build/web-shots.
'use strict';

const {execFileSync} = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {assert, start, openPage, waitForTick, lastTick, trace, run, captureAtTick, compareFrames, viewToPage, shotPath,
       native, freshStore, SITE} = require('./browser.js');

const HER = [160, 200];          // view points on her body
const DANCE_BUTTON = [160, 440];  // the middle button of the main screen

const sha256 = (data) => crypto.createHash('sha256').update(data).digest('hex');

// A folder's files: name -> SHA-256.
function filesOf(dir) {
  const out = {};
  for (const name of fs.readdirSync(dir))
    if (fs.statSync(path.join(dir, name)).isFile()) out[name] = sha256(fs.readFileSync(path.join(dir, name)));
  return out;
}

// What the browser's caches hold for the page: cache name -> {file name: SHA-256}.
async function cachesOf(page) {
  return page.evaluate(async () => {
    const hex = (b) => Array.from(new Uint8Array(b), (x) => x.toString(16).padStart(2, '0')).join('');
    const out = {};
    for (const name of await caches.keys()) {
      const cache = await caches.open(name);
      out[name] = {};
      for (const request of await cache.keys()) {
        const body = await (await cache.match(request)).arrayBuffer();
        out[name][new URL(request.url).pathname.split('/').pop()] = hex(await crypto.subtle.digest('SHA-256', body));
      }
    }
    return out;
  });
}

// Has the browser look for a new service worker, from the page's icon (a
// page of the site too, but an idle one: the browser puts the look off for
// up to a minute while a page of the site keeps its renderer busy, as she
// does with software WebGL); resolves to whether one is installed and waiting.
async function updateSettled(page) {
  await page.goto(await page.evaluate(() => document.querySelector('link[rel=icon]').href));
  return page.evaluate(async () => {
    const reg = await navigator.serviceWorker.getRegistration();
    await reg.update().catch(() => {});
    const w = reg.installing;
    if (w) await new Promise((resolve) => w.addEventListener('statechange', () => w.state !== 'installing' && resolve()));
    return !!reg.waiting;
  });
}

// Every response of the site's files a page got, with where it came from.
// Each body is asked for as soon as it has arrived: the browser may drop a
// body it keeps for the test once the page has gone on (a large one first).
function recordResponses(page, folder) {
  const got = [];
  page.on('response', (r) => {
    const at = new URL(r.url());
    if (at.pathname.startsWith(folder) && r.status() === 200) {
      r.ovantaBody = r.buffer().catch((e) => e);
      got.push(r);
    }
  });
  return got;
}

// The browser keeps no copy of what it compiled while downloading: the
// SHA-256 of each such response goes into window.compiled (by address).
async function watchCompiled(page) {
  await page.evaluateOnNewDocument(() => {
    window.compiled = {};
    const instantiate = WebAssembly.instantiateStreaming;
    WebAssembly.instantiateStreaming = async (source, imports) => {
      const response = await source;
      const body = await response.clone().arrayBuffer();
      const hash = await crypto.subtle.digest('SHA-256', body);
      window.compiled[response.url] = Array.from(new Uint8Array(hash), (b) => b.toString(16).padStart(2, '0')).join('');
      return instantiate.call(WebAssembly, response, imports);
    };
  });
}

// Each response's bytes are the file of `files` (name -> SHA-256) its address names.
async function checkServed(page, responses, files) {
  assert.ok(responses.length >= 6, `${responses.length} responses`);
  const compiled = await page.evaluate(() => window.compiled);
  for (const r of responses) {
    const name = new URL(r.url()).pathname.split('/').pop() || 'index.html';
    let got = compiled[r.url()];
    if (!got) {
      const body = await r.ovantaBody;
      assert.ok(Buffer.isBuffer(body), `${r.url()}: ${body}`);
      got = sha256(body);
    }
    assert.equal(got, files[name], `${r.url()} is this build's ${name}`);
  }
}

// Before the page's own scripts: which canvases got a WebGL context
// (window.webglCanvases), the WebGL queries (window.glQueries: a browser
// answers them after drawing everything queued), how many audio contexts
// were made (window.audioMade) and the screen wake locks the page took
// (window.wakeLocks). The browser is one that lets sound play from the
// first tap on: the test's chromium counts the test's own driving as the
// user's, so the user activation the page asks about comes with the first
// finger lifted, as on a phone.
async function watchPage(page) {
  await page.evaluateOnNewDocument(() => {
    let active = false;
    window.addEventListener('pointerup', () => { active = true; }, true);
    Object.defineProperty(navigator, 'userActivation', {value: {
      get hasBeenActive() { return active; },
      get isActive() { return active; },
    }});
    window.audioMade = 0;
    window.AudioContext = class extends window.AudioContext {
      constructor(...args) {
        super(...args);
        ++window.audioMade;
      }
    };
    window.glQueries = 0;
    const getParameter = WebGLRenderingContext.prototype.getParameter;
    WebGLRenderingContext.prototype.getParameter = function (...args) {
      ++window.glQueries;
      return getParameter.apply(this, args);
    };
    window.webglCanvases = [];
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
      const c = getContext.call(this, type, ...rest);
      if (c && /webgl/.test(type) && !window.webglCanvases.includes(this)) window.webglCanvases.push(this);
      return c;
    };
    window.wakeLocks = [];
    const request = navigator.wakeLock.request.bind(navigator.wakeLock);
    navigator.wakeLock.request = (type) => request(type).then((lock) => window.wakeLocks.push(lock) && lock);
  });
}

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

  const installed = async () => {
    const root = fs.mkdtempSync(path.join(os.tmpdir(), 'ovanta-site-'));
    const folder = '/app/';
    const app = path.join(root, 'app');
    fs.cpSync(SITE, app, {recursive: true});
    const env = await start([], root);
    try {
      const phone = {width: 320, height: 480, scale: 2, touch: true, query: 'app/?trace'};
      let page = await openPage(env, {...phone, before: watchCompiled});
      const cdp = await page.target().createCDPSession();
      // The manifest: parsed without complaint, what a phone's home screen
      // and an app window need, the colours of the loading screen, and
      // addresses inside the sub-folder.
      const {url: manifestUrl, errors, data} = await cdp.send('Page.getAppManifest');
      assert.deepEqual(errors, []);
      const m = JSON.parse(data);
      const base = env.url + 'app/';
      assert.ok(m.name && m.short_name, JSON.stringify(m));
      assert.ok(['standalone', 'fullscreen'].includes(m.display) && m.orientation.startsWith('portrait'), JSON.stringify(m));
      assert.equal(new URL(m.scope, manifestUrl).href, base);
      assert.equal(new URL(m.start_url, manifestUrl).href, base);
      const rgb = (hex) => `rgb(${[1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ')})`;
      const loadingColour = await page.evaluate(() => getComputedStyle(document.getElementById('loading')).backgroundColor);
      assert.deepEqual([rgb(m.theme_color), rgb(m.background_color)], [loadingColour, loadingColour]);
      // The icons: each its stated size; the maskable one fills its square.
      const icons = await page.evaluate(async (icons, manifestUrl) => Promise.all(icons.map(async (icon) => {
        const img = new Image();
        img.src = new URL(icon.src, manifestUrl).href;
        await img.decode();
        const c = document.createElement('canvas');
        [c.width, c.height] = [img.naturalWidth, img.naturalHeight];
        const g = c.getContext('2d');
        g.drawImage(img, 0, 0);
        const alpha = g.getImageData(0, 0, c.width, c.height).data.filter((v, i) => i % 4 === 3);
        return {sizes: icon.sizes, purpose: icon.purpose || 'any', got: `${c.width}x${c.height}`,
                opaque: alpha.every((a) => a === 255)};
      })), m.icons, manifestUrl);
      for (const i of icons) assert.equal(i.got, i.sizes, JSON.stringify(i));
      for (const size of ['192x192', '512x512'])
        assert.ok(icons.some((i) => i.sizes === size && i.purpose.includes('any')), JSON.stringify(icons));
      assert.ok(icons.some((i) => i.purpose.includes('maskable') && i.opaque), JSON.stringify(icons));

      // The first visit: once she is up the service worker keeps every
      // file of the site (itself aside) as it is, and takes the page over.
      await waitForTick(page, (t) => t.tick >= 1, 'the first tick');
      await page.waitForFunction(() => navigator.serviceWorker.controller, {timeout: 60000});
      const filesA = filesOf(app);
      const keptA = {...filesA};
      delete keptA['sw.js'];
      let cached = await cachesOf(page);
      assert.equal(Object.keys(cached).length, 1, Object.keys(cached).join(' '));
      const cacheA = Object.keys(cached)[0];
      assert.deepEqual(cached[cacheA], keptA);
      assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, []);

      // Offline, opened again as an installed app (an app window: display
      // mode standalone), reloaded: she is drawn (the native frame of that
      // tick) and traces as online, every file from the cache.
      await waitForTick(page, (t) => t.tick >= 60, 'sixty ticks');
      const online = await trace(page);
      await env.offline();
      await env.restart([`--app=${env.url}app/?trace`]);
      page = await (await env.browser.waitForTarget((t) => t.url().includes('/app/'))).page();
      await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
      let responses;
      await openPage(env, {...phone, page, before: async (p) => {
        await watchCompiled(p);
        await captureAtTick(p, 60);
        responses = recordResponses(p, folder);
      }});
      await page.waitForFunction(() => window.ovantaShot, {timeout: 60000});
      assert.ok(await page.evaluate(() => matchMedia('(display-mode: standalone)').matches));
      await page.screenshot({path: shotPath('web-standalone-offline.png')});
      const shot = Buffer.from((await page.evaluate(() => window.ovantaShot)).split(',')[1], 'base64');
      const ref = shotPath('native-es2-tick60-x2.png');
      native('tick 60\nshot ' + ref + '\n', ['--gl', 'es2', '--scale', '2', '--defaults', freshStore()]);
      const d = await compareFrames(page, shot, fs.readFileSync(ref));
      assert.ok(d.off <= 0.01 && d.mean < 1.5, `differs from the native frame: ${JSON.stringify(d)}`);
      const offline = await trace(page);
      // (Her lips follow the sound heard where the page could open its audio
      // device, so tick objects may differ: their fields must not.)
      const events = (lines) => lines.filter((o) => o.event && o.tick <= 60);
      assert.deepEqual(events(offline), events(online));
      const ticks = offline.filter((o) => !o.event);
      ticks.forEach((t, i) => assert.deepEqual([t.tick, Object.keys(t)], [i + 1, Object.keys(online.find((o) => !o.event))]));
      assert.ok(responses.every((r) => r.fromServiceWorker()), responses.map((r) => r.url()).join(' '));
      await checkServed(page, responses, filesA);
      assert.deepEqual(page.errors, []);

      // The next build, with one changed file. Put half in place (its page
      // and service worker, the changed file not yet): its worker refuses
      // to install and the app stays whole, offline too.
      const next = path.join(root, 'next');
      fs.cpSync(app, next, {recursive: true});
      fs.appendFileSync(path.join(next, 'page.js'), '\nwindow.ovantaNextBuild = true;\n');
      execFileSync('python3', [path.join(__dirname, '..', '..', 'src', 'web', 'stamp_site.py'), next,
                               path.join(__dirname, '..', '..', 'src', 'web')]);
      const filesB = filesOf(next);
      assert.deepEqual(Object.keys(filesB).filter((f) => filesB[f] !== filesA[f]).sort(), ['index.html', 'page.js', 'sw.js']);
      for (const f of ['index.html', 'sw.js']) fs.copyFileSync(path.join(next, f), path.join(app, f));
      await env.online();
      await page.goto(env.url + 'app/?trace', {waitUntil: 'load'});
      assert.equal(await updateSettled(page), false, 'a worker of a half-built site installs');
      cached = await cachesOf(page);
      assert.deepEqual(cached[cacheA], keptA);
      await env.offline();
      await page.goto(env.url + 'app/?trace', {waitUntil: 'load'});
      await waitForTick(page, (t) => t.tick >= 30, 'ticks offline after a half-built site');

      // The whole next build: the next online visit is of it, each file
      // this build's (the unchanged ones from the cache, the new one from
      // the network); settings stay. Its worker waits for the page to go,
      // then its cache is the only one, with nothing of the last build.
      fs.cpSync(next, app, {recursive: true});
      await env.online();
      await page.evaluate(() => localStorage.setItem('ovanta.settings', JSON.stringify({Ovanta_name: 'Mira'})));
      responses = recordResponses(page, folder);
      await page.goto(env.url + 'app/?trace', {waitUntil: 'load'});
      const first = await waitForTick(page, (t) => t.tick >= 1, 'the first tick of the next build');
      assert.equal(first.name, 'Mira');
      assert.equal(await page.evaluate(() => window.ovantaNextBuild), true);
      await checkServed(page, responses, filesB);
      assert.equal(await updateSettled(page), true, 'the next build\'s worker is installed');
      const earlier = page.errors;
      await page.close();  // no page of the last build open any more
      // Watched from a page outside the app's scope: an app page opened
      // before the old worker has let its last page go would be that
      // worker's again, and keep the next one waiting.
      const watcher = await env.browser.newPage();
      await watcher.goto(env.url + 'manifest.webmanifest');
      await watcher.waitForFunction(async (scope) => {
        const reg = await navigator.serviceWorker.getRegistration(scope);
        return reg && !reg.waiting && !reg.installing && reg.active.state === 'activated';
      }, {timeout: 60000}, folder);
      await watcher.close();
      page = await openPage(env, phone);
      cached = await cachesOf(page);
      const keptB = {...filesB};
      delete keptB['sw.js'];
      assert.deepEqual(Object.values(cached), [keptB], Object.keys(cached).join(' '));
      assert.deepEqual([...earlier, ...page.errors], []);
    } finally {
      await env.close();
      fs.rmSync(root, {recursive: true, force: true});
    }
  };

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
      const page = await openPage(env, {width: 375, height: 667, scale: 2, touch: true, query: '?trace', before: watchPage});
      await page.waitForFunction(() => window.ovantaFirstFrameMs !== undefined, {timeout: 60000});
      assert.deepEqual(await page.evaluate(() => window.webglCanvases.map((c) => c.id)), ['canvas']);
      const idle = await waitForTick(page, (t) => t.tick >= 100 && !t.sound_is_played, 'the greeting to end');
      assert.equal(await page.evaluate(() => window.audioMade), 0, 'no audio device before the first tap');
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
      assert.deepEqual(await page.evaluate(() => [window.audioMade, Module.SDL2.audioContext.state]), [1, 'running']);
      await page.screenshot({path: shotPath('web-phone-tap.png')});

      const button = await viewToPage(page, ...DANCE_BUTTON);
      await page.touchscreen.tap(button.x, button.y);
      const dancing = await waitForTick(page, (t) => t.tick > tapped.tick.tick && t.continue_dancing === 1, 'the dance');
      assert.equal(dancing.state, natDance.state);
      await page.evaluate(() => { window.glQueries = 0; });
      await waitForTick(page, (t) => t.tick >= dancing.tick + 30, 'a second of dancing');
      assert.equal(await page.evaluate(() => window.glQueries), 0, 'WebGL queries while she dances');
      await page.screenshot({path: shotPath('web-phone-dance.png')});
      const locks = () => page.evaluate(() => window.wakeLocks.map((l) => l.released));
      assert.deepEqual(await locks(), [false], 'the screen kept on while she dances');
      await page.touchscreen.tap(button.x, button.y);
      const stopped = await waitForTick(page, (t) => t.tick > dancing.tick + 30 && !t.continue_dancing, 'the stop');
      await waitForTick(page, (t) => t.tick > stopped.tick && t.state === idle.state, 'the dance to end');
      await page.waitForFunction(() => window.wakeLocks.every((l) => l.released), {timeout: 5000});
      assert.deepEqual(await locks(), [true], 'the screen let go once she has stopped');
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
    ['installed from a sub-folder: manifest, icons, offline, the next build', installed],
  ]);
  await env.close();
  await noGL.close();
})();
