// The page modules of the web presenter (package/platform/portable/presenters/web/
// page_*.js, ES modules) as the two ways a program runs in a browser take them:
//
//   node page-scripts.mjs constants OUT_DIR
//       writes OUT_DIR/page_constants.js: the input kinds of page_interface.h
//       (its enum PageInput, the one place they are written), for the page
//       modules to import;
//   node page-scripts.mjs emscripten OUT.js
//       bundles page_emscripten.js and what it imports into one classic script
//       (esbuild, pinned in playground/package-lock.json) defining
//       tavloPageScripts: page_scripts.js, which the Emscripten pages load
//       before the program, whose --pre-js (page_pre.js) starts it. (Emscripten
//       3.1.6 takes no ES modules, and its optimizer drops destructuring
//       declarations from a --pre-js: so the modules stay out of its reach.)
//
// The playground's site copies the modules as they are (make-site.mjs), with
// page_constants.js written by pageConstants() below.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const webDir = path.resolve(here, '..', '..', 'package', 'platform', 'portable', 'presenters', 'web');

// page_constants.js's text: `export const INPUT = {Name: number, ...}` from the
// enum PageInput of page_interface.h.
export function pageConstants() {
  const header = fs.readFileSync(path.join(webDir, 'page_interface.h'), 'utf8');
  const body = /enum PageInput \{([^}]*)\}/.exec(header);
  if (!body) throw new Error('page_interface.h: no enum PageInput');
  const kinds = [...body[1].matchAll(/^\s*(\w+)\s*=\s*(\d+)\s*,/gm)].map((m) => `  ${m[1]}: ${m[2]},`);
  if (kinds.length === 0) throw new Error('page_interface.h: enum PageInput lists no kind');
  return '// Made from page_interface.h (enum PageInput) by playground/tools/page-scripts.mjs.\n' +
         `export const INPUT = Object.freeze({\n${kinds.join('\n')}\n});\n`;
}

async function main(argv) {
  const [command, out] = argv;
  if (command === 'constants' && out) {
    fs.mkdirSync(out, { recursive: true });
    fs.writeFileSync(path.join(out, 'page_constants.js'), pageConstants());
    return 0;
  }
  if (command === 'emscripten' && out) {
    const esbuild = await import('esbuild');
    const constants = pageConstants();
    await esbuild.build({
      entryPoints: [path.join(webDir, 'page_emscripten.js')],
      outfile: out,
      bundle: true,
      format: 'iife',
      globalName: 'tavloPageScripts',
      target: 'es2020',
      logLevel: 'warning',
      banner: { js: '// The web pages\' scripts (presenters/web/page_*.js), bundled by page-scripts.mjs.' },
      plugins: [{
        name: 'page-constants',
        setup(build) {
          build.onResolve({ filter: /\/page_constants\.js$/ }, () => ({ path: 'page_constants.js', namespace: 'made' }));
          build.onLoad({ filter: /.*/, namespace: 'made' }, () => ({ contents: constants, loader: 'js' }));
        },
      }],
    });
    return 0;
  }
  console.error('usage: page-scripts.mjs constants OUT_DIR | emscripten OUT.js');
  return 2;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) process.exitCode = await main(process.argv.slice(2));
