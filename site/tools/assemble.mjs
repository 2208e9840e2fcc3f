// Puts the site folder together from what the builds made (scripts/build-site.sh
// runs it): one folder that any static server serves as it is.
//
//   node site/tools/assemble.mjs PAGES_DIR PLAYGROUND_DIR SOURCE_DIR SITE_DIR
//
// PAGES_DIR is build-web/web (the Emscripten pages), PLAYGROUND_DIR
// build/wasi/site (the playground's page, runtime, compiler and sdk),
// SOURCE_DIR the checkout. SITE_DIR gets:
//   index.html         links to the cubes demo, every example's page, the
//                      playground and the docs;
//   *.html, *.js, *.wasm, page.css, page_scripts.js   the pages;
//   playground/        the playground;
//   docs/              docs/*.md as HTML pages (cmark-gfm) and their pictures;
//   site.css, offline.js, sw.js   the look of the index and the docs, the
//                      service worker's registration (added to every page's
//                      head) and the service worker with the version's file list;
//   NAME.br, NAME.gz   beside every large file that compresses: brotli
//                      (quality 11) and gzip (level 9), for a server that
//                      sends them (scripts/serve-site.mjs).
// A file is copied, converted or compressed again only when its source
// changed, so a run with nothing changed reads and writes next to nothing.
// Files this tool made in an earlier run that no longer belong to the site
// are deleted; nothing else in SITE_DIR is touched.
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import zlib from 'node:zlib';

import { docsPages } from './docs.mjs';

const [pagesDir, playgroundDir, sourceDir, siteDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!siteDir) {
  console.error('usage: assemble.mjs PAGES_DIR PLAYGROUND_DIR SOURCE_DIR SITE_DIR');
  process.exit(2);
}
for (const [dir, what] of [[pagesDir, 'the pages (build-web/web)'], [playgroundDir, 'the playground (build/wasi/site)']]) {
  if (!fs.existsSync(path.join(dir, dir === pagesDir ? 'cubes.html' : 'playground.html'))) {
    console.error(`assemble: ${dir} does not hold ${what}: build it first`);
    process.exit(1);
  }
}
const here = path.dirname(new URL(import.meta.url).pathname);
const siteSource = path.join(here, '..');
fs.mkdirSync(siteDir, { recursive: true });
const bookPath = path.join(siteDir, '.assembled.json');
// {files: {path: {size, mtimeMs, hash}}}: what the last run made, and each file's hash.
let book = { files: {} };
try {
  book = JSON.parse(fs.readFileSync(bookPath, 'utf8'));
} catch { /* a first run */ }
if (!book || typeof book.files !== 'object' || book.files === null) book = { files: {} };
const made = new Map();  // path below SITE_DIR -> true, this run's files
const say = (text) => console.log(`assemble: ${text}`);

// Writes `data` at `relative` unless the file already holds it.
function write(relative, data) {
  made.set(relative, true);
  const target = path.join(siteDir, relative);
  const bytes = Buffer.isBuffer(data) ? data : Buffer.from(data);
  if (fs.existsSync(target) && fs.statSync(target).size === bytes.length && fs.readFileSync(target).equals(bytes)) return;
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.writeFileSync(target, bytes);
}
// Copies `source` to `relative` when the copy is missing or differs in size or time.
function copy(source, relative) {
  made.set(relative, true);
  const target = path.join(siteDir, relative);
  const from = fs.statSync(source);
  const to = fs.statSync(target, { throwIfNoEntry: false });
  if (to && to.size === from.size && Math.floor(to.mtimeMs) === Math.floor(from.mtimeMs)) return;
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.copyFileSync(source, target);
  fs.utimesSync(target, from.atime, from.mtime);
}
function filesBelow(dir, relative = '') {
  const out = [];
  for (const entry of fs.readdirSync(path.join(dir, relative), { withFileTypes: true })) {
    const name = path.posix.join(relative, entry.name);
    if (entry.isDirectory()) out.push(...filesBelow(dir, name));
    else if (entry.isFile()) out.push(name);
  }
  return out.sort();
}

// Every page loads offline.js (relative to its own folder) before its scripts.
function withOffline(html, relative) {
  const up = '../'.repeat(relative.split('/').length - 1);
  const tag = `<script src="${up}offline.js"></script>`;
  if (html.includes(tag)) return html;
  if (!/<\/head>/i.test(html)) throw new Error(`${relative}: no </head> to add offline.js before`);
  return html.replace(/<\/head>/i, `${tag}\n</head>`);
}

