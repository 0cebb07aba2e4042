// Runs the Khronos glTF validator on each file given: prints one summary
// line per file (and each error or warning), exits 1 when any file has an
// error or a warning. Usage: node validate.js NODE_MODULES_DIR FILE...
'use strict';
const fs = require('fs');
const path = require('path');

const validator = require(path.join(process.argv[2], 'gltf-validator'));

async function check(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 50,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                try {
                    resolve(new Uint8Array(fs.readFileSync(path.join(path.dirname(file), decodeURIComponent(uri)))));
                } catch (e) {
                    reject(e.toString());
                }
            }),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ${issues.numInfos} infos, ` +
                `${issues.numHints} hints`);
    for (const m of issues.messages) {
        if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code}: ${m.message} (${m.pointer || ''})`);
    }
    return issues.numErrors + issues.numWarnings === 0;
}

(async () => {
    let ok = true;
    for (const file of process.argv.slice(3)) {
        try {
            ok = (await check(file)) && ok;
        } catch (e) {
            console.log(`${file}: cannot be validated: ${e}`);
            ok = false;
        }
    }
    process.exit(ok ? 0 : 1);
})();
