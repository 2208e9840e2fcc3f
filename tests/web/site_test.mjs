// Test of the site folder (scripts/build-site.sh) as a visitor gets it from the
// project's own server (scripts/serve-site.mjs) on 127.0.0.1, in Debian's
// Chromium through puppeteer-core. It counts the bytes the server sends, never
// times:
//   - the server: a precompressed copy with its Content-Encoding, the type of
//     the file it stands for, Vary; the file itself to a client that takes no
//     compression; nothing outside the folder;
//   - a first visit that opens the playground and runs examples/shapes.cpp
//     (tavlo.h alone) transfers at most 20 MB, the whole site kept for offline
//     use among it; a second visit that does the same at most 0.3 MB;
//   - an example's page opened once keeps its program (fetched when the page
//     is first opened, not by the first visit);
//   - with the server stopped: the playground runs a program, that example's
//     page shows its first frame, a docs page opens with its pictures;
//   - a new version of the site (one docs page changed) is fetched beside the
//     old one while a page of the old one is open, which still gets the old
//     file and offers the new version; taken, the new version alone is kept,
//     and it fetched only what changed.
// The site is served from a copy (hard links, and a file of its own for what
// the version change writes), so the folder tested is never changed.
//
//   node tests/web/site_test.mjs SITE_DIR
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { createHash } from 'node:crypto';

import { createSiteServer } from '../../scripts/serve-site.mjs';
import { check, figure, finish, group, hangWaits, launchChromium, puppeteerOrNull } from './harness.mjs';

const siteDir = process.argv[2] && path.resolve(process.argv[2]);
if (!siteDir || !fs.existsSync(path.join(siteDir, 'sw.js'))) {
  console.error('usage: site_test.mjs SITE_DIR (the folder scripts/build-site.sh wrote)');
  process.exit(2);
}
if (!puppeteerOrNull() || !fs.existsSync(process.env.CHROMIUM || '/usr/bin/chromium')) {
  console.log('site test skipped: no Chromium or puppeteer-core (scripts/setup-web.sh)');
  process.exit(77);
}
const HANG_MS = 300000;
const { until } = hangWaits(HANG_MS);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-site-'));
const MB = (n) => `${(n / 1e6).toFixed(2)} MB`;

// ------------------------------------------------------------ the copy and the server
const served = path.join(work, 'site');
(function linkTree(from, to) {
  fs.mkdirSync(to, { recursive: true });
  for (const entry of fs.readdirSync(from, { withFileTypes: true })) {
    if (entry.isDirectory()) linkTree(path.join(from, entry.name), path.join(to, entry.name));
    else if (entry.isFile()) fs.linkSync(path.join(from, entry.name), path.join(to, entry.name));
  }
}(siteDir, served));

let sentBytes = 0;
const sentFiles = [];
let server = null;
let port = 0;
const sockets = new Set();
async function startServer() {
  server = createSiteServer(served, { onSent: (name, bytes) => { sentBytes += bytes; sentFiles.push([name, bytes]); } });
  server.on('connection', (socket) => { sockets.add(socket); socket.on('close', () => sockets.delete(socket)); });
  await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  port = server.address().port;
}
async function stopServer() {
  await new Promise((resolve) => {
    server.close(resolve);
    for (const socket of sockets) socket.destroy();
  });
}
await startServer();
const origin = `http://127.0.0.1:${port}`;
// Bytes sent since `from`, and the largest files among them.
const since = (from) => sentFiles.slice(from);
// What a server that does not compress would have sent for the same responses.
const uncompressed = (list) => list.reduce((n, [name, bytes]) => {
  const file = path.join(served, decodeURIComponent(name.endsWith('/') ? `${name}index.html` : name));
  return n + (bytes > 0 && fs.existsSync(file) && fs.statSync(file).isFile() ? fs.statSync(file).size : bytes);
}, 0);
const largest = (list) => list.slice().sort((a, b) => b[1] - a[1]).slice(0, 4).map(([n, b]) => `${n} ${MB(b)}`).join(', ');

function get(pathname, headers = {}) {
  return new Promise((resolve, reject) => {
    http.get(`${origin}${pathname}`, { headers }, (response) => {
      const chunks = [];
      response.on('data', (c) => chunks.push(c));
      response.on('end', () => resolve({ status: response.statusCode, headers: response.headers, body: Buffer.concat(chunks) }));
    }).on('error', reject);
  });
}

