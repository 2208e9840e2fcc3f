// Browser test of the playground's runtime (site/runtime/playground_runtime.js):
// Debian's Chromium driven by puppeteer-core against a loopback server of the
// site folder, plus a test-only page (served by this test, never part of the
// site) that creates a playground in a desktop element. Programs are compiled,
// linked and run in the browser and their pictures compared with the native
// build's headless runs of the same sources and options.
//
// No verdict depends on the machine's speed: checks count frames, waits,
// requests and page timer ticks; a wait that does not end within HANG_MS fails
// as "hung"; times are printed as figures only.
//
//   node tests/web/playground_runtime_test.mjs SITE_DIR NATIVE_BUILD_DIR
//
// SITE_DIR is build/wasi/site (target playground_site); NATIVE_BUILD_DIR holds
// examples/shapes and demo/cubes of the native build. Exit code 77 (CTest's
// "skipped"): no Chromium or no puppeteer-core.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { fileURLToPath } from 'node:url';
import { canvasPixels, check, chromium, differingPixels, figure, finish, group, hangWaits, launchChromium,
         puppeteerOrNull, readPng, serveFolder } from './harness.mjs';

if (!puppeteerOrNull()) {
  console.log('skipped: no puppeteer-core in tests/web/node_modules (scripts/setup-web.sh installs it)');
  process.exit(77);
}
if (!fs.existsSync(chromium)) {
  console.log(`skipped: no Chromium at ${chromium} (set CHROMIUM)`);
  process.exit(77);
}

const [siteDir, nativeDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!siteDir || !nativeDir) {
  console.error('usage: playground_runtime_test.mjs SITE_DIR NATIVE_BUILD_DIR');
  process.exit(2);
}
const sourceDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-playground-'));
const HANG_MS = 300000;  // loading a 75 MB compiler on a busy machine takes a while; more is a hang



// The native program's headless run in `cwd`; its --save picture.
function nativePicture(program, args, cwd) {
  fs.mkdirSync(cwd, { recursive: true });
  execFileSync(path.join(nativeDir, program), ['--headless', ...args, '--save', 'native.png'],
               { cwd, stdio: ['ignore', 'ignore', 'pipe'] });
  return readPng(path.join(cwd, 'native.png'));
}

// ------------------------------------------------------------ the server
// The site folder, and the test's own page at /harness.html. Counts requests.
const harness = `<!doctype html><html><head><meta charset="utf-8"><title>runtime test</title>
<link rel="stylesheet" href="runtime/page.css"></head><body>
<p class="controls"><button type="button" id="page-button">a button of the page</button>
<textarea id="notes"></textarea></p>
<main id="tavlo-desktop"></main>
<script type="module">
  // What the program's windows and waits do, seen from outside the runtime: the
  // frames put on each window's canvas, and each wait (the program Worker runs
  // through the test's probe, playground_worker_probe.js).
  window.probe = { presents: 0, frames: {}, waits: 0, expired: 0, paced: 0, unpacedShort: 0 };  // paced: waits a display frame ended
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    const frame = this.canvas.closest('section.window');
    if (frame) {
      const title = frame.dataset.title;
      window.probe.frames[title] = (window.probe.frames[title] || 0) + 1;
      window.probe.presents += 1;
    }
    return put.apply(this, args);
  };
  const RealWorker = window.Worker;
  window.Worker = class extends RealWorker {
    constructor(url, options) {
      const program = String(url).endsWith('/program_worker.js');
      super(program ? new URL('/probe/program_worker.js', location.href) : url, options);
      if (program) {
        this.addEventListener('message', (event) => {
          if (event.data.type !== 'probe-wait') return;
          window.probe.waits += 1;
          if (event.data.expired) window.probe.expired += 1;
          // A timer wait of a display frame or less (0: a timer already due) is paced
          // by the display's frames, or not; a paced one input did not wake ended
          // with a display frame.
          const { timeout, paced, woken } = event.data;
          if (paced && timeout >= 0 && !woken) window.probe.paced += 1;
          if (!paced && timeout > 0 && timeout <= 17) window.probe.unpacedShort += 1;
        });
      }
    }
  };
  // A file of the programs' folder as IndexedDB keeps it (null: none yet).
  window.stored = (name) => new Promise((resolve) => {
    const request = indexedDB.open('tavlo-playground');
    request.onerror = () => resolve(null);
    request.onsuccess = () => {
      const db = request.result;
      if (!db.objectStoreNames.contains('files')) { db.close(); resolve(null); return; }
      const get = db.transaction('files').objectStore('files').get(name);
      get.onsuccess = () => { db.close(); resolve(get.result ? new TextDecoder().decode(get.result.bytes) : null); };
      get.onerror = () => { db.close(); resolve(null); };
    };
  });
  window.record = { status: [], output: '', exits: [], progress: null, debug: [], files: null };
  window.pageButton = 0;
  document.getElementById('page-button').addEventListener('click', () => { window.pageButton += 1; });
  const debug = console.debug;
  console.debug = (text, ...rest) => { window.record.debug.push(String(text)); return debug(text, ...rest); };
  window.ticks = 0;
  setInterval(() => { window.ticks += 1; }, 10);
  const { createPlayground, browserSupport } = await import('./runtime/playground_runtime.js');
  window.support = browserSupport();
  window.pg = createPlayground({
    desktop: document.getElementById('tavlo-desktop'),
    onStatus: (text) => window.record.status.push(text),
    onProgress: (p) => { window.record.progress = p; },
    // The last part only: a program may print without end.
    onOutput: (stream, text) => { window.record.output = (window.record.output + text).slice(-400000); },
    onExit: (exit) => window.record.exits.push(exit),
    onFiles: (files) => { window.record.files = files; },
  });
  window.pg.ready.then(() => { window.loaded = true; }, (e) => { window.loadError = String(e); });
</script></body></html>`;
let requests = [];
const { server, origin: base } = await serveFolder(siteDir, {
  special: (name) => (name === '/harness.html' ? { body: harness, type: 'text/html' }
    : name === '/probe/program_worker.js' ? path.join(sourceDir, 'tests/web/playground_worker_probe.js') : null),
  onRequest: (name) => requests.push(name),
});