// ---- the pages and the playground
say('the pages and the playground');
for (const name of filesBelow(pagesDir)) {
  if (name.startsWith('playground/')) continue;  // an older run-web.sh's link to the playground
  if (name.endsWith('.html')) write(name, withOffline(fs.readFileSync(path.join(pagesDir, name), 'utf8'), name));
  else copy(path.join(pagesDir, name), name);
}
for (const name of filesBelow(playgroundDir)) {
  const relative = `playground/${name}`;
  if (name.endsWith('.html')) write(relative, withOffline(fs.readFileSync(path.join(playgroundDir, name), 'utf8'), relative));
  else copy(path.join(playgroundDir, name), relative);
}

// ---- the docs
say('the docs (cmark-gfm)');
const docs = docsPages(path.join(sourceDir, 'docs'));
for (const page of docs.pages) write(`docs/${page.file}`, withOffline(page.html, `docs/${page.file}`));
for (const name of docs.otherFiles) copy(path.join(sourceDir, 'docs', name), `docs/${name}`);

// ---- the index, the look, the service worker's registration
const examples = fs.readdirSync(pagesDir).filter((n) => n.endsWith('.html') && n !== 'cubes.html').sort()
  .map((file) => {
    const name = file.slice(0, -'.html'.length);
    const source = path.join(sourceDir, 'examples', `${name}.cpp`);
    return { file, name, description: fs.existsSync(source) ? firstSentence(fs.readFileSync(source, 'utf8')) : '' };
  });
// The first sentence of a source's opening comment: what the program does.
function firstSentence(text) {
  const lines = [];
  for (const line of text.split('\n')) {
    if (!line.startsWith('//')) break;
    lines.push(line.replace(/^\/\/\s*/, ''));
  }
  const comment = lines.join(' ').trim();
  const end = comment.search(/\.(\s|$)/);
  const sentence = end < 0 ? comment : comment.slice(0, end + 1);
  return sentence.length <= 160 ? sentence : `${sentence.slice(0, sentence.lastIndexOf(' ', 157))} ...`;
}
// The teachers' tasks the playground carries (playground/tasks/NAME/task.json).
const tasksDir = path.join(playgroundDir, 'tasks');
const tasks = (fs.existsSync(tasksDir) ? fs.readdirSync(tasksDir).sort() : [])
  .filter((name) => fs.existsSync(path.join(tasksDir, name, 'task.json')))
  .map((name) => ({ name, title: JSON.parse(fs.readFileSync(path.join(tasksDir, name, 'task.json'), 'utf8')).title }));
const escape = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const index = fs.readFileSync(path.join(siteSource, 'index.html'), 'utf8')
  .replace('<!-- examples -->', examples.map((e) =>
    `<li><a href="${e.file}">${escape(e.name)}</a>${e.description ? ` &mdash; ${escape(e.description)}` : ''}</li>`).join('\n'))
  .replace('<!-- tasks -->', tasks.map((t) =>
    `<li><a href="playground/playground.html?task=tasks/${encodeURIComponent(t.name)}/">${escape(String(t.title))}</a></li>`).join('\n'))
  .replace('<!-- docs -->', docs.pages.filter((p) => p.file !== 'index.html').map((p) =>
    `<li><a href="docs/${p.file}">${escape(p.title)}</a></li>`).join('\n'));
write('index.html', withOffline(index, 'index.html'));
copy(path.join(siteSource, 'site.css'), 'site.css');
copy(path.join(siteSource, 'offline.js'), 'offline.js');

// ---- the version: each file's hash, then one of them all
say('the version and the service worker');
const hashes = {}, sizes = {};
const listed = [...made.keys()].sort();
const version = createHash('sha256');
for (const relative of listed) {
  const stat = fs.statSync(path.join(siteDir, relative));
  const old = book.files[relative];
  let hash = old && old.size === stat.size && old.mtimeMs === stat.mtimeMs ? old.hash : null;
  if (!hash) hash = createHash('sha256').update(fs.readFileSync(path.join(siteDir, relative))).digest('hex').slice(0, 16);
  hashes[relative] = hash;
  sizes[relative] = stat.size;
  version.update(`${relative}\0${hash}\n`);
}
// Each example page's program (its .wasm, about 1 MB apiece compressed) is
// fetched when the page is first opened, not with the rest of the site: the
// whole site's first visit would otherwise fetch about half as much again.
const lazy = listed.filter((f) => !f.includes('/') && f.endsWith('.wasm'));
const site = { version: version.digest('hex').slice(0, 16), files: listed, lazy, sizes, hashes };
write('sw.js', `self.TAVLO_SITE = ${JSON.stringify(site)};\n${fs.readFileSync(path.join(siteSource, 'service_worker.js'), 'utf8')}`);