// ------------------------------------------------------------ the server
await group('the server', async () => {
  const wasm = fs.readdirSync(served).find((n) => n.endsWith('.wasm'));
  const plain = fs.statSync(path.join(served, wasm)).size;
  const br = await get(`/${wasm}`, { 'Accept-Encoding': 'gzip, deflate, br' });
  check('a .wasm goes brotli-compressed to a browser that takes it, as application/wasm, with Vary',
        br.status === 200 && br.headers['content-encoding'] === 'br' && br.headers['content-type'] === 'application/wasm' &&
        /accept-encoding/i.test(br.headers.vary || '') && br.body.length < plain &&
        br.body.equals(fs.readFileSync(path.join(served, `${wasm}.br`))),
        `${br.status} ${br.headers['content-encoding']} ${br.headers['content-type']} ${br.body.length} of ${plain}`);
  const gz = await get(`/${wasm}`, { 'Accept-Encoding': 'gzip;q=1, br;q=0' });
  const none = await get(`/${wasm}`);
  check('gzip when brotli is refused; the file itself without Accept-Encoding',
        gz.headers['content-encoding'] === 'gzip' && none.headers['content-encoding'] === undefined &&
        none.body.length === plain, `${gz.headers['content-encoding']}, ${none.body.length}`);
  const outside = await Promise.all(['/../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/docs/%00', '/%E0%A4%A']
    .map((p) => get(p)));
  check('nothing outside the folder, no bad address answered', outside.every((r) => r.status === 404),
        outside.map((r) => r.status).join(' '));
  const folder = await get('/docs');
  check('a folder without its slash is sent to it', folder.status === 301 && folder.headers.location === '/docs/');
});

// ------------------------------------------------------------ the browser
const browser = await launchChromium(work, { protocolTimeout: HANG_MS });

// Opens the playground, runs the program the editor shows (a first visit shows
// examples/shapes.cpp, on tavlo.h alone) and waits for its window to show a picture.
async function runInPlayground(page) {
  await page.goto(`${origin}/playground/playground.html?seed=1`);
  await until(page, 'the compiler ready', () => /compiler is ready/.test(document.querySelector('#status').textContent) &&
    !document.querySelector('#run').disabled);
  await page.click('#run');
  await until(page, 'the program\'s first picture', () => {
    const canvas = document.querySelector('#desktop section.window:not([hidden]) canvas');
    if (!canvas || canvas.width === 0) return false;
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const colours = new Set();
    for (let i = 0; i < data.length && colours.size < 3; i += 4 * 97) colours.add(data[i] << 16 | data[i + 1] << 8 | data[i + 2]);
    return colours.size >= 3;
  });
}
// The caches of the site's files (not the standard headers' prelude the
// playground's compiler builds and keeps beside them, tavlo-prelude-*).
const siteCaches = (page) => page.evaluate(async () => (await caches.keys())
  .filter((n) => n.startsWith('tavlo-') && !n.startsWith('tavlo-prelude-')).sort());

let first = null;
await group('first visit', async () => {
  const from = sentFiles.length;
  sentBytes = 0;
  first = await browser.newPage();
  await runInPlayground(first);
  const kept = await siteCaches(first);
  check('a first visit that runs a program in the playground keeps the whole site in one cache', kept.length === 1 &&
        (await first.evaluate(() => navigator.serviceWorker.controller !== null)), kept.join(' '));
  check('a first visit transfers at most 20 MB (the whole site among it)', sentBytes <= 20e6,
        `${MB(sentBytes)} in ${since(from).length} responses; the largest: ${largest(since(from))}`);
  figure(`first visit: ${MB(sentBytes)} sent by the server; a server that does not compress: ${MB(uncompressed(since(from)))}`);
});

await group('second visit', async () => {
  await first.close();
  const from = sentFiles.length;
  sentBytes = 0;
  const page = await browser.newPage();
  await runInPlayground(page);
  check('a second visit that runs a program transfers at most 0.3 MB', sentBytes <= 0.3e6,
        `${MB(sentBytes)}: ${since(from).map(([n, b]) => `${n} ${b}`).join(', ')}`);
  figure(`second visit: ${sentBytes} bytes sent by the server`);
  await page.close();
});

// An example's page, shown to its program's first picture.
const example = fs.existsSync(path.join(served, 'shapes.html')) ? 'shapes' : 'cubes';
async function openExample() {
  const page = await browser.newPage();
  await page.goto(`${origin}/${example}.html?seed=1`);
  await until(page, `${example}.html's first picture`, () => {
    const canvas = document.querySelector('section.window canvas');
    if (!canvas || canvas.width === 0) return false;
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const colours = new Set();
    for (let i = 0; i < data.length && colours.size < 3; i += 4 * 97) colours.add(data[i] << 16 | data[i + 1] << 8 | data[i + 2]);
    return colours.size >= 3;
  });
  return page;
}

