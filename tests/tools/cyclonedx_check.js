// Checks SBOMs against the CycloneDX 1.6 JSON schema with the CycloneDX
// project's own library (its strict validator: the published schema files,
// unknown properties refused, formats checked), installed by
// scripts/setup.sh into build-cyclonedx/. Usage: node cyclonedx_check.js
// MODULES_FOLDER FILE...; exit status 0 when every FILE is valid, 1 with the
// schema's complaints otherwise, 2 when the library is missing.
'use strict';
const fs = require('fs');
const path = require('path');

async function main() {
  const [modules, ...files] = process.argv.slice(2);
  let cdx;
  try {
    cdx = require(path.resolve(modules, 'node_modules', '@cyclonedx', 'cyclonedx-library'));
  } catch (error) {
    console.error(`cyclonedx_check: no CycloneDX library in ${modules}: run scripts/setup.sh`);
    process.exit(2);
  }
  const validator = new cdx.Validation.JsonStrictValidator(cdx.Spec.Version.v1dot6);
  let failed = false;
  for (const file of files) {
    const errors = await validator.validate(fs.readFileSync(file, 'utf8'));
    if (errors !== null && errors !== undefined) {
      console.error(`cyclonedx_check: ${file} is not valid CycloneDX 1.6:\n` +
                    JSON.stringify(errors, null, 2));
      failed = true;
    }
  }
  process.exit(failed ? 1 : 0);
}

main().catch((error) => {
  console.error(`cyclonedx_check: ${error.stack || error}`);
  process.exit(2);
});