const browser = await launchChromium(work, { protocolTimeout: HANG_MS });

const { until } = hangWaits(HANG_MS, {
  polling: 50,
  context: async (page) => `; status ${JSON.stringify(await page.evaluate(() => window.record && window.record.status.slice(-3)))}`,
});

const sourceFile = (relative) => ({ name: path.basename(relative),
                                    text: fs.readFileSync(path.join(sourceDir, relative), 'utf8') });
const demoFiles = () => fs.readdirSync(path.join(sourceDir, 'demo')).filter((f) => /\.(cpp|h)$/.test(f))
  .map((f) => sourceFile(`demo/${f}`));

// Runs files in the page; resolves with run()'s answer (the program keeps running).
function run(page, files, args) {
  return page.evaluate(async (f, a) => {
    window.record.exits = [];
    return window.pg.run(f, { args: a });
  }, files, args);
}
const exits = (page) => page.evaluate(() => window.record.exits.length);
// The canvas of the program's first window (its main window), as RGB.
async function mainCanvas(page) {
  return canvasPixels(page, await page.evaluate(() => document.querySelector('section.window').dataset.title));
}
const frames = (page) => page.evaluate(() => window.probe.presents);
async function waitFrames(page, count) {
  const start = await frames(page);
  await until(page, `${count} more frames`, (n) => window.probe.presents >= n, start + count);
}
// Until the program stands still: two timer waits in a row ran out with no frame between.
async function settle(page) {
  await page.evaluate(() => { window.settled = null; });
  await until(page, 'the program coming to rest', () => {
    const c = window.probe;
    const s = window.settled || (window.settled = { presents: c.presents, expired: c.expired });
    if (c.presents !== s.presents) { s.presents = c.presents; s.expired = c.expired; }
    return c.expired - s.expired >= 2;
  });
}
async function ctrl(page, letter) {
  await page.keyboard.down('Control');
  await page.keyboard.press(`Key${letter}`);
  await page.keyboard.up('Control');
}
async function clickClient(page, x, y) {
  const box = await page.evaluate(() => {
    const title = document.querySelector('section.window').dataset.title;
    const r = document.querySelector(`section.window[data-title="${title}"] canvas`).getBoundingClientRect();
    return { x: r.x, y: r.y };
  });
  await page.mouse.click(box.x + x, box.y + y);
}
const gzipSize = (file) => zlib.gzipSync(fs.readFileSync(file), { level: 9 }).length;

