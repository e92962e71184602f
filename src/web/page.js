// The page around the program (which lays out the canvas itself: her 2:3
// portrait view, letterboxed on wide screens, at the device's pixels): the
// loading screen with its progress, the message when WebGL is missing or the
// program fails, the first tap or click that lets sound play (and, where the browser asks,
// lets the page read the motion sensor), the on-screen keyboard for her name, ?trace,
// a character's VRM file or a dance's VRM animation picked (the settings' Character list
// asks) or dropped on the page,
// the screen kept on while she dances, and the service worker (sw.js) that keeps
// the site for offline use once she is up.
(function () {
  'use strict';

  var canvas = document.getElementById('canvas');
  var loading = document.getElementById('loading');
  var bar = document.querySelector('#bar div');
  var statusText = document.getElementById('status');
  var params = new URLSearchParams(window.location.search);

  // The build's table of its files' content hashes (index.html): every file
  // is asked for at an address with its hash, the one the service worker
  // keeps it under, so the page never gets another build's file.
  var files = {};
  try {
    files = JSON.parse(document.getElementById('site-files').textContent);
  } catch (e) {
  }
  function address(name) { return files[name] ? name + '?v=' + files[name] : name; }

  function problem(text) {
    document.getElementById('problem-text').textContent = text;
    document.getElementById('problem').style.display = 'flex';
    loading.style.display = 'none';
  }

  // The program's own WebGL context, made here so that nothing is loaded
  // where there is none: the program then asks the canvas for it and gets
  // this one. The attributes are the ones the program's GL surface wants
  // (platform/EAGLView_web.cpp): an opaque frame, a depth buffer, no
  // stencil or antialiasing, the drawing buffer kept between frames.
  function hasWebGL() {
    try {
      return !!(window.WebGLRenderingContext && canvas.getContext('webgl', {
        alpha: false, depth: true, stencil: false, antialias: false, preserveDrawingBuffer: true,
      }));
    } catch (e) {
      return false;
    }
  }

  if (!hasWebGL()) {
    problem('Ovanta needs WebGL, which this browser does not offer or has switched off. ' +
            'Try another browser, or turn on hardware acceleration in this one.');
    return;
  }

  // Browsers start audio and, on some phones, motion only after a gesture:
  // the program opens its audio device at the first one that lets sound
  // play (navigator.userActivation says which do, where there is one), or
  // once it is up when there was one before; later gestures wake the
  // audio the browser suspended.
  var motionAsked = false, soundOn = false;
  function soundAllowed() { return !navigator.userActivation || navigator.userActivation.isActive; }
  function openSound() {
    if (soundOn || !ready()) return;
    soundOn = true;
    Module._ovanta_sound_on();
  }
  function unlock() {
    if (soundAllowed()) openSound();
    var audio = window.Module && Module.SDL2 && Module.SDL2.audioContext;
    if (audio && audio.state !== 'running') audio.resume();
    if (!motionAsked && window.DeviceMotionEvent && typeof DeviceMotionEvent.requestPermission === 'function') {
      motionAsked = true;
      DeviceMotionEvent.requestPermission().catch(function () {});
    }
  }
  ['pointerdown', 'pointerup', 'touchend', 'click', 'keydown'].forEach(function (type) {
    window.addEventListener(type, unlock, true);
  });

  // Phones show their keyboard only for a text input focused while the page
  // handles the tap: a tap on the name field focuses the hidden #keyboard,
  // whose typing goes to the program (keys it sees itself: web_input.cpp).
  // Keyboards that compose words hand them over when a word is done.
  var keyboard = document.getElementById('keyboard');
  function ready() { return window.Module && Module.calledRun && Module._ovanta_field_at; }
  window.addEventListener('touchend', function (e) {
    var t = e.changedTouches[0];
    if (t && e.touches.length === 0 && ready() && Module._ovanta_field_at(t.clientX, t.clientY))
      keyboard.focus({preventScroll: true});
  }, true);
  function hand() {
    var text = keyboard.value;
    keyboard.value = '';
    if (text && ready()) Module.ccall('ovanta_type', null, ['string'], [text]);
  }
  keyboard.addEventListener('beforeinput', function (e) {
    if (e.isComposing || !ready()) return;
    var key = e.inputType === 'deleteContentBackward' ? 'Backspace'
            : e.inputType === 'insertLineBreak' || e.inputType === 'insertParagraph' ? 'Enter' : null;
    if (key) {
      e.preventDefault();
      Module.ccall('ovanta_press', null, ['string'], [key]);
    }
  });
  keyboard.addEventListener('input', function (e) { if (!e.isComposing) hand(); });
  keyboard.addEventListener('compositionend', hand);

  // A character's file (or a dance's, .vrma), picked where the Character
  // list asks for one or dropped anywhere on the page, goes to the program
  // whole; it says itself what came of it.
  function handOver(file) {
    if (!file || !ready()) return;
    file.arrayBuffer().then(function (buffer) {
      var bytes = new Uint8Array(buffer);
      var at = Module._malloc(Math.max(1, bytes.length));
      if (!at) {
        console.warn('Ovanta: ' + file.name + ' is too large to read here');
        return;
      }
      Module.HEAPU8.set(bytes, at);
      Module.ccall('ovanta_import', 'number', ['number', 'number', 'string'], [at, bytes.length, file.name]);
      Module._free(at);
    }, function (e) {
      console.warn('Ovanta: ' + file.name + ' could not be read (' + e + ')');
    });
  }
  var picker = document.createElement('input');
  picker.type = 'file';
  picker.accept = '.vrm,.vrma,model/gltf-binary';
  picker.style.display = 'none';
  picker.addEventListener('change', function () {
    handOver(picker.files[0]);
    picker.value = '';
  });
  document.body.appendChild(picker);
  window.addEventListener('dragover', function (e) { e.preventDefault(); });
  window.addEventListener('drop', function (e) {
    e.preventDefault();
    if (e.dataTransfer && e.dataTransfer.files.length) handOver(e.dataTransfer.files[0]);
  });

  // While she dances the screen stays on, where the browser offers a wake
  // lock. Browsers let it go when the page is hidden; back in view, it is
  // asked for again if she still dances.
  var dancing = false, wakeLock = null, asking = false;
  function keepAwake() {
    if (dancing && !wakeLock && !asking && navigator.wakeLock && document.visibilityState === 'visible') {
      asking = true;
      navigator.wakeLock.request('screen').then(function (lock) {
        asking = false;
        wakeLock = lock;
        lock.addEventListener('release', function () { if (wakeLock === lock) wakeLock = null; });
        keepAwake();  // she may have stopped meanwhile
      }, function () { asking = false; });
    } else if (!dancing && wakeLock) {
      var lock = wakeLock;
      wakeLock = null;
      lock.release().catch(function () {});
    }
  }
  document.addEventListener('visibilitychange', keepAwake);

  // The service worker, once she is up (her first start's downloads are
  // done: it takes the files from the browser's cache). Where there is none
  // (pages served over plain HTTP to another machine) the site works online only.
  function keepForOffline() {
    if (!files['page.js'] || !('serviceWorker' in navigator)) return;
    navigator.serviceWorker.register('sw.js').catch(function (e) {
      console.warn('Ovanta: no offline copy here (' + e.message + ')');
    });
    // An installed app asks the browser to keep its storage under pressure.
    if (navigator.storage && navigator.storage.persist && window.matchMedia('(display-mode: standalone)').matches)
      navigator.storage.persist().catch(function () {});
  }

  function setProgress(fraction, text) {
    bar.style.width = Math.round(Math.max(0, Math.min(1, fraction)) * 100) + '%';
    if (text) statusText.textContent = text;
  }

  window.ovantaTrace = [];
  window.Module = {
    canvas: canvas,
    locateFile: function (path, prefix) { return prefix + address(path); },
    arguments: params.has('trace') ? ['--trace', '/dev/ovanta-trace'] : [],
    print: function (text) { console.log(text); },
    printErr: function (text) { console.warn(text); },
    // The file packager reports "Downloading data... (loaded/total)".
    setStatus: function (text) {
      var m = /\((\d+(?:\.\d+)?)\/(\d+(?:\.\d+)?)\)/.exec(text || '');
      if (m) {
        var done = +m[1], total = +m[2];
        setProgress(total ? done / total : 0,
                    'Loading ' + (done / 1048576).toFixed(1) + ' of ' + (total / 1048576).toFixed(1) + ' MB');
      }
    },
    monitorRunDependencies: function (left) {
      if (left === 0) setProgress(1, 'Starting…');
    },
    // Called by the program after its first tick.
    ovantaFirstTick: function () {
      window.ovantaFirstFrameMs = performance.now();
      loading.style.opacity = '0';
      setTimeout(function () { loading.style.display = 'none'; }, 300);
      // After the frame is on the screen: the audio device and the service
      // worker each hold the page up for a while.
      setTimeout(function () {
        if (navigator.userActivation && navigator.userActivation.hasBeenActive) openSound();
        keepForOffline();
      }, 0);
    },
    // Called by the program when she starts and stops dancing.
    ovantaDancing: function (on) {
      dancing = !!on;
      keepAwake();
    },
    // Called by the program when the name's edit has ended.
    ovantaKeyboardDone: function () {
      if (document.activeElement === keyboard) keyboard.blur();
      keyboard.value = '';
    },
    // Called by the program when the Character list's Add key is pressed
    // (moments after the tap that pressed it: browsers open a picker only then).
    ovantaPickFile: function () { picker.click(); },
    // Called by the program when it cannot draw.
    ovantaFailed: function (what) {
      problem('Ovanta cannot draw here: ' + what + '. Try another browser, or turn on hardware acceleration.');
    },
    onAbort: function (what) {
      problem('Ovanta stopped: ' + what + '. Reloading the page may help.');
    }
  };

  // The bundle's loader first, then the program; both keep their order.
  // Once the loader has asked for the bundle, the settings' storage is
  // opened (its first use waits for the browser to read it from disk), so
  // that happens while the bundle downloads rather than when she starts.
  ['ovanta-data.js', 'ovanta.js'].forEach(function (src) {
    var s = document.createElement('script');
    s.src = address(src);
    s.async = false;
    s.onerror = function () { problem('Ovanta could not load ' + src + '. Check the connection and reload.'); };
    if (src === 'ovanta-data.js') {
      s.onload = function () {
        try {
          void window.localStorage.length;
        } catch (e) {
        }
      };
    }
    document.body.appendChild(s);
  });
})();
