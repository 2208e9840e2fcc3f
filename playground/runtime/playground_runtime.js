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
//   const pg = createPlayground({ desktop, onStatus, onProgress, onOutput, onExit, onFiles });
//   await pg.ready;
//   const { ok, diagnostics, log } = await pg.run([{ name: 'main.cpp', text }], { args: ['--seed=1'] });
//   pg.stop();
import { codeOffset } from './trap.js';

const here = new URL('.', import.meta.url);
const KEPT_MB = 16;  // the largest file the page keeps (program_worker.js: KEPT_BYTES)
const PROGRAM_NAME = 'playground';
const SCRIPT = 'TAVLO.SCR';
const SAVE_INTERVAL_MS = 1000;
const DB_NAME = 'tavlo-playground', STORE = 'files', INDEX = 'index';
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

// Version 2 keeps an index (name -> {size, mtime}) beside the files' bytes, so
// a visit and a run read only the index, and a file's bytes when it is opened.
function openDatabase() {
  return new Promise((resolve) => {
    let request;
    try {
      request = indexedDB.open(DB_NAME, 2);
    } catch (error) {
      resolve(null);
      return;
    }
    const timer = setTimeout(() => resolve(null), 8000);  // one that never answers
    request.onupgradeneeded = (event) => {
      const db = request.result;
      if (!db.objectStoreNames.contains(STORE)) db.createObjectStore(STORE);
      const index = db.createObjectStore(INDEX);
      if (event.oldVersion >= 1) {
        // The files of version 1: their index is made from them once.
        const cursorRequest = request.transaction.objectStore(STORE).openCursor();
        cursorRequest.onsuccess = () => {
          const cursor = cursorRequest.result;
          if (!cursor) return;
          index.put({ size: cursor.value.bytes.byteLength, mtime: cursor.value.mtime }, cursor.key);
          cursor.continue();
        };
      }
    };
    request.onsuccess = () => { clearTimeout(timer); resolve(request.result); };
    request.onerror = () => { clearTimeout(timer); resolve(null); };
  });
}

