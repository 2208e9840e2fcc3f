// The playground's program Worker: runs one linked program (WASI) with the page
// presenter's imports (tavlo_page, presenters/web/page_interface.h). The
// program's GetMessageA waits in the import `wait`, wrapped in
// WebAssembly.Suspending, and _start is called through WebAssembly.promising:
// the Worker's event loop runs while the program waits, so input arrives. The
// page stops a program with Worker.terminate(), also one that never waits.
//
// Messages in:  {type: 'start', module, args, files: {name: bytes}, site (runtime/site.json)}
//               {type: 'input', record}   a TavloInput record from the page
//               {type: 'file', name, bytes} the page loaded a file into the folder
//               {type: 'leave'}           the page is being left
// Messages out: {type: 'call', name, args} the windows' calls (TavloWindows)
//               {type: 'present', id, width, height, pixels} a frame (buffer transferred)
//               {type: 'output', stream, text}
//               {type: 'file', name, bytes}   a file of the program's folder changed (null: removed)
//               {type: 'script', open}    whether TAVLO.SCR is open in the program
//               {type: 'waited', timeout, woken}
//               {type: 'exit', code, reason}
import { openSiteCache } from './site_cache.js';
import { createWasi, ProcExit } from './wasi.js';

const SCRIPT = 'TAVLO.SCR';
// page_input.js, the same queue and wait as the Emscripten pages', is a classic
// script: evaluated at the Worker's global scope.
const inputSource = await (await fetch(new URL('./page_input.js', import.meta.url))).text();
(0, eval)(`${inputSource}\nself.TavloInput = TavloInput;`);
const input = self.TavloInput.create();

let instance = null;
let wasi = null;
let memory = null;
let lastShown = 0;        // the window shown last: it has the keys until a click says otherwise
let waiting = false;      // the program is suspended in wait
const pending = new Map();  // name -> bytes of changed files not yet posted
let flushTimer = null;

function flushFiles() {
  if (flushTimer !== null) { clearTimeout(flushTimer); flushTimer = null; }
  for (const [name, data] of pending) {
    const copy = data === null ? null : data.slice();
    postMessage({ type: 'file', name, bytes: copy }, copy ? [copy.buffer] : []);
  }
  pending.clear();
}

function fileChanged(root, name, data) {
  if (root !== '/') return;
  pending.set(name, data);
  // Mirrored to the page at most every 200 ms while the program writes (it
  // flushes a recording line by line), at once when the file is closed.
  if (flushTimer === null) flushTimer = setTimeout(flushFiles, 200);
}

const cString = (ptr) => {
  const bytes = new Uint8Array(memory.buffer);
  let end = ptr;
  while (bytes[end] !== 0) ++end;
  return new TextDecoder().decode(bytes.subarray(ptr, end));
};

function pageImports(wasi) {
  const call = (name, ...args) => postMessage({ type: 'call', name, args });
  return {
    present_in_page: () => 1,
    create_window(id, title, left, top, background, closable) {
      call('createWindow', { id, title: cString(title), left, top, background, closable: !!closable });
    },
    lay_out(id, frame, caption, menuBar, width, height) {
      call('layOut', id, { frame, caption, menuBar, width, height });
    },
    show_window(id, visible) {
      if (visible) lastShown = id;
      call('showWindow', id, !!visible);
    },
    destroy_window(id) { call('destroyWindow', id); },
    set_menu(id, model) { call('setMenu', id, JSON.parse(cString(model))); },
    present(id, pixels, width, height) {
      const copy = new Uint8Array(memory.buffer, pixels, width * height * 4).slice();
      postMessage({ type: 'present', id, width, height, pixels: copy }, [copy.buffer]);
    },
    next_input(record) {
      const next = input.next();
      if (!next) return 0;
      const id = next.id === 0 ? lastShown : next.id;
      new Int32Array(memory.buffer, record, 5).set([next.kind, id, next.a | 0, next.b | 0, next.c | 0]);
      return 1;
    },
    wait: new WebAssembly.Suspending(async (timeout) => {
      waiting = true;
      try {
        const woken = await input.wait(timeout);
        postMessage({ type: 'waited', timeout, woken });
      } finally {
        waiting = false;
      }
    }),
    debug_output(text) { postMessage({ type: 'call', name: 'debugOutput', args: [cString(text)] }); },
    now: () => performance.now(),
  };
}

// The faces the package reads at /fonts: each fetched when the program first
// opens it (Cache Storage keeps them), so a program downloads only those it uses.
async function fontFetchers(site) {
  const cache = await openSiteCache(site);
  const base = new URL('../', import.meta.url);
  const fetchers = {};
  for (const path of site.files.filter((p) => p.startsWith('sdk/fonts/'))) {
    fetchers[path.slice('sdk/fonts/'.length)] = async () =>
      new Uint8Array(await (await cache.fetchFile(new URL(path, base).href, path)).arrayBuffer());
  }
  return fetchers;
}

async function start({ module, args, files, site }) {
  wasi = createWasi({
    args,
    folders: { '/': files, '/fonts': {} },
    later: { '/fonts': await fontFetchers(site) },
    write: (stream, text) => postMessage({ type: 'output', stream, text }),
    changed: fileChanged,
    opened: (root, name) => { if (root === '/' && name === SCRIPT) postMessage({ type: 'script', open: true }); },
    closed: (root, name) => {
      if (root !== '/') return;
      if (pending.has(name)) flushFiles();
      if (name === SCRIPT && !wasi.isOpen('/', SCRIPT)) postMessage({ type: 'script', open: false });
    },
  });
  instance = await WebAssembly.instantiate(module, {
    wasi_snapshot_preview1: wasi.imports(module),
    tavlo_page: pageImports(wasi),
  });
  memory = instance.exports.memory;
  wasi.setMemory(memory);
  let code = 0, reason = '';
  try {
    await WebAssembly.promising(instance.exports._start)();
  } catch (error) {
    if (error instanceof ProcExit) {
      code = error.code;
    } else {
      code = null;
      reason = `the program stopped: ${error && error.message ? error.message : error}${trapHint(error)}`;
    }
  }
  flushFiles();
  postMessage({ type: 'exit', code, reason });
}

// What a trap most often means in a student's program. The stack lies below
// the program's data (linked with --stack-first), so running past its 1 MB
// leaves the memory instead of overwriting the program's variables.
function trapHint(error) {
  const text = String(error && error.message ? error.message : error);
  if (/out of bounds/.test(text)) {
    return ' (a pointer or index outside the program\'s memory, or the stack (1 MB) overflowing: ' +
           'a recursion too deep or a local array too large)';
  }
  if (/call stack/i.test(text)) return ' (a recursion too deep)';
  return '';
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'start') {
    start(message).catch((error) => {
      postMessage({ type: 'exit', code: null, reason: `the program could not start: ${error.message || error}` });
    });
  } else if (message.type === 'input') {
    input.push(message.record);
  } else if (message.type === 'file') {
    if (wasi) wasi.setFile('/', message.name, message.bytes);
  } else if (message.type === 'leave') {
    // The windows hear that the session ends (a recording writes its counted
    // periodic line), while the program waits; then the files go to the page.
    if (waiting && instance && instance.exports.tavlo_page_leaving) {
      try { instance.exports.tavlo_page_leaving(); } catch (error) { /* ended meanwhile */ }
    }
    flushFiles();
  }
};
postMessage({ type: 'loaded' });
