// Usage: node validate_gltf.js VALIDATOR_DIR FILE
// Prints the Khronos glTF-Validator's report of the file as JSON; the
// status is 1 when it reports an error or a warning.
const fs = require('fs');
const validator = require(process.argv[2]);
validator.validateBytes(new Uint8Array(fs.readFileSync(process.argv[3])), {writeTimestamp: false})
    .then((report) => {
      console.log(JSON.stringify(report, null, 1));
      process.exit(report.issues.numErrors + report.issues.numWarnings > 0 ? 1 : 0);
    })
    .catch((error) => {
      console.log(String(error));
      process.exit(2);
    });
