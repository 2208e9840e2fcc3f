// Fills the playground's static site folder with what the page loads besides
// its own files:
//   runtime/  the runtime (playground/runtime/*.js), the web pages' own page
//             modules (presenters/web/page_*.js, ES modules, and page.css), the
//             page_constants.js they import (page-scripts.mjs) and site.json;
//   clang/    the pinned compiler: its modules, a trimmed copy of its resource
//             archive (trim-resources.mjs) and a copy of its bundle.js changed
//             for the page (compiler-bundle.mjs);
//   sdk/      what a program is compiled and linked with: include/, lib/, the
//             precompiled prelude (prelude.h.pch, built here for the paths the
//             page's compiler sees: /sdk/...) and fonts/ (read by the program).
//
//   node make-site.mjs WASI_DIR SITE_DIR SOURCE_DIR
//
// WASI_DIR is cmake/wasi.cmake's output (build/wasi). A file is copied or made
// again only when its source is newer. site.json lists every file the runtime
// fetches with its size, the compile and link flags, the compiler's version
// and a hash of the files' contents, which names the page's cache.
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

import { pathToFileURL } from 'node:url';

import { patchCompilerBundle } from './compiler-bundle.mjs';
import { pageConstants } from './page-scripts.mjs';
import { trimResources } from './trim-resources.mjs';

const [wasiDir, siteDir, sourceDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!sourceDir) {
  console.error('usage: make-site.mjs WASI_DIR SITE_DIR SOURCE_DIR');
  process.exit(2);
}
const compilerDir = path.join(sourceDir, 'playground', 'node_modules', '@yowasp', 'clang', 'gen');
const webDir = path.join(sourceDir, 'package', 'platform', 'portable', 'presenters', 'web');
const here = path.dirname(new URL(import.meta.url).pathname);

const newer = (source, target, also = []) => {
  if (!fs.existsSync(target)) return true;
  const built = fs.statSync(target).mtimeMs;
  return [source, ...also].some((s) => fs.statSync(s).mtimeMs > built);
};
function copy(source, target) {
  if (!newer(source, target)) return;
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.copyFileSync(source, target);
}
function copyTree(source, target) {
  for (const entry of fs.readdirSync(source, { withFileTypes: true })) {
    const from = path.join(source, entry.name), to = path.join(target, entry.name);
    if (entry.isDirectory()) copyTree(from, to);
    else copy(from, to);
  }
}

// ---- runtime/
for (const name of fs.readdirSync(path.join(sourceDir, 'playground', 'runtime'))) {
  if (name.endsWith('.js')) copy(path.join(sourceDir, 'playground', 'runtime', name), path.join(siteDir, 'runtime', name));
}
for (const name of fs.readdirSync(webDir)) {
  // page_emscripten.js and page_pre.js bind the modules to an Emscripten program.
  if ((name.endsWith('.js') && name !== 'page_emscripten.js' && name !== 'page_pre.js') || name === 'page.css') {
    copy(path.join(webDir, name), path.join(siteDir, 'runtime', name));
  }
}
const constants = pageConstants();
const constantsPath = path.join(siteDir, 'runtime', 'page_constants.js');
if (!fs.existsSync(constantsPath) || fs.readFileSync(constantsPath, 'utf8') !== constants) {
  fs.writeFileSync(constantsPath, constants);
}

// ---- clang/
// The compiler's bundle.js, changed for the page (compiler-bundle.mjs).
function patchBundle(source, target) {
  if (!newer(source, target, [path.join(here, 'make-site.mjs'), path.join(here, 'compiler-bundle.mjs')])) return;
  const text = patchCompilerBundle(fs.readFileSync(source, 'utf8'), source);
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.writeFileSync(target, text);
}
patchBundle(path.join(compilerDir, 'bundle.js'), path.join(siteDir, 'clang', 'bundle.js'));
for (const name of fs.readdirSync(compilerDir)) {
  if (name.endsWith('.wasm')) copy(path.join(compilerDir, name), path.join(siteDir, 'clang', name));
}
const tarIn = path.join(compilerDir, 'llvm-resources.tar');
const tarOut = path.join(siteDir, 'clang', 'llvm-resources.tar');
const trimmed = newer(tarIn, tarOut, [path.join(here, 'trim-resources.mjs')]);
if (trimmed) {
  fs.mkdirSync(path.dirname(tarOut), { recursive: true });
  const r = trimResources(tarIn, tarOut);
  console.log(`make-site: llvm-resources.tar trimmed: ${r.kept} of ${r.entries} entries, ${r.outBytes} bytes`);
}

