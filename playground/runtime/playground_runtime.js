// The playground's runtime on the page's thread: the compiler Worker
// (compiler_worker.js) compiles and links a program, a program Worker
// (program_worker.js) runs it, and this module joins them to the page:
//   - the program's windows are drawn by TavloWindows (page_windows.js, the
//     same file the Emscripten pages use) inside the given desktop element;
//     its input records go to the program Worker, whose TavloInput queue
//     (page_input.js) the program's wait takes them from;
//   - the program's folder (TAVLO.SCR) is kept in IndexedDB: the Worker
//     mirrors every change here, it is saved at most once a second while
//     something is unsaved and when the page is left, and it is the program's
//     folder again at each run.
//
//   import { createPlayground, browserSupport } from './runtime/playground_runtime.js';
//   const pg = createPlayground({ desktop, onStatus, onProgress, onOutput, onExit });
//   await pg.ready;
//   const { ok, diagnostics, log } = await pg.run([{ name: 'main.cpp', text }], { args: ['--seed=1'] });
//   pg.stop();
const here = new URL('.', import.meta.url);
const PROGRAM_NAME = 'playground';
const SCRIPT = 'TAVLO.SCR';
const SAVE_INTERVAL_MS = 1000;
const DB_NAME = 'tavlo-playground', STORE = 'files';
const MIRROR_PREFIX = 'tavlo-playground-unsaved:';

// null when this browser can run programs, else a line saying which can.
export function browserSupport() {
  const missing = [];
  if (typeof WebAssembly === 'undefined') missing.push('WebAssembly');
  else if (typeof WebAssembly.Suspending !== 'function' || typeof WebAssembly.promising !== 'function') {
    missing.push('WebAssembly JavaScript Promise Integration (JSPI)');
  }
  if (typeof Worker === 'undefined') missing.push('Web Workers');
  if (missing.length === 0) return null;
  return `This browser lacks ${missing.join(' and ')}: the playground runs programs in ` +
         'Chromium-based browsers from version 137 and Firefox from version 153.';
}

