// A stand-in for site/runtime/playground_runtime.js with the same interface,
// served by playground_page_test.mjs in its place so the page can be tested
// without the compiler. It compiles nothing:
//   - every occurrence of the identifier undeclared_name is an error at its line
//     and column, worded as clang words it; a call of missing_function() is
//     the linker's error, naming only the file;
//   - otherwise the program "runs": each printf("...") text (not log_printf's) is written to
//     stdout, and a drawing call given a colour outside 0..23 as a number
//     (draw_rectangle(30, ...)) gets the package's repair line at its place; a program that calls open_display gets a window (drawn through the
//     web pages' TavloWindows, as the real runtime draws) and runs until stopped,
//     any other ends with exit code 0.
// The test reads what it was asked through window.tavloStub.
import { createWindows } from './page_windows.js';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function browserSupport() {
  return typeof WebAssembly.Suspending === 'function' && typeof WebAssembly.promising === 'function' ? null
    : 'This browser cannot run programs (no WebAssembly JavaScript Promise Integration): ' +
      'use Chrome or Edge 137 or later, or Firefox 153 or later. The editor works.';
}

export function createPlayground(o) {
  let running = false, windows = null, windowId = 0;
  const stub = window.tavloStub = { runs: [], stops: 0, built: 0, get running() { return running; } };

  const ready = (async () => {
    windows = createWindows({ desktop: () => o.desktop, send: () => {} });
    o.onStatus('loading the compiler');
    for (let part = 1; part <= 4; ++part) {
      await sleep(40);
      o.onProgress({ loaded: part * 19000000, total: 76000000 });
    }
    o.onStatus('the compiler is ready');
  })();

  function showWindow() {
    if (windowId) windows.destroyWindow(windowId);
    const id = ++windowId, width = 595, height = 491;
    windows.createWindow({ id, title: 'TAVLO Graphics', left: 0, top: 0, closable: true, background: 0xffffff });
    windows.layOut(id, { frame: 4, caption: 23, menuBar: 0, width, height });
    windows.showWindow(id, true);
    // A picture of a few shapes, as COLORREF bytes (R, G, B, 0).
    const bytes = new Uint8Array(width * height * 4).fill(255);
    const paint = (inside, r, g, b) => {
      for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
          if (inside(x, y)) bytes.set([r, g, b], (y * width + x) * 4);
        }
      }
    };
    paint((x, y) => x >= 90 && x < 250 && y >= 190 && y < 300, 0, 0, 255);
    paint((x, y) => (x - 400) ** 2 + (y - 240) ** 2 < 70 ** 2, 0, 160, 0);
    paint((x, y) => y >= 390 && y < 393 && x >= 50 && x < 550, 255, 0, 0);
    windows.present(id, bytes, width, height);
  }

  const pg = {
    ready,
    get running() { return running; },
    async run(files, { args = [] } = {}) {
      if (running) pg.stop();
      stub.runs.push({ files, args });
      o.onStatus('compiling');
      await ready;
      await sleep(window.tavloStubCompileMs || 0);  // a test may make compiling take a while
      const diagnostics = [];
      for (const file of files) {
        // The messages clang gives for these names, at their places.
        const unknown = [['undeclared_name', "use of undeclared identifier 'undeclared_name'"],
                         ['draw_circle', "use of undeclared identifier 'draw_circle'"],
                         ['Grey', "no member named 'Grey' in namespace 'Color'"]];
        file.text.split('\n').forEach((line, i) => {
          for (const [name, message] of unknown) {
            const at = line.indexOf(name);
            if (at >= 0) diagnostics.push({ file: file.name, line: i + 1, column: at + 1, severity: 'error', message });
          }
        });
      }
      // A function declared and never defined: the linker's error, which names the file only.
      for (const file of files) {
        if (/^\s+missing_function\(\);/m.test(file.text)) {
          diagnostics.push({ file: file.name, line: 0, column: 0, severity: 'error',
                             message: `${file.name}: undefined symbol: missing_function()` });
        }
      }
      ++stub.built;
      if (diagnostics.length) {
        o.onStatus('compile failed');
        const log = diagnostics.map((d) => (d.line ? `${d.file}:${d.line}:${d.column}: error: ${d.message}`
                                                  : `wasm-ld: error: ${d.message}`)).join('\n');
        return { ok: false, diagnostics, log: `${log}\n${diagnostics.length} error(s) generated.\n` };
      }
      running = true;
      o.onStatus('running');
      const all = files.map((f) => f.text).join('\n');
      for (const [, text] of all.matchAll(/(?<!\w)printf\("((?:[^"\\]|\\.)*)"/g)) {
        o.onOutput('stdout', text.replace(/\\n/g, '\n').replace(/\\"/g, '"'));
      }
      for (const file of files) {
        file.text.split('\n').forEach((line, i) => {
          const bad = /\bdraw_\w+\((-?\d+),/.exec(line);
          if (bad && !(Number(bad[1]) >= 0 && Number(bad[1]) < 24)) {
            o.onOutput('repair', `Illegal color ${bad[1]}; using RED.\n`, { file: file.name, line: i + 1 });
          }
        });
      }
      if (all.includes('open_display')) showWindow();
      else setTimeout(() => { running = false; o.onExit({ code: 0 }); }, 0);
      return { ok: true, diagnostics: [], log: '' };
    },
    stop() {
      ++stub.stops;
      if (!running) return;
      running = false;
      if (windowId) windows.destroyWindow(windowId);
      o.onExit({ code: null, reason: 'stopped' });
    },
    async loadFile(name, file) { return `Loaded ${file.name} as ${name}`; },
    async files() { return {}; },
    async downloadFile() { return false; },
    async deleteFile(name) { return `${name} is not one of the program's files`; },
  };
  return pg;
}
