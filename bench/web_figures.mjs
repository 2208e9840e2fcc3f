// The web pages' speed figures, measured in Debian's Chromium on 127.0.0.1 and
// printed, never judged (the browser tests count work instead):
//   - cubes.html: navigation to the first frame; the page's CPU (Chromium's
//     TaskDuration) and the program's wake-ups per second, animation halted and
//     running;
//   - the playground: navigation to the editor taking typing; the compiler's
//     load on a first and a second visit (Cache Storage); Run to the first frame
//     of examples/paint.cpp with the compiler loaded, and the compile and link
//     alone.
//
//   node bench/web_figures.mjs PAGES_DIR SITE_DIR
// PAGES_DIR is build-web/web, SITE_DIR build/wasi/site.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { figure, launchChromium, serveFolder, sleep } from '../tests/web/harness.mjs';

const [pagesDir, siteDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!pagesDir || !siteDir) {
  console.error('usage: web_figures.mjs PAGES_DIR SITE_DIR');
  process.exit(2);
}
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const probe = fs.readFileSync(path.join(source, 'tests/web/page_probe.js'), 'utf8');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-web-figures-'));
const LIMIT = { timeout: 300000 };
const pages = await serveFolder(pagesDir);
const site = await serveFolder(siteDir);
const browser = await launchChromium(work, { protocolTimeout: 300000 });
const now = (page) => page.evaluate(() => performance.now());
const seconds = (ms) => `${(ms / 1000).toFixed(2)} s`;

try {
  // ---------------------------------------------------------------- cubes.html
  const cubes = await browser.newPage();
  await cubes.evaluateOnNewDocument(probe);
  await cubes.goto(`${pages.origin}/cubes.html?seed=1`);
  await cubes.waitForFunction(() => window.tavloProbe.presents > 0, { ...LIMIT, polling: 'raf' });
  figure(`cubes.html: navigation to the first frame ${(await now(cubes)).toFixed(0)} ms`);
  const session = await cubes.createCDPSession();
  await session.send('Performance.enable');
  const sample = async () => {
    const { metrics } = await session.send('Performance.getMetrics');
    const task = metrics.find((m) => m.name === 'TaskDuration').value;
    const { at, waits } = await cubes.evaluate(() => ({ at: performance.now(), waits: window.tavloProbe.totalWaits() }));
    return { task, at, waits };
  };
  const measure = async () => {
    const a = await sample();
    await sleep(3000);
    const b = await sample();
    const elapsed = b.at - a.at;
    return { cpu: (100 * (b.task - a.task) * 1000) / elapsed, wakeups: (1000 * (b.waits - a.waits)) / elapsed };
  };
  const running = await measure();
  await cubes.keyboard.down('Control');
  await cubes.keyboard.press('H');
  await cubes.keyboard.up('Control');
  await sleep(500);
  const halted = await measure();
  figure(`cubes.html: CPU ${running.cpu.toFixed(2)} % of a core running, ${halted.cpu.toFixed(2)} % halted; ` +
         `wake-ups per second ${running.wakeups.toFixed(1)} running, ${halted.wakeups.toFixed(1)} halted`);
  await cubes.close();

  // ---------------------------------------------------------------- the playground
  const paint = fs.readFileSync(path.join(source, 'examples/paint.cpp'), 'utf8');
  for (const visit of ['first', 'second']) {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 900 });
    await page.goto(`${site.origin}/playground.html`);
    await page.waitForSelector('.cm-content', LIMIT);
    await page.click('.cm-content');
    await page.keyboard.type('x');
    await page.waitForFunction(() => document.querySelector('.cm-content').textContent.includes('x'),
                               { ...LIMIT, polling: 'raf' });
    const typed = await now(page);
    await page.waitForFunction(() => window.tavloPlayground, LIMIT);
    const loaded = await page.evaluate(async () => { await window.tavloPlayground.ready; return performance.now(); });
    figure(`playground, ${visit} visit: editor taking typing ${typed.toFixed(0)} ms, ` +
           `compiler loaded ${seconds(loaded)} after navigation`);
    const run = await page.evaluate(async (text) => {
      const started = performance.now();
      const result = await window.tavloPlayground.run([{ name: 'paint.cpp', text }], { args: [] });
      const built = performance.now() - started;
      while (!(window.tavloPlayground.counters.presents > 0)) await new Promise((r) => requestAnimationFrame(r));
      return { ok: result.ok, built, shown: performance.now() - started };
    }, paint);
    figure(`playground, ${visit} visit: examples/paint.cpp ${run.ok ? '' : '(FAILED) '}compile + link ` +
           `${seconds(run.built)}, Run to the first frame ${seconds(run.shown)}`);
    await page.evaluate(() => window.tavloPlayground.stop());
    await page.close();
  }
} finally {
  await browser.close();
  pages.server.close();
  site.server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