// The shared page modules are classic scripts defining globals: loaded once.
let sharedScripts = null;
function loadSharedScripts() {
  const names = { 'page_keys.js': 'TavloKeys', 'page_windows.js': 'TavloWindows', 'page_storage.js': 'TavloStorage' };
  sharedScripts ??= Promise.all(Object.keys(names).map((name) => new Promise((resolve, reject) => {
    if (typeof globalThis[names[name]] !== 'undefined') return resolve();
    const script = document.createElement('script');
    script.src = new URL(name, here).href;
    script.async = false;  // in order: the windows use the keys
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${name} could not be loaded`));
    document.head.appendChild(script);
  })));
  return sharedScripts;
}

// ------------------------------------------------------------------ storage

function openDatabase() {
  return new Promise((resolve) => {
    let request;
    try {
      request = indexedDB.open(DB_NAME, 1);
    } catch (error) {
      resolve(null);
      return;
    }
    const timer = setTimeout(() => resolve(null), 8000);  // one that never answers
    request.onupgradeneeded = () => request.result.createObjectStore(STORE);
    request.onsuccess = () => { clearTimeout(timer); resolve(request.result); };
    request.onerror = () => { clearTimeout(timer); resolve(null); };
  });
}

// The program's folder: name -> bytes, kept in IndexedDB (memory alone when
// there is none that answers). A write is saved within a second, and what is
// unsaved when the page is left is copied to localStorage at once, which the
// next visit reads back.
function createFolderStore(say) {
  const files = new Map();
  const unsaved = new Set();
  let db = null;
  let saving = false, timer = null, lastSave = -Infinity;

  const ready = (async () => {
    db = await openDatabase();
    if (db) {
      await new Promise((resolve) => {
        const request = db.transaction(STORE).objectStore(STORE).openCursor();
        request.onsuccess = () => {
          const cursor = request.result;
          if (!cursor) return resolve();
          files.set(cursor.key, { bytes: new Uint8Array(cursor.value.bytes), mtime: cursor.value.mtime });
          cursor.continue();
        };
        request.onerror = () => resolve();
      });
    } else {
      say('The browser\'s storage (IndexedDB) cannot be used: recordings will not survive a reload of the page');
    }
    // Copies left by a page that was left before its last writes were saved.
    try {
      for (let i = localStorage.length - 1; i >= 0; --i) {
        const key = localStorage.key(i);
        if (!key.startsWith(MIRROR_PREFIX)) continue;
        const name = key.slice(MIRROR_PREFIX.length);
        const entry = JSON.parse(localStorage.getItem(key));
        const stored = files.get(name);
        if (entry && typeof entry.bytes === 'string' && (!stored || entry.mtime >= stored.mtime)) {
          const bytes = Uint8Array.from(entry.bytes, (c) => c.charCodeAt(0) & 255);
          files.set(name, { bytes, mtime: entry.mtime });
          unsaved.add(name);
        } else {
          localStorage.removeItem(key);
        }
      }
    } catch (error) { /* no localStorage */ }
    schedule();
  })();

  function schedule() {
    if (!db || saving || timer !== null || unsaved.size === 0) return;
    timer = setTimeout(save, Math.max(0, lastSave + SAVE_INTERVAL_MS - performance.now()));
  }

  function save() {
    timer = null;
    if (!db || saving || unsaved.size === 0) return;
    const names = [...unsaved];
    unsaved.clear();
    saving = true;
    lastSave = performance.now();
    const transaction = db.transaction(STORE, 'readwrite');
    const store = transaction.objectStore(STORE);
    for (const name of names) {
      const entry = files.get(name);
      if (entry) store.put({ bytes: entry.bytes.slice().buffer, mtime: entry.mtime }, name);
      else store.delete(name);
    }
    const done = (ok) => {
      saving = false;
      if (ok) {
        for (const name of names) {
          if (!unsaved.has(name)) try { localStorage.removeItem(MIRROR_PREFIX + name); } catch (error) { /* none */ }
        }
      } else {
        names.forEach((name) => unsaved.add(name));
        say(`${SCRIPT} could not be saved in the browser's storage`);
      }
      schedule();
    };
    transaction.oncomplete = () => done(true);
    transaction.onerror = transaction.onabort = () => done(false);
  }

  function set(name, bytes) {
    if (bytes === null) files.delete(name);
    else files.set(name, { bytes, mtime: Date.now() });
    unsaved.add(name);
    schedule();
  }

  // The page is being left: what is unsaved goes to localStorage now.
  function leave() {
    for (const name of unsaved) {
      const entry = files.get(name);
      try {
        if (!entry) { localStorage.removeItem(MIRROR_PREFIX + name); continue; }
        let text = '';
        for (let i = 0; i < entry.bytes.length; i += 8192) {
          text += String.fromCharCode.apply(null, entry.bytes.subarray(i, i + 8192));
        }
        localStorage.setItem(MIRROR_PREFIX + name, JSON.stringify({ mtime: entry.mtime, bytes: text }));
      } catch (error) { /* full: the save below may still make it */ }
    }
    save();
  }

  return {
    ready,
    get: (name) => (files.has(name) ? files.get(name).bytes : null),
    all: () => Object.fromEntries([...files].map(([name, entry]) => [name, entry.bytes.slice()])),
    set,
    leave,
    persistent: () => db !== null,
  };
}

// ------------------------------------------------------------------ the playground

export function createPlayground(options) {
  const noop = () => {};
  const onStatus = options.onStatus || noop;
  const onProgress = options.onProgress || noop;
  const onOutput = options.onOutput || noop;
  const onExit = options.onExit || noop;
  const store = createFolderStore(onStatus);
  let windows = null;
  let program = null;        // {worker, scriptOpen}
  let builds = 0;
  const pendingBuilds = new Map();
  // What the page's windows saw, for whoever watches (a test, a frame counter):
  // frames per window title, the program's waits and how many ran to their end.
  const counters = { presents: 0, frames: {}, waits: 0, expired: 0, titles: {} };

  let compiler = null;
  let site = null;  // runtime/site.json: the files, flags and cache name
  const ready = (async () => {
    site = await (await fetch(new URL('site.json', here), { cache: 'no-cache' })).json();
    try { if (navigator.storage && navigator.storage.persist) navigator.storage.persist(); } catch (error) { /* none */ }
    onStatus('loading the compiler');
    compiler = new Worker(new URL('compiler_worker.js', here), { type: 'module' });
    await new Promise((resolve, reject) => {
      compiler.onerror = (event) => reject(new Error(`the compiler could not be loaded: ${event.message || 'its Worker failed'}`));
      compiler.onmessage = (event) => {
        const m = event.data;
        if (m.type === 'loaded') compiler.postMessage({ type: 'load', site });
        else if (m.type === 'progress') onProgress({ loaded: m.loaded, total: m.total });
        else if (m.type === 'ready') resolve();
        else if (m.type === 'failed') reject(new Error(m.message));
      };
    });
    // A compiler that fails (out of memory, say) ends the builds it had.
    compiler.onerror = (event) => {
      const message = `the compiler stopped (${event.message || 'its Worker failed'}): reload the page`;
      onStatus(message);
      for (const [id, build] of pendingBuilds) {
        pendingBuilds.delete(id);
        build.resolve({ ok: false, diagnostics: [], log: `${message}\n` });
      }
    };
    compiler.onmessage = (event) => {
      const m = event.data;
      const build = pendingBuilds.get(m.id);
      if (!build) return;
      if (m.type === 'status') onStatus(m.text);
      else if (m.type === 'built') {
        pendingBuilds.delete(m.id);
        build.resolve(m);
      }
    };
    await loadSharedScripts();
    onStatus('the compiler is ready');
  })();
  ready.catch((error) => onStatus(error.message));

  function ensureWindows() {
    if (windows) return windows;
    windows = globalThis.TavloWindows.create({
      desktop: () => options.desktop,
      send: (record) => {
        if (!program) return;
        const id = record.id === 0 ? windows.focusId() : record.id;
        const message = { type: 'input', record: { ...record, id } };
        // Input before the program started (keys typed at once) waits for it.
        if (program.started) program.worker.postMessage(message);
        else program.queued.push(message);
      },
      // Keys reach the program only while one of its windows has the focus
      // (the last press on the page was inside the desktop).
      takesKeys: () => program !== null && desktopFocused,
    });
    return windows;
  }
  let desktopFocused = false;
  document.addEventListener('mousedown', (event) => {
    desktopFocused = options.desktop.contains(event.target);
  }, true);

  function stop(reason = 'stopped') {
    if (!program) return false;
    program.worker.terminate();
    program = null;
    onStatus(reason);
    onExit({ code: null, reason });
    return true;
  }

  function clearDesktop() {
    ensureWindows().clear();
    counters.presents = 0;
    counters.frames = {};
    counters.titles = {};
    counters.waits = 0;
    counters.expired = 0;
  }

  async function run(files, runOptions = {}) {
    stop();
    await ready;
    const id = ++builds;
    onStatus('compiling');
    const built = await new Promise((resolve) => {
      pendingBuilds.set(id, { resolve });
      compiler.postMessage({ type: 'build', id, files: files.map((f) => ({ name: f.name, text: f.text })) });
    });
    if (id !== builds) return { ok: false, diagnostics: [], log: 'another run began' };
    if (!built.ok) {
      onStatus('the program did not compile');
      return { ok: false, diagnostics: built.diagnostics, log: built.log };
    }
    await store.ready;
    const module = await WebAssembly.compile(built.wasm);
    if (id !== builds) return { ok: false, diagnostics: [], log: 'another run began' };
    stop();
    clearDesktop();
    const shown = ensureWindows();
    const worker = new Worker(new URL('program_worker.js', here), { type: 'module' });
    const current = { worker, scriptOpen: false, started: false, queued: [] };
    program = current;
    worker.onmessage = (event) => {
      if (program !== current) return;
      const m = event.data;
      if (m.type === 'loaded') {
        worker.postMessage({ type: 'start', module, args: [PROGRAM_NAME, ...(runOptions.args || [])],
                             files: store.all(), site });
        current.started = true;
        current.queued.forEach((queued) => worker.postMessage(queued));
        current.queued = [];
        onStatus('running');
      } else if (m.type === 'present') {
        shown.present(m.id, new Uint8Array(m.pixels), m.width, m.height);
        const title = counters.titles[m.id];
        counters.presents += 1;
        counters.frames[title] = (counters.frames[title] || 0) + 1;
      } else if (m.type === 'call') {
        if (m.name === 'debugOutput') {
          console.debug(m.args[0].replace(/\n$/, ''));
          return;
        }
        if (m.name === 'createWindow') counters.titles[m.args[0].id] = m.args[0].title;
        shown[m.name](...m.args);
      } else if (m.type === 'waited') {
        counters.waits += 1;
        if (!m.woken && m.timeout > 0) counters.expired += 1;
      } else if (m.type === 'output') {
        onOutput(m.stream, m.text);
      } else if (m.type === 'file') {
        store.set(m.name, m.bytes === null ? null : new Uint8Array(m.bytes));
      } else if (m.type === 'script') {
        current.scriptOpen = m.open;
      } else if (m.type === 'exit') {
        program = null;
        worker.terminate();
        const text = m.code === null ? m.reason : `the program ended with exit code ${m.code}`;
        onStatus(text);
        onExit({ code: m.code, reason: m.reason });
      }
    };
    worker.onerror = (event) => {
      if (program !== current) return;
      stop(`the program stopped: ${event.message || 'its Worker failed'}`);
    };
    return { ok: true, diagnostics: built.diagnostics, log: built.log };
  }

  function download() {
    const bytes = store.get(SCRIPT);
    if (!bytes) {
      onStatus(`No ${SCRIPT} yet: record one with Run > Record Script (Ctrl+R)`);
      return false;
    }
    TavloStorage.saveDownload(bytes);
    return true;
  }

  // Why TAVLO.SCR cannot be loaded now ('' when it can), as on the other pages.
  function loadRefusal() {
    if (!program || !windows) return '';
    return TavloStorage.loadRefusal(windows.menuChecked, program.scriptOpen);
  }

  async function loadScript(file) {
    const refusal = loadRefusal();
    if (refusal) {
      onStatus(refusal);
      throw new Error(refusal);
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    const late = loadRefusal();
    if (late) {
      onStatus(late);
      throw new Error(late);
    }
    await store.ready;
    store.set(SCRIPT, bytes);
    // A running program reads its folder in its Worker: the file goes there too.
    if (program) program.worker.postMessage({ type: 'file', name: SCRIPT, bytes: bytes.slice() });
    onStatus(`Loaded ${file.name} as ${SCRIPT} (${bytes.length} bytes): play it with Run > Playback Script (Ctrl+P)`);
    return new TextDecoder().decode(bytes);
  }

  function leave() {
    if (program) program.worker.postMessage({ type: 'leave' });
    store.leave();
  }
  window.addEventListener('pagehide', leave);
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') leave();
  });

  return {
    ready,
    run,
    stop: () => { stop(); },
    get running() { return program !== null; },
    downloadScript: download,
    loadScript,
    // The program's folder as the page keeps it (TAVLO.SCR), for a test or a view.
    scriptText: () => {
      const bytes = store.get(SCRIPT);
      return bytes ? new TextDecoder().decode(bytes) : null;
    },
    counters,
  };
}