let recorded = null;  // the recording made in group 5
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1300, height: 1000 });
  page.on('pageerror', (error) => console.log(`     page error: ${error.message}`));

  // -------------------------------------------------------- 1. the compiler loads
  requests = [];
  await page.goto(`${base}/harness.html`);
  await until(page, 'the runtime module loading', () => 'support' in window);
  check('this browser runs programs (browserSupport() is null)', (await page.evaluate(() => window.support)) === null,
        await page.evaluate(() => window.support));
  await until(page, 'the compiler loading', () => window.loaded || window.loadError);
  const loadError = await page.evaluate(() => window.loadError || null);
  check('the compiler loads', loadError === null, loadError || '');
  const progress = await page.evaluate(() => window.record.progress);
  check('the download reports its progress up to the whole', progress && progress.total > 0 &&
        progress.loaded === progress.total, JSON.stringify(progress));
  const prepared = await page.evaluate(() => window.pg.prepared);
  check('a first visit builds the standard headers\' prelude', prepared.standard && prepared.built, JSON.stringify(prepared));
  figure(`the standard headers' prelude built in ${(prepared.ms / 1000).toFixed(1)} s, ` +
         `the warm-up build ${(prepared.warmUpMs / 1000).toFixed(1)} s`);

  // -------------------------------------------------------- 2. shapes: pixels as native
  await group('shapes', async () => {
    const frames40 = ['--seed=1', '--frames=40'];
    const result = await run(page, [sourceFile('examples/shapes.cpp')], frames40);
    check('examples/shapes.cpp compiles and links in the page', result.ok, result.log);
    await until(page, 'shapes ending after 40 frames', () => window.record.exits.length > 0);
    const exit = await page.evaluate(() => window.record.exits[0]);
    const shown = await mainCanvas(page);
    const native = nativePicture('examples/shapes', ['--seed', '1', '--frames', '40'], path.join(work, 'shapes'));
    const differ = differingPixels(shown, native);
    check('shapes, seed 1, 40 frames: the canvas equals the native headless picture, exit code 0',
          differ === 0 && exit.code === 0, `${differ} pixels differ; exit ${JSON.stringify(exit)}`);
  });

  // -------------------------------------------------------- 3. the demo's own sources
  await group('cubes', async () => {
    const result = await run(page, demoFiles(), ['--seed=1', '--frames=40']);
    check('the demo\'s sources (demo/*.cpp, *.h) compile and link as one program', result.ok, result.log);
    await until(page, 'the demo ending after 40 frames', () => window.record.exits.length > 0);
    const shown = await mainCanvas(page);
    const native = nativePicture('demo/cubes', ['--seed', '1', '--frames', '40'], path.join(work, 'cubes'));
    const differ = differingPixels(shown, native);
    check('the demo, seed 1, 40 frames: the canvas equals the native headless picture', differ === 0,
          `${differ} pixels differ`);
  });

  // -------------------------------------------------------- 4. errors, output, a loop, stop
  await group('diagnostics, output and stop', async () => {
    const broken = await run(page, [{ name: 'main.cpp', text: '#include "tavlo.h"\n\nint f() { return missing; }\n' },
                                    { name: 'other.cpp', text: 'int g() { return 1; }\n' }], []);
    const d = broken.diagnostics.find((x) => x.severity === 'error');
    check('a compile error: nothing runs, the diagnostic names the tab, line and column',
          !broken.ok && d && d.file === 'main.cpp' && d.line === 3 && d.column === 18 && /missing/.test(d.message),
          JSON.stringify(broken.diagnostics));
    const unlinked = await run(page, [{ name: 'main.cpp', text: '#include "tavlo.h"\nint helper();\nint WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return helper(); }\n' }], []);
    check('a link error names the missing symbol and the file that asked for it',
          !unlinked.ok && unlinked.diagnostics.some((x) => x.severity === 'error' && /helper/.test(x.message) && x.file === 'main.cpp'),
          JSON.stringify(unlinked.diagnostics));

    const loop = `#include "tavlo.h"
#include <cstdio>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::printf("looping now\\n");
    std::fflush(stdout);
    for (;;) {}
}
`;
    // helper.cpp does not include tavlo.h: none of its names (the macro RGB) reach it.
    const helper = 'int RGB(int r, int g, int b) { return r + g + b; }\n';
    const result = await run(page, [{ name: 'main.cpp', text: loop }, { name: 'helper.cpp', text: helper }], []);
    check('a program that loops compiles, with a file that does not include tavlo.h as written',
          result.ok, result.log);
    await until(page, 'the program\'s printf reaching onOutput', () => window.record.output.includes('looping now'));
    check('printf reaches onOutput', true);
    const ticks = await page.evaluate(() => window.ticks);
    await until(page, 'the page\'s own timer ticking while the program loops', (t) => window.ticks >= t + 50, ticks);
    const stillRunning = await page.evaluate(() => window.pg.running && window.record.exits.length === 0);
    await page.evaluate(() => window.pg.stop());
    const after = await page.evaluate(() => ({ running: window.pg.running, exits: window.record.exits }));
    const answer = await page.evaluate(() => 6 * 7);
    check('for(;;){} in WinMain runs while the page stays responsive; stop() ends it at once',
          stillRunning && !after.running && after.exits.length === 1 && after.exits[0].reason === 'stopped' &&
          answer === 42, JSON.stringify(after));

    // 40 frames of 64 KB run 2.5 MB past the 1 MB stack: the program stops with
    // a trap that says so, instead of overwriting its own variables and going on.
    const deep = `#include <cstdio>
int counter = 7;
char* volatile seen;  // every frame's array escapes, so each frame holds all of it
int deep(int n) {
    char big[65536];
    seen = big;
    big[0] = char(n);
    return n == 0 ? counter : deep(n - 1) + big[0] - seen[0];
}
int main() { std::printf("counter %d\\n", deep(40)); return 0; }
`;
    const overflow = await run(page, [{ name: 'main.cpp', text: deep }], []);
    await until(page, 'the overflowing program ending', () => window.record.exits.length > 0);
    const ended = await page.evaluate(() => window.record.exits[0]);
    check('a stack overflow stops the program with a message naming the stack',
          overflow.ok && ended.code === null && /stack/.test(ended.reason), JSON.stringify(ended));
  });

  // -------------------------------------------------------- 4b. keys, focus, capture
  await group('keys, focus and capture', async () => {
    const echo = `#include <cstdio>
#include "tavlo.h"
int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {
    open_display(i, p, c, s);
    enable_input(InputKind::MouseRelease | InputKind::MouseMovement);
    int x = 0, y = 0;
    char key = 0;
    for (;;) {
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Key) std::printf("key %d\\n", key);
        if (kind == EventKind::MouseUp) std::printf("up %d %d\\n", x, y);
        if (kind == EventKind::MouseMove) std::printf("move %d %d\\n", x, y);
        std::fflush(stdout);
    }
    close_display();
    std::printf("quit\\n");
    return 0;
}
`;
    const result = await run(page, [{ name: 'main.cpp', text: echo }], []);
    check('a program that echoes its events compiles', result.ok, result.log);
    await waitFrames(page, 1);
    const output = () => page.evaluate(() => window.record.output);
    // The page's button has the focus (as after pressing Run); a press in the
    // window gives the window the keys: the program gets z, Space and q, the
    // button is not pressed.
    await page.focus('#page-button');
    await clickClient(page, 300, 300);
    await page.keyboard.type('z q');
    await until(page, 'the keys typed after the click', () => /key 122\nkey 32\nkey 113\n/.test(window.record.output));
    check('a press in the window gives it the keys at once; the page\'s button that had the focus gets none',
          (await page.evaluate(() => window.pageButton)) === 0);
    // A click in the page's text field takes the keys back.
    await page.click('#notes');
    await page.keyboard.type('ab');
    await page.evaluate(() => { window.record.output += 'mark\n'; });
    await clickClient(page, 300, 300);
    await page.keyboard.type('c');
    await until(page, 'the key typed after clicking the window again', () => /mark\n[^]*key 99\n/.test(window.record.output));
    check('keys typed in a field of the page stay there; a click in the window takes them back',
          (await page.$eval('#notes', (t) => t.value)) === 'ab' && !/mark\n[^]*key 9[78]\n/.test(await output()));

    // Ctrl pressed in the window, its release never seen there (the person
    // switched tabs with Ctrl held), then q: a letter, not Ctrl+Q.
    const keys = await page.createCDPSession();
    const key = (type, k, code, vk, modifiers) => keys.send('Input.dispatchKeyEvent',
      { type, key: k, code, windowsVirtualKeyCode: vk, modifiers, ...(type === 'keyDown' ? { text: k } : {}) });
    await key('rawKeyDown', 'Control', 'ControlLeft', 17, 2);
    const other = await browser.newPage();
    await other.bringToFront();
    await other.close();
    await page.bringToFront();
    await clickClient(page, 300, 300);
    await key('keyDown', 'q', 'KeyQ', 81, 0);
    await key('keyUp', 'q', 'KeyQ', 81, 0);
    await until(page, 'the q typed after the tab switch', () => /key 99\n[^]*key 113\n/.test(window.record.output) ||
                window.record.exits.length > 0);
    check('Ctrl whose release went elsewhere is not held for ever: q is a key, not Ctrl+Q',
          (await exits(page)) === 0, (await output()).slice(-80));

    // A drag from the window released outside it: the move and the release
    // arrive at their place outside the client area (595 x 491: origin at 297, 245).
    await page.evaluate(() => { window.record.output = ''; });
    const box = await page.evaluate(() => {
      const r = document.querySelector('section.window canvas').getBoundingClientRect();
      return { x: r.x, y: r.y };
    });
    await page.mouse.move(box.x + 40, box.y + 100);
    await page.mouse.down();
    await page.mouse.move(box.x + 20, box.y + 100);
    await page.mouse.move(box.x - 30, box.y + 100);
    await page.mouse.up();
    await until(page, 'the release outside the window', () => /up /.test(window.record.output));
    const dragged = await output();
    check('a drag released outside the window: the move and the release arrive, in the program\'s coordinates',
          /move -327 145\n/.test(dragged) && /up -327 145\n/.test(dragged), JSON.stringify(dragged));
    await page.evaluate(() => window.pg.stop());
  });

  // -------------------------------------------------------- 4c. output and drawing without end
  await group('floods', async () => {
    const floods = {
      'printf without end': `#include <cstdio>
int main() { for (unsigned i = 0;; ++i) std::printf("line %u\\n", i); }
`,
      'drawing without end, the call log on': `#include "tavlo.h"
int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {
    open_display(i, p, c, s);
    for (int n = 0;; ++n) draw_line(Color::Red, 1, -100, n % 200 - 100, 100, n % 200 - 100);
}
`,
    };
    for (const [name, text] of Object.entries(floods)) {
      await page.evaluate(() => { window.record.output = ''; window.record.debug = []; });
      const result = await run(page, [{ name: 'main.cpp', text }], []);
      await until(page, `${name}: output or frames arriving`, () =>
        window.record.output.length > 100000 || window.record.debug.length > 10);
      const ticks = await page.evaluate(() => window.ticks);
      await until(page, `${name}: the page's own timer ticking meanwhile`, (t) => window.ticks >= t + 50, ticks);
      await page.evaluate(() => window.pg.stop());
      const after = await page.evaluate(() => ({ running: window.pg.running, exits: window.record.exits.length }));
      check(`${name}: the page stays responsive and stop() ends the program`,
            result.ok && !after.running && after.exits === 1, JSON.stringify(after));
    }
  });

  // -------------------------------------------------------- 4d. memory and traps
  await group('memory and traps', async () => {
    const ending = async (files) => {
      const result = await run(page, files, ['--seed=1']);
      await until(page, 'the program ending', () => window.record.exits.length > 0);
      return { result, exit: await page.evaluate(() => window.record.exits[0]) };
    };
    const grow = await ending([{ name: 'main.cpp', text: `#include <vector>
int main() {
    std::vector<char*> blocks;
    for (;;) {
        char* block = new char[1 << 20];
        block[0] = 1;
        blocks.push_back(block);
    }
}
` }]);
    check('a program that allocates without end is ended at the limit, told in plain words',
          grow.result.ok && grow.exit.code === null && /ran out of memory/.test(grow.exit.reason) &&
          /512 MB/.test(grow.exit.reason), JSON.stringify(grow.exit));

    const aborting = await ending([{ name: 'main.cpp', text: `#include <cstdlib>
[[gnu::noinline]] void check_value(int n) {
    if (n > 0) std::abort();
}
int main(int argc, char**) {
    check_value(argc);
    return 0;
}
` }]);
    check('abort() says what happened, in which function and at which line',
          aborting.exit.code === null && /abort\(\) was called/.test(aborting.exit.reason) &&
          /in check_value\b/.test(aborting.exit.reason) && /main\.cpp:3\)/.test(aborting.exit.reason) &&
          aborting.exit.file === 'main.cpp' && aborting.exit.line === 3 && !/unreachable/.test(aborting.exit.reason),
          JSON.stringify(aborting.exit));
    const dividing = await ending([{ name: 'main.cpp', text: `volatile int zero = 0;
[[gnu::noinline]] int share(int total) { return total / zero; }
int main() { return share(10); }
` }]);
    check('a division by zero says so, with its function and line',
          /divided by zero/.test(dividing.exit.reason) && /share/.test(dividing.exit.reason) &&
          /main\.cpp:2\)/.test(dividing.exit.reason), JSON.stringify(dividing.exit));
    // WebAssembly's memory has an address 0: a write there would go on silently.
    // (A file on tavlo.h has the prelude, whose handler names the null pointer.)
    const nowhere = await ending([{ name: 'main.cpp', text: `#include "tavlo.h"
int* volatile target = nullptr;
[[gnu::noinline]] void mark(int value) { *target = value; }
int main() { mark(1); return 0; }
` }]);
    check('a write through a null pointer stops the program and says so, with its function and line',
          nowhere.exit.code === null && /null pointer/.test(nowhere.exit.reason) && /in mark\b/.test(nowhere.exit.reason) &&
          /main\.cpp:3\)/.test(nowhere.exit.reason), JSON.stringify(nowhere.exit));
  });

  // -------------------------------------------------------- 4e. the program's folder
  await group('the program\'s folder', async () => {
    const writer = await run(page, [{ name: 'main.cpp', text: `#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
static char block[1 << 20];
int main() {
    std::FILE* small = std::fopen("small.txt", "w");
    std::fputs("hello", small);
    std::fclose(small);
    std::FILE* big = std::fopen("big.dat", "wb");
    for (int i = 0; i < 17; ++i) std::fwrite(block, 1, sizeof block, big);
    std::fclose(big);
    std::FILE* full = std::fopen("full.dat", "wb");
    long written = 0;
    while (std::fwrite(block, 1, sizeof block, full) == sizeof block) written += 1;
    std::printf("full after %ld MB\\n", written);
    std::fclose(full);
    std::remove("full.dat");
    mkdir("d", 0777);
    int moved = std::rename("d", "d/e");
    std::printf("rename into itself %d %s\\n", moved, errno == EINVAL ? "EINVAL" : "other");
    std::printf("empty name %s\\n", std::fopen("", "r") ? "opened" : "refused");
    return 0;
}
` }], []);
    await until(page, 'the writer ending', () => window.record.exits.length > 0);
    const said = await page.evaluate(() => ({ output: window.record.output, status: window.record.status.join('\n'),
                                              exit: window.record.exits[0] }));
    const files = await page.evaluate(() => window.pg.files());
    const full = /full after (\d+) MB/.exec(said.output);
    check('a file over 16 MB is not kept (and said so); a folder full at 256 MB fails the write, not the page',
          writer.ok && said.exit.code === 0 && files['small.txt'] && files['small.txt'].size === 5 &&
          !files['big.dat'] && /big\.dat \(17\.0 MB\) is larger than the 16 MB/.test(said.status) &&
          full && Number(full[1]) >= 200 && Number(full[1]) < 256,
          `${JSON.stringify(files)}; ${said.output.slice(-200)}`);
    check('the program\'s folder refuses a folder moved into itself and an empty file name',
          /rename into itself -1 EINVAL/.test(said.output) && /empty name refused/.test(said.output), said.output);

    const reader = `#include <cstdio>
int main() {
    char text[16] = {};
    std::FILE* f = std::fopen("small.txt", "r");
    if (!f) { std::printf("small.txt is gone\\n"); return 0; }
    std::fgets(text, sizeof text, f);
    std::printf("small.txt holds %s\\n", text);
    return 0;
}
`;
    await page.evaluate(() => { window.record.output = ''; });
    await run(page, [{ name: 'main.cpp', text: reader }], []);
    await until(page, 'the reader ending', () => window.record.exits.length > 0);
    const read = await page.evaluate(() => window.record.output);
    const deleted = await page.evaluate(() => window.pg.deleteFile('small.txt'));
    await page.evaluate(() => { window.record.output = ''; });
    await run(page, [{ name: 'main.cpp', text: reader }], []);
    await until(page, 'the reader ending again', () => window.record.exits.length > 0);
    const again = await page.evaluate(() => window.record.output);
    check('a kept file is read when a program opens it; deleted, it is gone from the list and the next run',
          /small\.txt holds hello/.test(read) && deleted === '' && /small\.txt is gone/.test(again) &&
          !(await page.evaluate(() => window.pg.files()))['small.txt'], `${read} / ${deleted} / ${again}`);
  });

  // -------------------------------------------------------- 5. record, replay
  await group('record and replay', async () => {
    const result = await run(page, demoFiles(), ['--seed=1']);
    check('the demo runs without a frame limit', result.ok, result.log);
    await waitFrames(page, 3);
    await page.click('section.window .caption');  // a window has the focus: keys go to the program
    await ctrl(page, 'R');
    await until(page, 'Record Script checked', () =>
      [...document.querySelectorAll('.menubar li.checked')].some((li) => li.textContent.includes('Record')));
    const refused = await page.evaluate(() => window.pg.loadFile('TAVLO.SCR', new File(['TAVLO_MOUSE(1, 2);\n'], 'other.SCR'))
      .then(() => 'loaded', (error) => error.message));
    check('loading TAVLO.SCR is refused while Record Script is on (the program says it uses the file)',
          /TAVLO\.SCR is in use by the program/.test(refused), refused);
    await waitFrames(page, 4);
    await clickClient(page, 35, 105);  // scale up
    await waitFrames(page, 4);
    await clickClient(page, 557, 15);  // change colour
    await waitFrames(page, 4);
    await clickClient(page, 35, 105);
    // The click is in the file (the program has taken it: frames counted before
    // that can be animation it drew first), then more frames than the click's
    // own redraw, so periodic events have come after it to be counted.
    await until(page, 'the third click recorded',
                async () => /TAVLO_MOUSE\(-262, 140\);\n$/.test((await window.stored('TAVLO.SCR')) || ''));
    await waitFrames(page, 4);
    // The page hidden (a tab switched away, or being left): the program's
    // windows hear that the session ends, and the recording writes its counted
    // periodic line while it goes on recording.
    const before = await page.evaluate(() => window.stored('TAVLO.SCR'));
    await page.evaluate(() => {
      Object.defineProperty(document, 'visibilityState', { value: 'hidden', configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
      delete document.visibilityState;
    });
    await until(page, 'the counted periodic line written when the page was hidden',
                async (old) => {
                  const text = (await window.stored('TAVLO.SCR')) || '';
                  return text.length > old.length && /TAVLO_MOUSE\(-262, 140\);\nTAVLO_PERIODIC\([1-9][0-9]*\);\n$/.test(text);
                },
                before);
    check('a hidden page makes the recording write its counted periodic line (the program\'s ' +
          'tavlo_page_leaving, called while it waits)', true);
    await waitFrames(page, 4);
    const flushed = await page.evaluate(() => window.stored('TAVLO.SCR'));
    await ctrl(page, 'R');
    // Stopping writes one more counted periodic line, after the one the hidden page wrote.
    await until(page, 'the recording closed with its counted periodic line',
                async (old) => {
                  const text = (await window.stored('TAVLO.SCR')) || '';
                  return text.length > old.length && /TAVLO_PERIODIC\([1-9][0-9]*\);\n$/.test(text);
                }, flushed || '');
    const script = await page.evaluate(() => window.stored('TAVLO.SCR'));
    recorded = script;
    check('Ctrl+R, clicks, Ctrl+R record the clicks in TAVLO.SCR',
          script.split('TAVLO_MOUSE').length - 1 === 3, JSON.stringify(script));

    const downloads = path.join(work, 'downloads');
    fs.mkdirSync(downloads);
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await page.evaluate(() => window.pg.downloadFile('TAVLO.SCR'));
    const downloaded = path.join(downloads, 'TAVLO.SCR');
    const end = Date.now() + HANG_MS;
    while (!(fs.existsSync(downloaded) && fs.readFileSync(downloaded, 'utf8') === script)) {
      if (Date.now() > end) throw new Error('hung: the download of TAVLO.SCR');
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    check('downloadFile() saves the recording', true);

    // Run again; Ctrl+P comes before the program's first tick, as the native
    // replay's plan presses it at tick 0.
    await page.evaluate(() => { window.record.debug = []; });
    const again = await run(page, demoFiles(), ['--seed=1']);
    await ctrl(page, 'P');
    await until(page, 'the replay reaching the end of the script',
                () => window.record.debug.some((line) => line.includes('EOF encountered')));
    await settle(page);
    const replayed = await mainCanvas(page);
    const replayDir = path.join(work, 'replay');
    fs.mkdirSync(replayDir);
    fs.writeFileSync(path.join(replayDir, 'TAVLO.SCR'), fs.readFileSync(downloaded));
    fs.writeFileSync(path.join(replayDir, 'plan.txt'), '0 ctrl P\n');
    const native = nativePicture('demo/cubes', ['--seed', '1', '--input', 'plan.txt'], replayDir);
    const differ = differingPixels(replayed, native);
    check('Ctrl+P in a new run replays the recording to the native replay\'s picture',
          again.ok && differ === 0, `${differ} pixels differ`);
    await page.evaluate(() => window.pg.stop());
  });

  // -------------------------------------------------------- 5b. sixty frames a second
  await group('sixty frames a second', async () => {
    // Every program before this one ran on the 50 ms timer: none of its waits was paced.
    const before = await page.evaluate(() => ({ paced: window.probe.paced, unpacedShort: window.probe.unpacedShort }));
    // 480 ticks, then the program ends. Each tick fills a few large rectangles: a
    // tick that takes a while makes the timer due again before the program waits
    // more often, where a second tick in the same display frame would come.
    const TICKS = 480;
    const game = { name: 'main.cpp', text: '#include <cstdio>\n#include "tavlo.h"\n\n' +
      'int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {\n    open_display(i, p, c, s);\n' +
      '    set_logging(0);\n    set_frame_rate(60);\n    set_animation(AnimationMode::Animate);\n' +
      '    int x = 0, y = 0, ticks = 0;\n    char key = 0;\n' +
      `    while (ticks < ${TICKS}) {\n        int kind = wait_event(&x, &y, &key);\n` +
      '        if (kind == EventKind::Quit) break;\n        if (kind != EventKind::Periodic) continue;\n' +
      '        ++ticks;\n        for (int n = 0; n < 8; ++n) draw_rectangle((ticks + n) % 24, -200, -200, 200, 200, 0);\n' +
      '        std::printf("tick %d\\n", ticks);\n    }\n    close_display();\n    return 0;\n}\n' };
    await page.evaluate(() => { window.record.output = ''; window.probe.paced = 0; window.probe.unpacedShort = 0; });
    const result = await run(page, [game], []);
    check('a program asking for 60 frames a second compiles and runs', result.ok, result.log);
    // The figure: from the 60th tick to the end, the ticks and the page's animation frames a second.
    await until(page, 'the 60th tick', () => window.record.output.includes('tick 60\n'));
    await page.evaluate(() => {
      window.sixty = { at: performance.now(), frames: 0 };
      const count = () => { if (window.record.exits.length === 0) { ++window.sixty.frames; requestAnimationFrame(count); } };
      requestAnimationFrame(count);
    });
    await until(page, `the program ending after ${TICKS} ticks`, () => window.record.exits.length > 0);
    const measured = await page.evaluate(() => ({
      seconds: (performance.now() - window.sixty.at) / 1000, frames: window.sixty.frames, exit: window.record.exits[0],
      last: window.record.output.trimEnd().split('\n').pop(), paced: window.probe.paced, unpaced: window.probe.unpacedShort,
    }));
    const rate = (n) => (n / measured.seconds).toFixed(1);
    figure(`60 frames a second asked for: ${rate(TICKS - 60)} ticks a second, the page drew ${rate(measured.frames)} ` +
           'frames a second (the 50 ms timer gives at most 10 ticks a second)');
    // Each tick but the first needs a wait of its own that a display frame ended.
    check('the 60-a-second timer waits for the display\'s frames: each tick has a wait a display frame ended, ' +
          'no short timer wait is unpaced; programs on the 50 ms timer never wait paced',
          measured.exit.code === 0 && measured.last === `tick ${TICKS}` && measured.paced >= TICKS - 1 &&
          measured.unpaced === 0 && before.paced === 0,
          JSON.stringify({ ...measured, before }));
  });

  // -------------------------------------------------------- 6. figures
  await group('figures', async () => {
    const paint = sourceFile('examples/paint.cpp');
    await page.evaluate(() => { window.probe.presents = 0; });
    const result = await run(page, [paint], []);
    await until(page, 'paint\'s first frame', () => window.probe.presents > 0);
    check('paint.cpp compiles, links and draws', result.ok, result.log);
    await page.evaluate(() => window.pg.stop());
    let gzipped = 0, raw = 0;
    const fetched = [...new Set(requests)].filter((p) => p !== '/harness.html' && fs.existsSync(path.join(siteDir, p)));
    for (const p of fetched) {
      raw += fs.statSync(path.join(siteDir, p)).size;
      gzipped += gzipSize(path.join(siteDir, p));
    }
    const fonts = fetched.filter((p) => p.startsWith('/sdk/fonts/')).map((p) => path.basename(p));
    figure(`first visit, the runtime's files (${fetched.length} files, the page's own not counted; ` +
           `fonts the programs opened: ${fonts.join(' ')}): ` +
           `${(raw / 1e6).toFixed(2)} MB, gzip -9 ${(gzipped / 1e6).toFixed(2)} MB`);
  });

  // -------------------------------------------------------- 7. a second visit
  await group('second visit', async () => {
    await until(page, 'the compiler\'s and the sdk\'s files in Cache Storage', async () => {
      const site = await (await fetch('runtime/site.json')).json();
      const names = await caches.keys();
      const cache = await caches.open(names.find((n) => n.startsWith('tavlo-playground-')));
      const cached = new Set((await cache.keys()).map((r) => new URL(r.url).pathname.slice(1)));
      return site.files.every((f) => f.startsWith('sdk/fonts/') || cached.has(f));
    });
    await page.close();
    const second = await browser.newPage();
    requests = [];
    await second.goto(`${base}/harness.html`);
    await until(second, 'the compiler loading again', () => window.loaded || window.loadError);
    const fetched = requests.filter((p) => p.startsWith('/clang/') || p.startsWith('/sdk/'));
    check('a second visit takes the compiler and the sdk from Cache Storage: no request for them',
          fetched.length === 0 && (await second.evaluate(() => window.loadError || null)) === null,
          `${fetched.length} requests: ${fetched.slice(0, 5).join(' ')}`);
    await until(second, 'the recording read back from the browser\'s storage',
                async (text) => (await window.stored('TAVLO.SCR')) === text, recorded);
    check('the recording made on the first visit is TAVLO.SCR on the second', true);

    // A recording in progress outlives a reload of the page.
    const started = await run(second, demoFiles(), ['--seed=1']);
    await waitFrames(second, 3);
    await second.click('section.window .caption');
    await ctrl(second, 'R');
    await waitFrames(second, 2);
    await clickClient(second, 35, 105);
    await until(second, 'the click recorded', async () => /TAVLO_MOUSE\(-262, 140\);/.test((await window.stored('TAVLO.SCR')) || ''));
    await second.reload();
    await until(second, 'the runtime after the reload', () => 'pg' in window);
    await until(second, 'the click read back after the reload',
                async () => /TAVLO_MOUSE\(-262, 140\);\n/.test((await window.stored('TAVLO.SCR')) || ''));
    check('a reload in the middle of a recording keeps the lines recorded', started.ok);

    const loaded = await second.evaluate(() => window.pg.loadFile('TAVLO.SCR', new File(['TAVLO_MOUSE(1, 2);\n'], 'mine.SCR')));
    check('loadFile() puts a file where Playback Script reads it (no program running), and says so in a line',
          /^Loaded mine\.SCR as TAVLO\.SCR \(19 bytes\)/.test(loaded) &&
          (await second.evaluate(() => window.stored('TAVLO.SCR'))) === 'TAVLO_MOUSE(1, 2);\n', loaded);
    await second.close();
  });

  // -------------------------------------------------------- 8. the standard headers' prelude
  await group('the standard headers\' prelude', async () => {
    const visit = await browser.newPage();
    const load = async (what) => {
      await until(visit, what, () => window.loaded || window.loadError);
      return visit.evaluate(() => window.pg.prepared);
    };
    await visit.goto(`${base}/harness.html`);
    let stored = await load('the compiler loading');
    check('a later visit takes the prelude from the browser\'s store', stored.standard && !stored.built,
          JSON.stringify(stored));
    const sorted = { name: 'main.cpp', text: `#include <algorithm>
#include <string>
#include <vector>

#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    std::vector<int> sizes = {30, 10, 20};
    std::sort(sizes.begin(), sizes.end());
    std::string text = "sizes " + std::to_string(sizes.front()) + " to " + std::to_string(sizes.back());
    std::printf("%s\\n", text.c_str());
    return close_display();
}
` };
    const runSorted = async () => {
      await visit.evaluate(() => { window.record.output = ''; });
      const result = await run(visit, [sorted, { name: 'helper.cpp', text: 'int helper() { return 1; }\n' }], []);
      if (result.ok) await until(visit, 'the program ending', () => window.record.exits.length > 0);
      return { ...result, output: await visit.evaluate(() => window.record.output) };
    };
    let result = await runSorted();
    check('a file with tavlo.h and standard headers is compiled with the prelude, and runs',
          result.ok && result.standardPrelude.join() === 'main.cpp' && result.output.startsWith('sizes 10 to 30\n'),
          `${JSON.stringify(result.standardPrelude)} ${JSON.stringify(result.output)} ${result.log || ''}`);
    const leaked = await run(visit, [{ name: 'main.cpp', text: '#include "tavlo.h"\n\nstd::vector<int> v;\n' }], []);
    check('a file on tavlo.h alone does not see the prelude\'s standard names', !leaked.ok &&
          leaked.diagnostics.some((d) => d.severity === 'error' && d.line === 3), leaked.log);

    // A stored prelude gone bad: the compiler refuses it, the file is compiled
    // with the small prelude, and the next visit builds it again.
    await visit.evaluate(async () => {
      const cache = await caches.open((await caches.keys()).find((n) => n.startsWith('tavlo-prelude-')));
      const [key] = await cache.keys();
      await cache.put(key, new Response(new Uint8Array(4096).fill(7)));
    });
    await visit.reload();
    stored = await load('the compiler loading with a spoilt prelude');
    result = await runSorted();
    check('a spoilt stored prelude: the program still compiles (with the small prelude) and runs',
          result.ok && result.standardPrelude.length === 0 && result.output.startsWith('sizes 10 to 30\n'),
          `${JSON.stringify(stored)} ${JSON.stringify(result.standardPrelude)} ${result.log || ''}`);
    await visit.reload();
    stored = await load('the compiler loading after the spoilt prelude');
    check('... and the next visit builds it again', stored.standard && stored.built, JSON.stringify(stored));
    await visit.close();
  });
} catch (error) {
  check('the runtime test ran to the end', false, error && error.stack ? error.stack : String(error));
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
finish();
