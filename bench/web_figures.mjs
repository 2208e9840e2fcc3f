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
//   - bench/std_game.cpp, a program with the standard headers: Run to its first
//     frame in the page (the first Run once the compiler has loaded, built or
//     taken its standard headers' prelude and warmed up, and the next) beside a
//     native clang++ -O2 of it, and the ratios.
//
//   node bench/web_figures.mjs PAGES_DIR SITE_DIR [NATIVE_BUILD]
// PAGES_DIR is build-web/web, SITE_DIR build/wasi/site, NATIVE_BUILD build/ (its
// public headers; its libraries, when built, for the native link).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { figure, launchChromium, serveFolder, sleep } from '../tests/web/harness.mjs';

const [pagesDir, siteDir, nativeArg] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!pagesDir || !siteDir) {
  console.error('usage: web_figures.mjs PAGES_DIR SITE_DIR [NATIVE_BUILD]');
  process.exit(2);
}
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const nativeBuild = nativeArg || path.join(source, 'build');
const probe = fs.readFileSync(path.join(source, 'tests/web/page_probe.js'), 'utf8');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-web-figures-'));
const LIMIT = { timeout: 300000 };
const pages = await serveFolder(pagesDir);
// A page of the bench's own beside the site (never part of it): the runtime
// alone, as a page's module uses it, with its windows' desktop.
const harness = `<!doctype html><html><head><meta charset="utf-8"><link rel="stylesheet" href="page.css"></head>
<body><div id="desktop"></div><script type="module">
  const { createPlayground } = await import('./runtime/playground_runtime.js');
  window.pg = createPlayground({ desktop: document.getElementById('desktop') });
  // Whether a window of the program shows a picture (three colours or more).
  window.drawn = () => [...document.querySelectorAll('#desktop canvas')].some((canvas) => {
    if (canvas.width === 0) return false;
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const colours = new Set();
    for (let i = 0; i < data.length && colours.size < 3; i += 4 * 97) colours.add(data[i] << 16 | data[i + 1] << 8 | data[i + 2]);
    return colours.size >= 3;
  });
  // Run to the program's first picture: {ok, built (compile + link), shown, log}, in ms.
  window.timedRun = async (files) => {
    window.pg.stop();
    const started = performance.now();
    const result = await window.pg.run(files, { args: [] });
    const built = performance.now() - started;
    while (result.ok && !window.drawn()) await new Promise((r) => requestAnimationFrame(r));
    return { ok: result.ok, built, shown: performance.now() - started, log: result.log };
  };
</script></body></html>`;
const site = await serveFolder(siteDir, {
  special: (name) => (name === '/bench-harness.html' ? { body: harness, type: 'text/html' } : null),
});
const browser = await launchChromium(work, { protocolTimeout: 300000 });
const now = (page) => page.evaluate(() => performance.now());
const seconds = (ms) => `${(ms / 1000).toFixed(2)} s`;

// bench/std_game.cpp (about 300 lines on tavlo.h and <vector>, <string>,
// <algorithm>, <cmath>, <cstdio>): Run to its first frame in the page, the
// compiler loaded, beside Debian's clang++ -O2 compiling it natively (and
// linking it as the native build links an example, when NATIVE_BUILD, the
// third argument, has built the package's libraries), in the same minutes;
// and the ratio.
async function standardHeaders(page) {
  const text = fs.readFileSync(path.join(source, 'bench/std_game.cpp'), 'utf8');
  const shown = [];
  for (let i = 0; i < 2; ++i) {
    const run = await page.evaluate((program) => window.timedRun([{ name: 'std_game.cpp', text: program }]), text);
    if (!run.ok) {
      figure(`bench/std_game.cpp did not build in the page: ${run.log}`);
      return;
    }
    shown.push(run.shown);
    figure(`playground: bench/std_game.cpp (standard headers), run ${i + 1}: compile + link ${seconds(run.built)}, ` +
           `Run to the first frame ${seconds(run.shown)}`);
  }
  const objectDir = fs.mkdtempSync(path.join(work, 'native-'));
  const include = ['-I', path.join(source, 'package/include'), '-I', path.join(nativeBuild, 'public')];
  const started = Date.now();
  execFileSync('clang++', ['-O2', '-std=c++20', '-fno-exceptions', ...include, '-c',
                           path.join(source, 'bench/std_game.cpp'), '-o', path.join(objectDir, 'std_game.o')]);
  let native = Date.now() - started;
  let what = 'compile';
  // The link as the native build links an example (its link line, run with clang++).
  const linkLine = path.join(nativeBuild, 'examples/CMakeFiles/shapes.dir/link.txt');
  if (fs.existsSync(linkLine)) {
    const words = fs.readFileSync(linkLine, 'utf8').trim().split(/\s+/);
    const libraries = words.slice(words.indexOf('-o') + 2);
    const cwd = path.join(nativeBuild, 'examples');
    if (libraries.every((l) => l.startsWith('-') || fs.existsSync(path.resolve(cwd, l)))) {
      const linked = Date.now();
      execFileSync('clang++', ['-O2', path.join(objectDir, 'std_game.o'), '-o', path.join(objectDir, 'std_game'),
                               ...libraries], { cwd, stdio: 'ignore' });
      native += Date.now() - linked;
      what = 'compile + link';
    }
  }
  figure(`native clang++ -O2, bench/std_game.cpp: ${what} ${seconds(native)}; the page's Run to the first frame / ` +
         `native: ${(shown[0] / native).toFixed(2)}x the first Run, ${(shown[1] / native).toFixed(2)}x the next (the goal: at most 2x)`);
}

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
    await page.goto(`${site.origin}/bench-harness.html`);
    await page.waitForFunction(() => window.pg, LIMIT);
    const loaded = await page.evaluate(async () => { await window.pg.ready; return performance.now(); });
    figure(`playground, ${visit} visit: editor taking typing ${typed.toFixed(0)} ms, ` +
           `compiler loaded ${seconds(loaded)} after navigation`);
    const prepared = await page.evaluate(async () => window.pg.prepared);
    figure(`playground, ${visit} visit: the standard headers' prelude ${!prepared.standard ? 'FAILED' : prepared.built ? 'built' : 'taken from the store'} ` +
           `in ${seconds(prepared.ms)}, the compiler's warm-up ${seconds(prepared.warmUpMs)}`);
    const run = await page.evaluate((text) => window.timedRun([{ name: 'paint.cpp', text }]), paint);
    figure(`playground, ${visit} visit: examples/paint.cpp ${run.ok ? '' : '(FAILED) '}compile + link ` +
           `${seconds(run.built)}, Run to the first frame ${seconds(run.shown)}`);
    if (visit === 'second') await standardHeaders(page);
    await page.evaluate(() => window.pg.stop());
    await page.close();
  }
} finally {
  await browser.close();
  pages.server.close();
  site.server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