// The site's own compiler under node, with the trimmed archive: what the page
// runs (the copy of the bundle reads its files next to itself).
let siteCompiler = null;
async function loadSiteCompiler() {
  if (siteCompiler === null) {
    const bundle = pathToFileURL(path.join(siteDir, 'clang', 'bundle.js')).href;
    globalThis.tavloCompilerUrl = bundle;
    siteCompiler = await import(bundle);
    await siteCompiler.runLLVM(null, {}, {});
  }
  return siteCompiler;
}
function runSiteClang(compiler, args, tree) {
  const chunks = [];
  const collect = (b) => { if (b !== null) chunks.push(Buffer.from(b)); };
  let result = null;
  try {
    result = compiler.runClang(['clang++', ...args], tree,
                               { stdout: collect, stderr: collect, decodeASCII: false, synchronously: true });
  } catch (error) {
    if (!(error instanceof compiler.Exit)) throw error;
  }
  return { result, log: Buffer.concat(chunks).toString() };
}

// ---- sdk/
const sdkDir = path.join(siteDir, 'sdk');
copyTree(path.join(wasiDir, 'include'), path.join(sdkDir, 'include'));
copyTree(path.join(wasiDir, 'lib'), path.join(sdkDir, 'lib'));
copyTree(path.join(wasiDir, 'fonts'), path.join(sdkDir, 'fonts'));
copy(path.join(sourceDir, 'playground', 'sdk_prelude.h'), path.join(sdkDir, 'prelude.h'));
copy(path.join(sourceDir, 'playground', 'sdk_prelude_std.h'), path.join(sdkDir, 'prelude_std.h'));

const config = JSON.parse(fs.readFileSync(path.join(wasiDir, 'playground.json'), 'utf8'));
// The host's folders become the page's.
const toSite = (arg) => arg.replace(config.include, '/sdk/include').replace(config.lib, '/sdk/lib');
const compileFlags = config.compile.map(toSite);
const pch = path.join(sdkDir, 'prelude.h.pch');

// The tree below /sdk as the page's compiler sees it.
function sdkTree(folders) {
  const tree = {};
  const fill = (dir, node) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) fill(full, (node[entry.name] = {}));
      else node[entry.name] = new Uint8Array(fs.readFileSync(full));
    }
  };
  for (const name of folders) fill(path.join(sdkDir, name), (tree[name] = {}));
  return tree;
}

const headers = [];
const listHeaders = (dir) => {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) listHeaders(full);
    else headers.push(full);
  }
};
listHeaders(path.join(sdkDir, 'include'));
// A trimmed archive must still have every standard header: a file including
// all of C++20's (but <csignal>, which WASI refuses by design) compiles.
if (trimmed) {
  const compiler = await loadSiteCompiler();
  const names = [];
  const entries = fs.readFileSync(tarOut);
  for (let at = 0; at + 512 <= entries.length;) {
    const name = entries.toString('latin1', at, at + 100).replace(/\0.*$/s, '');
    if (name === '') break;
    const size = Number.parseInt(entries.toString('latin1', at + 124, at + 136).replace(/\0.*$/s, '').trim() || '0', 8);
    const m = /^include\/c\+\+\/v1\/([a-z][a-z_0-9]*)$/.exec(name);
    if (m && size > 0 && m[1] !== 'csignal') names.push(m[1]);
    at += 512 + Math.ceil(size / 512) * 512;
  }
  const source = `${names.map((n) => `#include <${n}>`).join('\n')}\n`;
  const { result, log } = runSiteClang(compiler, [...compileFlags, '-c', 'all.cpp', '-o', '/all.o'],
                                       { 'all.cpp': source });
  if (!result || !(result['all.o'] instanceof Uint8Array)) {
    fs.rmSync(tarOut, { force: true });  // made again next time
    console.error(`${log}make-site: the trimmed archive lacks what a standard header needs ` +
                  `(trim-resources.mjs dropped too much)`);
    process.exit(1);
  }
  console.log(`make-site: all ${names.length} standard headers compile with the trimmed archive`);
}