// ---- precompressed copies
const COMPRESSED = new Set(['.wasm', '.js', '.mjs', '.json', '.html', '.css', '.data', '.tar', '.pch', '.ttf',
                            '.a', '.h', '.txt', '.svg', '.cpp']);
const MIN_BYTES = 1024;
const toCompress = [...made.keys()].filter((f) => COMPRESSED.has(path.extname(f)) &&
  fs.statSync(path.join(siteDir, f)).size >= MIN_BYTES);
let compressed = 0;
const stale = (relative, suffix) => {
  const packed = fs.statSync(path.join(siteDir, relative + suffix), { throwIfNoEntry: false });
  return !packed || packed.mtimeMs < fs.statSync(path.join(siteDir, relative)).mtimeMs;
};
const work = toCompress.filter((f) => stale(f, '.br') || stale(f, '.gz'));
const workBytes = work.reduce((n, f) => n + fs.statSync(path.join(siteDir, f)).size, 0);
let doneBytes = 0;
if (work.length) say(`compressing ${work.length} files (${(workBytes / 1e6).toFixed(1)} MB) as brotli and gzip`);
for (const relative of toCompress) {
  made.set(`${relative}.br`, true);
  made.set(`${relative}.gz`, true);
}
const brotliCompress = promisify(zlib.brotliCompress), gzip = promisify(zlib.gzip);
// Written under another name first: a run stopped half way leaves no short copy.
function writeWhole(relative, bytes) {
  const target = path.join(siteDir, relative);
  fs.writeFileSync(`${target}.part`, bytes);
  fs.renameSync(`${target}.part`, target);
}
async function compress(relative) {
  const data = fs.readFileSync(path.join(siteDir, relative));
  const [brotli, gzipped] = await Promise.all([
    brotliCompress(data, { params: {
      [zlib.constants.BROTLI_PARAM_QUALITY]: 11,
      [zlib.constants.BROTLI_PARAM_LGWIN]: 24,
      [zlib.constants.BROTLI_PARAM_SIZE_HINT]: data.length,
    } }),
    gzip(data, { level: 9 }),
  ]);
  writeWhole(`${relative}.br`, brotli);
  writeWhole(`${relative}.gz`, gzipped);
  ++compressed;
  doneBytes += data.length;
  if (data.length > 5e6 || compressed % 20 === 0 || compressed === work.length) {
    say(`compressed ${compressed} of ${work.length} files, ${Math.round((100 * doneBytes) / workBytes)}% of the bytes`);
  }
}
// The largest first, on as many of node's threads as the machine has cores (at
// most four): the compiler's module alone is most of the work.
const queue = work.slice().sort((a, b) => fs.statSync(path.join(siteDir, b)).size - fs.statSync(path.join(siteDir, a)).size);
const lanes = Math.max(1, Math.min(4, os.cpus().length));
await Promise.all(Array.from({ length: lanes }, async () => {
  for (let next = queue.shift(); next !== undefined; next = queue.shift()) await compress(next);
}));

// ---- what an earlier run made and this one did not
let removed = 0;
const inside = (relative) => {
  const full = path.resolve(siteDir, relative);
  return full.startsWith(siteDir + path.sep);
};
for (const relative of Object.keys(book.files)) {
  if (!made.has(relative) && inside(relative)) {
    fs.rmSync(path.join(siteDir, relative), { force: true });
    ++removed;
  }
}
const newBook = { files: {} };
for (const relative of made.keys()) {
  const stat = fs.statSync(path.join(siteDir, relative), { throwIfNoEntry: false });
  if (stat) newBook.files[relative] = { size: stat.size, mtimeMs: stat.mtimeMs, hash: hashes[relative] || null };
}
fs.writeFileSync(bookPath, JSON.stringify(newBook));
const total = listed.reduce((n, f) => n + sizes[f], 0);
say(`${listed.length} files, ${(total / 1e6).toFixed(1)} MB, version ${site.version}` +
    (removed ? `; ${removed} files of an earlier build removed` : ''));
