// Runs inside the program's JavaScript before main (linked with --pre-js):
// the trace device. The program writes its trace (--trace /dev/ovanta-trace)
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