// A prelude of sdk/ (which may include the other preludes) precompiled with
// the page's flags for the paths its compiler sees; the build stops when it
// does not compile. `what` names it in that message.
async function precompilePrelude(name, what) {
  const compiler = await loadSiteCompiler();
  const sdk = sdkTree(['include']);
  for (const prelude of ['prelude.h', name]) sdk[prelude] = new Uint8Array(fs.readFileSync(path.join(sdkDir, prelude)));
  const { result, log } = runSiteClang(compiler, [...compileFlags, '-Xclang', '-fno-pch-timestamp', '-x',
                                                  'c++-header', `/sdk/${name}`, '-o', `/sdk/${name}.pch`],
                                       { sdk });
  process.stdout.write(log);
  const bytes = result && result.sdk && result.sdk[`${name}.pch`];
  if (!(bytes instanceof Uint8Array)) {
    console.error(`make-site: ${what} could not be precompiled`);
    process.exit(1);
  }
  return bytes;
}

if (newer(path.join(sdkDir, 'prelude.h'), pch, [...headers, tarOut, path.join(wasiDir, 'playground.json')])) {
  const bytes = await precompilePrelude('prelude.h', 'the prelude');
  fs.writeFileSync(pch, bytes);
  console.log(`make-site: sdk/prelude.h.pch: ${bytes.length} bytes`);
}

// The standard headers' prelude is precompiled by the page (compiler_worker.js),
// not shipped; it is precompiled here once, when it or what it includes
// changed, so a header that does not compile stops the build instead of
// leaving every page to fall back to the small prelude.
const standardStamp = path.join(wasiDir, 'prelude_std.stamp');
if (newer(path.join(sdkDir, 'prelude_std.h'), standardStamp, [pch])) {
  const started = Date.now();
  const bytes = await precompilePrelude('prelude_std.h', 'the standard headers\' prelude (playground/sdk_prelude_std.h)');
  const line = `sdk/prelude_std.h precompiles (in the page, once per browser): ${bytes.length} bytes, ` +
               `${((Date.now() - started) / 1000).toFixed(1)} s under node`;
  fs.writeFileSync(standardStamp, `${line}\n`);
  console.log(`make-site: ${line}`);
}

// ---- site.json
const files = [];
const sizes = {};
const hash = createHash('sha256');
const list = (dir) => {
  for (const entry of fs.readdirSync(path.join(siteDir, dir), { withFileTypes: true }).sort((a, b) => (a.name < b.name ? -1 : 1))) {
    const relative = `${dir}/${entry.name}`;
    if (entry.isDirectory()) {
      list(relative);
      continue;
    }
    const data = fs.readFileSync(path.join(siteDir, relative));
    files.push(relative);
    sizes[relative] = data.length;
    hash.update(relative).update('\0').update(data);
  }
};
list('clang');
list('sdk');
const version = JSON.parse(fs.readFileSync(path.join(compilerDir, '..', 'package.json'), 'utf8')).version;
const site = {
  version,
  hash: hash.digest('hex').slice(0, 16),
  // A program's compile: the flags every library was built with, the package's
  // headers and its precompiled prelude; diagnostics without colours.
  compile: [...compileFlags, '-include-pch', '/sdk/prelude.h.pch', '-fno-color-diagnostics'],
  link: config.link.map(toSite),
  files,
  sizes,
  // What the compiler Worker fetches (for its progress).
  compilerBytes: files.filter((f) => !f.startsWith('sdk/fonts/')).reduce((n, f) => n + sizes[f], 0),
};
const siteJson = `${JSON.stringify(site, null, 1)}\n`;
const siteJsonPath = path.join(siteDir, 'runtime', 'site.json');
if (!fs.existsSync(siteJsonPath) || fs.readFileSync(siteJsonPath, 'utf8') !== siteJson) {
  fs.writeFileSync(siteJsonPath, siteJson);
}
