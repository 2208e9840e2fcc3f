// Takes a screenshot of a TAVLO page once its program has drawn: Debian's
// Chromium, headless, driven by the puppeteer-core that scripts/setup-web.sh
// installs in tests/web/node_modules.
//
//   node scripts/web-screenshot.mjs PAGE OUT.png [--frames N] [--graphics]
//
// PAGE is a URL (http://127.0.0.1:8000/ball.html?client=400x300) or a page file
// (build-web/web/ball.html, a "?..." query allowed), whose folder is then served on
// 127.0.0.1 for the time of the shot. The shot is taken when the graphics window
// has shown N frames (default 1: the program's first picture); --graphics takes
// the graphics window's client area alone, pixel for pixel, instead of the page.
// CHROMIUM names another browser. Exit code 0 with the file written, 1 otherwise.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(new URL('../tests/web/', import.meta.url));
const puppeteer = require('puppeteer-core');

const args = process.argv.slice(2);
const option = (name) => {
  const i = args.indexOf(name);
  return i < 0 ? undefined : args.splice(i, 2)[1];
};
const graphicsOnly = args.includes('--graphics');
if (graphicsOnly) args.splice(args.indexOf('--graphics'), 1);
const frames = Number(option('--frames') ?? 1);
const [page, output] = args;
if (!page || !output || !(frames >= 1)) {
  console.error('usage: web-screenshot.mjs PAGE OUT.png [--frames N] [--graphics]');
  process.exit(2);
}

// A page file: serve its folder on a free loopback port.
let server = null, url = page;
if (!/^https?:/.test(page)) {
  const [file, query] = page.split('?');
  if (!fs.existsSync(file)) {
    console.error(`web-screenshot: no page ${file}`);
    process.exit(1);
  }
  const root = path.dirname(path.resolve(file));
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                  '.css': 'text/css' };
  server = http.createServer((request, response) => {
    const name = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (!name.startsWith(root + path.sep) || !fs.existsSync(name) || !fs.statSync(name).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream' });
    response.end(fs.readFileSync(name));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  url = `http://127.0.0.1:${server.address().port}/${path.basename(file)}${query ? '?' + query : ''}`;
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
});
let status = 1;
try {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1100, height: 900 });
  await tab.goto(url);
  const graphics = 'section.window[data-title="TAVLO Graphics"]';
  // The page counts the pictures each window has shown; it sets data-exit-code on
  // the body when the program ends (a bad option ends it before any picture).
  await tab.waitForFunction((selector, n) => {
    const e = document.querySelector(selector);
    return (e && Number(e.dataset.frames || 0) >= n) || document.body.dataset.exitCode !== undefined;
  }, { timeout: 60000, polling: 20 }, graphics, frames);
  const shown = await tab.$eval(graphics, (e) => Number(e.dataset.frames || 0)).catch(() => 0);
  if (shown < frames) {
    const said = await tab.$eval('#tavlo-status', (e) => e.textContent).catch(() => '');
    throw new Error(`the program ended after ${shown} frames: ${said}`);
  }
  if (graphicsOnly) {
    // The canvas's own pixels, also once the program has ended and closed the
    // window (?frames=N): its last picture stays on the canvas.
    const data = await tab.$eval(`${graphics} canvas`, (c) => c.toDataURL('image/png'));
    fs.writeFileSync(output, Buffer.from(data.split(',')[1], 'base64'));
  } else {
    await tab.screenshot({ path: output, fullPage: true });
  }
  console.log(`web-screenshot: ${output} (${url}, after ${shown} frames)`);
  status = 0;
} catch (error) {
  console.error(`web-screenshot: ${error.message}`);
} finally {
  await browser.close();
  if (server) server.close();
}
process.exit(status);
