// Build steps of the playground's page (cmake/playground_page.cmake):
//
//   node bundle-page.mjs editor ENTRY OUT.js
//       bundles the editor (CodeMirror 6 from playground/node_modules) into one
//       minified ES module with esbuild;
//   node bundle-page.mjs examples OUT.json [--program NAME TITLE FILE...]...
//       gathers the Examples menu: each program's files as tabs, the first file
//       the one shown first, and a one-line description from its first comment.
import fs from 'node:fs';
import path from 'node:path';

function usage() {
  console.error('usage: bundle-page.mjs editor ENTRY OUT.js | examples OUT.json [--program NAME TITLE FILE...]...');
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
  await esbuild.build({
    entryPoints: [entry],
    outfile: out,
    bundle: true,
    format: 'esm',
    minify: true,
    target: 'es2020',
    legalComments: 'none',
    logLevel: 'warning',
  });
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
