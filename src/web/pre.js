// Runs inside the program's JavaScript before main (linked with --pre-js):
// the characters' storage, then the trace device.
//
// Imported characters are kept in the browser's IndexedDB (local storage is
// far too small for them): it is mounted at /data, where the program keeps
// them (XDG_DATA_HOME), and read in before main runs; the program writes it
// back after each import or removal.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  ENV['XDG_DATA_HOME'] = '/data';
  FS.mkdir('/data');
  FS.mount(IDBFS, {}, '/data');
  addRunDependency('ovanta-characters');
  FS.syncfs(true, function (e) {
    if (e) console.warn('Ovanta: the characters kept in this browser could not be read (' + e + ')');
    removeRunDependency('ovanta-characters');
  });
});
// The trace device. The program writes its trace (--trace /dev/ovanta-trace)
// one JSON object a line; each line goes to the console on its own and onto
// window.ovantaTrace, so tests and bug reports can read it.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  var pending = [];
  var decoder = new TextDecoder();
  window.ovantaTrace = window.ovantaTrace || [];
  FS.createDevice('/dev', 'ovanta-trace', null, function (byte) {
    if (byte === null || byte === undefined) return;
    byte &= 255;
    if (byte !== 10) {
      pending.push(byte);
      return;
    }
    var line = decoder.decode(new Uint8Array(pending));
    pending = [];
    window.ovantaTrace.push(line);
    console.log(line);
  });
});