function requestResult(request) {
  return new Promise((resolve, reject) => {
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

// The program's folder: name -> {size, mtime} in memory, each file's bytes in
// IndexedDB (memory alone when there is none that answers), read when a
// program opens the file or the person downloads it. A write is saved within a
// second, and what is unsaved when the page is left is copied to localStorage
// at once, which the next visit reads back. A file larger than KEPT_BYTES is
// not kept (a program's run has it while it runs).
function createFolderStore(say) {
  const files = new Map();      // name -> {size, mtime, bytes (null: in IndexedDB only)}
  const unsaved = new Set();
  let db = null;
  let saving = false, timer = null, lastSave = -Infinity;

  const ready = (async () => {
    db = await openDatabase();
    if (db) {
      try {
        const transaction = db.transaction(INDEX);
        const store = transaction.objectStore(INDEX);
        const [keys, values] = await Promise.all([requestResult(store.getAllKeys()), requestResult(store.getAll())]);
        keys.forEach((name, i) => files.set(name, { size: values[i].size, mtime: values[i].mtime, bytes: null }));
      } catch (error) {
        say('The browser\'s storage (IndexedDB) cannot be read: the program\'s files start empty');
      }
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
          files.set(name, { size: bytes.length, mtime: entry.mtime, bytes });
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
    let transaction;
    try {
      transaction = db.transaction([STORE, INDEX], 'readwrite');
    } catch (error) {
      names.forEach((name) => unsaved.add(name));
      saving = false;
      say(`The program's files could not be saved in the browser's storage`);
      return;
    }
    const store = transaction.objectStore(STORE), index = transaction.objectStore(INDEX);
    for (const name of names) {
      const entry = files.get(name);
      if (entry && entry.bytes) {
        store.put({ bytes: entry.bytes.slice().buffer, mtime: entry.mtime }, name);
        index.put({ size: entry.size, mtime: entry.mtime }, name);
      } else if (!entry) {
        store.delete(name);
        index.delete(name);
      }
    }
    const done = (ok) => {
      saving = false;
      if (ok) {
        for (const name of names) {
          if (unsaved.has(name)) continue;
          try { localStorage.removeItem(MIRROR_PREFIX + name); } catch (error) { /* none */ }
          // Saved: the bytes are read from IndexedDB again when needed.
          const entry = files.get(name);
          if (entry) entry.bytes = null;
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

  // A file's bytes (null when there is none).
  async function get(name) {
    await ready;
    const entry = files.get(name);
    if (!entry) return null;
    if (entry.bytes) return entry.bytes;
    if (!db) return null;
    try {
      const value = await requestResult(db.transaction(STORE).objectStore(STORE).get(name));
      return value ? new Uint8Array(value.bytes) : null;
    } catch (error) {
      return null;
    }
  }

  function set(name, bytes) {
    if (bytes === null) files.delete(name);
    else files.set(name, { size: bytes.length, mtime: Date.now(), bytes });
    unsaved.add(name);
    schedule();
  }

  // The page is being left: what is unsaved goes to localStorage now.
  function leave() {
    for (const name of unsaved) {
      const entry = files.get(name);
      try {
        if (!entry) { localStorage.removeItem(MIRROR_PREFIX + name); continue; }
        if (!entry.bytes) continue;
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
    get,
    has: (name) => files.has(name),
    // The files as {name: {size, mtime}}, sorted by name.
    list: () => Object.fromEntries([...files].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))
      .map(([name, entry]) => [name, { size: entry.size, mtime: entry.mtime }])),
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
  const onFiles = options.onFiles || noop;
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
      // (a press in a window gives it the focus; one on the editor takes it back).
      takesKeys: () => program !== null && options.desktop.contains(document.activeElement),
    });
    return windows;
  }

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
    const code = codeOffset(new Uint8Array(built.wasm));
    const module = await WebAssembly.compile(built.wasm);
    if (id !== builds) return { ok: false, diagnostics: [], log: 'another run began' };
    stop();
    clearDesktop();
    const shown = ensureWindows();
    const worker = new Worker(new URL('program_worker.js', here), { type: 'module' });
    const current = { worker, scriptOpen: false, started: false, queued: [], deletions: new Map() };
    program = current;
    worker.onmessage = (event) => {
      if (program !== current) return;
      const m = event.data;
      if (m.type === 'loaded') {
        worker.postMessage({ type: 'start', module, args: [PROGRAM_NAME, ...(runOptions.args || [])],
                             files: store.list(), site, codeOffset: code, sources: files.map((f) => f.name) });
        current.started = true;
        current.queued.forEach((queued) => worker.postMessage(queued));
        current.queued = [];
        onStatus('running');
      } else if (m.type === 'present') {
        shown.present(m.id, new Uint8Array(m.pixels), m.width, m.height);
        const title = counters.titles[m.id];
        counters.presents += 1;
        counters.frames[title] = (counters.frames[title] || 0) + 1;
      } else if (m.type === 'debug') {
        // OutputDebugStringA: the browser's console, where a page's developer looks.
        const skipped = m.dropped ? `[${m.dropped} characters of debug output skipped]\n` : '';
        console.debug(skipped + m.text.replace(/\n$/, ''));
      } else if (m.type === 'call') {
        if (m.name === 'createWindow') counters.titles[m.args[0].id] = m.args[0].title;
        shown[m.name](...m.args);
      } else if (m.type === 'waited') {
        counters.waits += 1;
        if (!m.woken && m.timeout > 0) counters.expired += 1;
      } else if (m.type === 'output') {
        // A batch that dropped part of itself is longer than the output pane
        // keeps anyway: the pane says its start is dropped.
        for (const part of m.parts) onOutput(part.stream, part.text);
      } else if (m.type === 'read') {
        store.get(m.name).then((bytes) => worker.postMessage({ type: 'read', request: m.request, bytes }));
      } else if (m.type === 'file') {
        if (m.large) {
          // The program's own run keeps it; an older copy would only mislead the next.
          if (store.has(m.name)) store.set(m.name, null);
          onStatus(`${m.name} (${(m.size / 1048576).toFixed(1)} MB) is larger than the ${KEPT_MB} MB a file ` +
                   'may have to be kept in the browser: it lasts until the program ends');
        } else {
          store.set(m.name, m.bytes === null ? null : new Uint8Array(m.bytes));
        }
        onFiles(store.list());
      } else if (m.type === 'deleted') {
        const answer = current.deletions.get(m.name);
        current.deletions.delete(m.name);
        if (answer) answer(m.refused);
      } else if (m.type === 'script') {
        current.scriptOpen = m.open;
      } else if (m.type === 'exit') {
        program = null;
        worker.terminate();
        const text = m.code === null ? m.reason : `the program ended with exit code ${m.code}`;
        onStatus(text);
        for (const answer of current.deletions.values()) answer('');
        onExit({ code: m.code, reason: m.reason, file: m.file || null, line: m.line || 0 });
      }
    };
    worker.onerror = (event) => {
      if (program !== current) return;
      stop(`the program stopped: ${event.message || 'its Worker failed'}`);
    };
    return { ok: true, diagnostics: built.diagnostics, log: built.log };
  }

  async function download() {
    const bytes = await store.get(SCRIPT);
    if (!bytes) {
      onStatus(`No ${SCRIPT} yet: record one with Run > Record Script (Ctrl+R)`);
      return false;
    }
    TavloStorage.saveDownload(bytes);
    return true;
  }

  // Any file of the program's folder, downloaded under its own name.
  async function downloadFile(name) {
    const bytes = await store.get(name);
    if (!bytes) return false;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = name.replace(/^.*\//, '');
    document.body.appendChild(link);
    link.click();
    setTimeout(() => { URL.revokeObjectURL(link.href); link.remove(); }, 60000);
    return true;
  }

  // Deletes a file of the program's folder, also from a running program's
  // folder; refused (the answer says why) while the program has it open.
  async function deleteFile(name) {
    await store.ready;
    if (!store.has(name)) return `${name} is not one of the program's files`;
    if (program && program.started) {
      const current = program;
      const refused = await new Promise((resolve) => {
        current.deletions.set(name, resolve);
        current.worker.postMessage({ type: 'delete', name });
      });
      if (refused) return `${name} cannot be deleted now: ${refused}`;
    }
    store.set(name, null);
    onFiles(store.list());
    return '';
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
    onFiles(store.list());
    // A running program reads its folder in its Worker: the file goes there too.
    if (program) program.worker.postMessage({ type: 'file', name: SCRIPT, bytes: bytes.slice() });
    const text = `Loaded ${file.name} as ${SCRIPT} (${bytes.length} bytes): play it with Run > Playback Script (Ctrl+P)`;
    onStatus(text);
    return text;
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
    // The program's folder as the page keeps it: {name: {size, mtime}}.
    files: async () => { await store.ready; return store.list(); },
    downloadFile,
    deleteFile,
    // The program's folder as the page keeps it (TAVLO.SCR), for a test or a view.
    scriptText: async () => {
      const bytes = await store.get(SCRIPT);
      return bytes ? new TextDecoder().decode(bytes) : null;
    },
    counters,
  };
}