await group('an example page opened once', async () => {
  const from = sentFiles.length;
  sentBytes = 0;
  const page = await openExample();
  const kept = await page.evaluate(async (name) => {
    const names = (await caches.keys()).filter((n) => n.startsWith('tavlo-site-'));
    return names.length === 1 && (await (await caches.open(names[0])).match(`${name}.wasm`)) !== undefined;
  }, example);
  check(`${example}.html's program is fetched when the page is first opened, and kept with the version`, kept,
        since(from).map(([n, b]) => `${n} ${b}`).join(', '));
  figure(`${example}.html opened the first time: ${MB(sentBytes)} sent by the server; ` +
         `a server that does not compress: ${MB(uncompressed(since(from)))}`);
  await page.close();
});

await group('offline', async () => {
  await stopServer();
  const play = await browser.newPage();
  await runInPlayground(play);
  check('with the server stopped the playground opens and runs a program', true);
  await play.close();
  await (await openExample()).close();
  check(`with the server stopped ${example}.html opens and shows its program's picture`, true);
  const doc = await browser.newPage();
  await doc.goto(`${origin}/docs/api.html`);
  await until(doc, 'the docs page with its colour chart', () => document.querySelector('#the-palette') &&
    [...document.images].some((img) => /palette\.png$/.test(img.src) && img.complete && img.naturalWidth > 0));
  check('with the server stopped the API reference opens with the colour chart', true);
  await doc.close();
});

await group('a new version', async () => {
  await startServer();
  const old = await browser.newPage();
  await old.goto(`${origin}/docs/index.html`);
  const oldCaches = await siteCaches(old);
  // The new version: docs/index.html changed (a file of its own in the copy),
  // its hash and the version in sw.js, as the build writes them.
  const changed = path.join(served, 'docs', 'index.html');
  const marker = '<p id="new-version">the new version</p>';
  const text = fs.readFileSync(changed, 'utf8').replace('</main>', `${marker}\n</main>`);
  fs.rmSync(changed);
  fs.writeFileSync(changed, text);
  const swPath = path.join(served, 'sw.js');
  const sw = fs.readFileSync(swPath, 'utf8');
  const line = sw.slice(0, sw.indexOf('\n'));
  const site = JSON.parse(line.slice('self.TAVLO_SITE = '.length, -1));
  site.hashes['docs/index.html'] = createHash('sha256').update(text).digest('hex').slice(0, 16);
  site.sizes['docs/index.html'] = Buffer.byteLength(text);
  site.version = createHash('sha256').update(JSON.stringify(site.hashes)).digest('hex').slice(0, 16);
  fs.rmSync(swPath);
  fs.writeFileSync(swPath, `self.TAVLO_SITE = ${JSON.stringify(site)};${sw.slice(sw.indexOf('\n'))}`);

  const from = sentFiles.length;
  sentBytes = 0;
  await old.evaluate(async () => { await (await navigator.serviceWorker.getRegistration()).update(); });
  await until(old, 'the new version fetched and waiting', async () =>
    (await navigator.serviceWorker.getRegistration()).waiting !== null);
  const both = await siteCaches(old);
  await old.reload();
  const oldStill = await old.evaluate(() => document.querySelector('#new-version') === null);
  check('while a page of the old version is open, the new one waits whole beside it and the page gets old files',
        both.length === 2 && both.includes(oldCaches[0]) && oldStill, `${both.join(' ')}, old file: ${oldStill}`);
  check('the new version fetched only what changed (the changed page and sw.js)', sentBytes < 0.1e6,
        `${sentBytes} bytes: ${since(from).map(([n, b]) => `${n} ${b}`).join(', ')}`);
  // The old page offers the new version; taking it reloads the page onto it.
  await until(old, 'the bar offering the new version', () => document.querySelector('#tavlo-new-version button') !== null);
  await old.click('#tavlo-new-version button');
  await until(old, 'the page reloaded onto the new version', () => document.querySelector('#new-version') !== null);
  const after = await siteCaches(old);
  check('a page of the old version offers the new one and reloads onto it; then the new version alone is kept',
        after.length === 1 && !after.includes(oldCaches[0]) && after[0] === `tavlo-site-${site.version}`, after.join(' '));
  await old.close();
  const fresh = await browser.newPage();
  await fresh.goto(`${origin}/docs/index.html`);
  check('a new page gets the new version', await fresh.evaluate(() => document.querySelector('#new-version') !== null));
  await fresh.close();
});

await browser.close();
await stopServer();
fs.rmSync(work, { recursive: true, force: true });
finish();
