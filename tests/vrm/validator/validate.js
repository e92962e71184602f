// Khronos's glTF validator on each file named: one line a file with its
// error and warning counts, then its errors; exits 1 when any file has one.
//   node validate.js FILE...   (NODE_PATH holds gltf-validator)
const fs = require('fs');
const validator = require('gltf-validator');

(async () => {
  let failed = false;
  for (const file of process.argv.slice(2)) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)));
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ${issues.numInfos} infos`);
    for (const m of issues.messages)
      if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} ${m.pointer || ''}: ${m.message}`);
    failed = failed || issues.numErrors > 0;
  }
  process.exit(failed ? 1 : 0);
})().catch((e) => {
  console.error(`validate.js: ${e.message || e}`);
  process.exit(1);
});
