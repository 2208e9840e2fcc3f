// Build steps of the playground's page (cmake/playground_page.cmake):
//
//   node bundle-page.mjs editor ENTRY OUT.js
//       bundles the editor (CodeMirror 6 from playground/node_modules) into one
//       minified ES module with esbuild, and writes the licenses of the packages
//       it holds beside it (OUT.js.LICENSE.txt), which its first line names;
//   node bundle-page.mjs reference TAVLO_H OUT.json
//       the reference of the package's calls and names (reference.mjs), for the
//       editor's completion and hover and the hints under compiler errors;
//   node bundle-page.mjs examples OUT.json [--program NAME TITLE FILE...]...
//       gathers the Examples menu: each program's files as tabs, the first file
//       the one shown first, and a one-line description from its first comment.
import fs from 'node:fs';
import path from 'node:path';

function usage() {
  console.error('usage: bundle-page.mjs editor ENTRY OUT.js | reference TAVLO_H OUT.json | ' +
                'examples OUT.json [--program NAME TITLE FILE...]...');
  process.exit(2);
}

// The first comment line of a source, without its slashes: what the program does.
function description(text) {
  const line = text.split('\n').find((l) => l.startsWith('//'));
  return line ? line.replace(/^\/\/\s*/, '').trim() : '';
}

const [command, ...rest] = process.argv.slice(2);
if (command === 'editor') {
  const [entry, out] = rest;
  if (!entry || !out) usage();
  const esbuild = await import('esbuild');
  const licenses = `${path.basename(out)}.LICENSE.txt`;
  const result = await esbuild.build({
    entryPoints: [entry],
    outfile: out,
    bundle: true,
    format: 'esm',
    minify: true,
    target: 'es2020',
    legalComments: 'none',
    banner: { js: `/* CodeMirror 6 and the packages it uses, bundled; their licenses: ${licenses} */` },
    metafile: true,
    logLevel: 'warning',
  });
  // Each package with code in the bundle: its name, version and license text.
  const packages = new Map();
  for (const input of Object.keys(result.metafile.inputs)) {
    const m = /^(.*node_modules\/(@[^/]+\/)?[^/]+)\//.exec(input);
    if (m && !packages.has(m[1])) packages.set(m[1], JSON.parse(fs.readFileSync(path.join(m[1], 'package.json'), 'utf8')));
  }
  const sections = [...packages].sort((a, b) => a[1].name.localeCompare(b[1].name)).map(([dir, info]) => {
    const file = fs.readdirSync(dir).find((f) => /^licen[cs]e/i.test(f));
    if (!file) throw new Error(`${info.name}: no license file`);
    return `${info.name} ${info.version} (${info.license})\n\n${fs.readFileSync(path.join(dir, file), 'utf8').trim()}\n`;
  });
  fs.writeFileSync(path.join(path.dirname(out), licenses), sections.join('\n' + '-'.repeat(72) + '\n\n'));
} else if (command === 'reference') {
  const [header, out] = rest;
  if (!header || !out) usage();
  const { reference } = await import('./reference.mjs');
  fs.writeFileSync(out, JSON.stringify(reference(fs.readFileSync(header, 'utf8'))) + '\n');
} else if (command === 'examples') {
  const out = rest.shift();
  if (!out) usage();
  const programs = [];
  while (rest.length) {
    if (rest.shift() !== '--program' || rest.length < 3) usage();
    const name = rest.shift(), title = rest.shift();
    const files = [];
    while (rest.length && rest[0] !== '--program') {
      const file = rest.shift();
      files.push({ name: path.basename(file), text: fs.readFileSync(file, 'utf8') });
    }
    if (!files.length) usage();
    programs.push({ name, title, description: description(files[0].text), files });
  }
  fs.writeFileSync(out, JSON.stringify({ programs }) + '\n');
} else {
  usage();
}
