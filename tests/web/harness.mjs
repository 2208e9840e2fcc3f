// What the browser tests share: the check lines and their tally, reading the
// native program's PNG pictures and comparing pixels, a loopback server of a
// folder, Debian's Chromium through puppeteer-core, and waits whose failure
// says "hung". Nothing here reads a clock for a verdict: waits have a hang
// limit only.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';
import { createRequire } from 'node:module';

import { parsePng, unfilterPng } from '../../playground/page/js/png.js';

const require = createRequire(import.meta.url);

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ------------------------------------------------------------ checks
const tally = { passed: 0, failed: 0 };
export function check(name, ok, detail = '') {
  if (ok) ++tally.passed; else ++tally.failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? ': ' + detail : ''}`);
}
export function figure(text) { console.log(`     ${text}`); }
// A group of checks that goes on to the next group when one of its waits hangs.
export async function group(name, body) {
  try {
    await body();
  } catch (error) {
    check(`${name}: ran to the end`, false, error && error.stack ? error.stack : String(error));
  }
}
// Prints "N passed, N failed" and ends with 0 only when every check passed.
export function finish() {
  console.log(`${tally.passed} passed, ${tally.failed} failed`);
  process.exit(tally.failed === 0 ? 0 : 1);
}

// ------------------------------------------------------------ pictures
// The native program's pictures: palette (1 to 8 bits) or 8-bit grey or RGB(A),
// not interlaced; as {width, height, rgb}. The playground's own reader (png.js),
// inflated with node's zlib.
export function readPng(file) {
  const info = parsePng(fs.readFileSync(file));
  return unfilterPng(info, zlib.inflateSync(info.data));
}

// The number of pixels that differ, or -1 when the sizes do.
export function differingPixels(a, b) {
  if (!a || !b || a.width !== b.width || a.height !== b.height) return -1;
  let count = 0;
  for (let i = 0; i < a.width * a.height * 3; i += 3) {
    if (a.rgb[i] !== b.rgb[i] || a.rgb[i + 1] !== b.rgb[i + 1] || a.rgb[i + 2] !== b.rgb[i + 2]) ++count;
  }
  return count;
}

// The canvas of the page's window with this title, as {width, height, rgb}, or null.
export function canvasPixels(page, title) {
  return page.evaluate((t) => {
    const canvas = document.querySelector(`section.window[data-title="${t}"] canvas`);
    if (!canvas) return null;
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const rgb = new Array(canvas.width * canvas.height * 3);
    for (let i = 0, j = 0; i < data.length; i += 4) {
      rgb[j++] = data[i]; rgb[j++] = data[i + 1]; rgb[j++] = data[i + 2];
    }
    return { width: canvas.width, height: canvas.height, rgb };
  }, title);
}

// ------------------------------------------------------------ the server
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
                '.wasm': 'application/wasm', '.css': 'text/css', '.json': 'application/json',
                '.png': 'image/png' };

// Serves `folder` on 127.0.0.1 (no-store: what a page does not request again came
// from its own storage). `special(pathname)` may answer first with a file path or
// {body, type}; `onRequest(pathname)` hears of every request, `onSent(pathname,
// bytes)` of what goes out. Resolves with {server, origin}.
export async function serveFolder(folder, { special = () => null, onRequest = () => {}, onSent = () => {} } = {}) {
  const root = path.resolve(folder);
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    onRequest(url.pathname);
    const name = path.posix.normalize(decodeURIComponent(url.pathname));
    const answer = special(name);
    if (answer && answer.body !== undefined) {
      onSent(url.pathname, Buffer.byteLength(answer.body));
      response.writeHead(200, { 'Content-Type': answer.type, 'Cache-Control': 'no-store' });
      response.end(answer.body);
      return;
    }
    let file = answer;
    if (!file) {
      file = path.join(root, name.replace(/^(\.\.[/\\])+/, ''));
      if (!file.startsWith(root)) file = null;
    }
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    onSent(url.pathname, fs.statSync(file).size);
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                              'Cache-Control': 'no-store' });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, origin: `http://127.0.0.1:${server.address().port}` };
}

// ------------------------------------------------------------ the browser
export const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

// puppeteer-core from tests/web/node_modules, or null when it is not installed.
export function puppeteerOrNull() {
  try {
    return require('puppeteer-core');
  } catch (error) {
    return null;
  }
}

// Debian's Chromium, headless, with its profile in `work`.
export function launchChromium(work, extra = {}) {
  return require('puppeteer-core').launch({
    executablePath: chromium,
    headless: true,
    userDataDir: path.join(work, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
    ...extra,
  });
}

// Waits with a hang limit: until(page, what, fn, ...args) waits for fn to hold in
// the page, poll(what, fn) for node's side; past hangMs they fail saying "hung",
// with what `context(page)` adds.
export function hangWaits(hangMs, { polling = 20, context = async () => '' } = {}) {
  async function until(page, what, fn, ...args) {
    try {
      await page.waitForFunction(fn, { timeout: hangMs, polling }, ...args);
    } catch (error) {
      const more = await context(page).catch(() => '');
      throw new Error(`hung: ${what} (not within ${hangMs / 1000} s${more})`);
    }
  }
  async function poll(what, fn) {
    const end = Date.now() + hangMs;
    for (;;) {
      const value = await fn();
      if (value) return value;
      if (Date.now() > end) throw new Error(`hung: ${what} (not within ${hangMs / 1000} s)`);
      await sleep(50);
    }
  }
  return { until, poll };
}
