// The playground's runtime on the page's thread: the compiler Worker
// (compiler_worker.js) compiles and links a program, a program Worker
// (program_worker.js) runs it, and this module joins them to the page:
//   - the program's windows are drawn by createWindows (page_windows.js, the
//     web pages' own module) inside the given desktop element; their input
//     records go to the program Worker, whose input queue the program's wait
//     takes them from;
//   - the programs' folder is kept by createFolderStore (page_files.js, the web
//     pages' own storage engine): a run is given its index and asks for a
//     file's bytes when the program opens it; what the program writes comes
//     back here.
//
//   import { createPlayground, browserSupport } from './runtime/playground_runtime.js';
//   const pg = createPlayground({ desktop, onStatus, onProgress, onOutput, onExit, onFiles });
//   await pg.ready;
//   await pg.prepared;   (optional: the standard headers' prelude, built once per browser)
//   const { ok, diagnostics, log } = await pg.run([{ name: 'main.cpp', text }], { args: ['--seed=1'] });
//   pg.stop();
//   const { ok, diagnostics, run } = await pg.check(files, { args, inputs, seconds });
//       the program run headless apart from the windows (a task's check)
//   onOutput(stream, text, place): what the program writes ('stdout', 'stderr'),
//       and 'repair': a line of the package's about a call it repaired (a bad
//       colour ...), with place {file, line} where the program made that call
//       (file null when not known);
//   pg.files(), pg.loadFile(name, file), pg.downloadFile(name), pg.deleteFile(name)
//       the folder's files: listed, one replaced by a file of the person's (refused
//       while the program uses it), downloaded, deleted.
import { KEPT_BYTES, createFolderStore, onLeave, saveDownload } from './page_files.js';
import { createWindows } from './page_windows.js';
import { codeOffset } from './trap.js';

const here = new URL('.', import.meta.url);
const PROGRAM_NAME = 'playground';

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

export function createPlayground(options) {
  const noop = () => {};
  const onStatus = options.onStatus || noop;
  const onProgress = options.onProgress || noop;
  const onOutput = options.onOutput || noop;
  const onExit = options.onExit || noop;
  const onFiles = options.onFiles || noop;
  const folder = createFolderStore({ database: 'tavlo-playground', say: onStatus });
  let program = null;  // {worker, started, queued, open: Set of names, inUse, deletions}
  let builds = 0;
  const pendingBuilds = new Map();

  let compiler = null;
  // The standard headers' prelude, built once per browser after the compiler
  // loads (compiler_worker.js): while it is built, a compile waits for it.
  let preparingStandard = false;
  let resolvePrepared;
  const prepared = new Promise((resolve) => { resolvePrepared = resolve; });
  let site = null;  // runtime/site.json: the files, flags and cache name
  let servedOffline = false;  // the site's service worker answers (site_cache.js keeps nothing then)
  const ready = (async () => {
    // In the site folder the site's service worker (offline.js) keeps every
    // file, the compiler's among them: on a first visit the compiler is loaded
    // once the whole site is kept, from there, so nothing is fetched twice.
    const offline = globalThis.tavloOffline;
    if (offline) {
      const progress = (event) => {
        const { loaded, total } = event.detail;
        onStatus(`keeping the site for use without a network: ${(loaded / 1e6).toFixed(1)} of ${(total / 1e6).toFixed(1)} MB`);
        onProgress({ loaded, total });
      };
      window.addEventListener('tavlo-site-progress', progress);
      try {
        servedOffline = (await offline.controlled) === true;
      } finally {
        window.removeEventListener('tavlo-site-progress', progress);
      }
    }
    site = await (await fetch(new URL('site.json', here), { cache: 'no-cache' })).json();
    site.servedOffline = servedOffline;
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
      if (m.type === 'preparing') {
        preparingStandard = true;
        return;
      }
      if (m.type === 'prepared') {
        preparingStandard = false;
        resolvePrepared({ standard: m.standard, built: m.built, ms: m.ms, warmUpMs: m.warmUpMs || 0 });
        return;
      }
      const build = pendingBuilds.get(m.id);
      if (!build) return;
      if (m.type === 'status') onStatus(m.text);
      else if (m.type === 'built') {
        pendingBuilds.delete(m.id);
        build.resolve(m);
      }
    };
    onStatus('the compiler is ready');
  })();
  ready.catch((error) => {
    onStatus(error.message);
    resolvePrepared({ standard: false, built: false, ms: 0 });
  });

  const windows = createWindows({
    desktop: () => options.desktop,
    send: (record) => {
      if (!program) return;
      const message = { type: 'input', record };
      // Input before the program started (keys typed at once) waits for it.
      if (program.started) program.worker.postMessage(message);
      else program.queued.push(message);
    },
    // Keys reach the program only while one of its windows has the focus
    // (a press in a window gives it the focus; one on the editor takes it back).
    takesKeys: () => program !== null && options.desktop.contains(document.activeElement),
  });

  function stop(reason = 'stopped') {
    if (!program) return false;
    program.worker.terminate();
    for (const answer of program.deletions.values()) answer('');
    program = null;
    onStatus(reason);
    onExit({ code: null, reason });
    return true;
  }

  function fileChanged(m) {
    if (m.large) {
      if (folder.has(m.name)) folder.set(m.name, null);
      onStatus(`${m.name} (${(m.size / 1048576).toFixed(1)} MB) is larger than the ${KEPT_BYTES >> 20} MB a file ` +
               'may have to be kept in the browser: it lasts until the program ends');
    } else {
      folder.set(m.name, m.bytes === null ? null : new Uint8Array(m.bytes));
    }
    onFiles(folder.list());
  }

  // The compiler's answer for the program's files: {ok, diagnostics, log, wasm}.
  let compiles = 0;
  function compile(files) {
    const id = ++compiles;
    if (preparingStandard) onStatus('preparing the standard headers, once in this browser; compiling next');
    return new Promise((resolve) => {
      pendingBuilds.set(id, { resolve });
      compiler.postMessage({ type: 'build', id, files: files.map((f) => ({ name: f.name, text: f.text })) });
    });
  }

  async function run(files, runOptions = {}) {
    stop();
    await ready;
    const id = ++builds;
    onStatus('compiling');
    const built = await compile(files);
    if (id !== builds) return { ok: false, diagnostics: [], log: 'another run began' };
    if (!built.ok) {
      onStatus('the program did not compile');
      return { ok: false, diagnostics: built.diagnostics, log: built.log };
    }
    await folder.ready;
    const code = codeOffset(new Uint8Array(built.wasm));
    const module = await WebAssembly.compile(built.wasm);
    if (id !== builds) return { ok: false, diagnostics: [], log: 'another run began' };
    stop();
    windows.clear();
    const worker = new Worker(new URL('program_worker.js', here), { type: 'module' });
    const current = { worker, started: false, queued: [], open: new Set(), inUse: '', deletions: new Map() };
    program = current;
    worker.onmessage = (event) => {
      if (program !== current) return;
      const m = event.data;
      if (m.type === 'loaded') {
        worker.postMessage({ type: 'start', module, args: [PROGRAM_NAME, ...(runOptions.args || [])],
                             files: folder.list(), site, codeOffset: code, sources: files.map((f) => f.name) });
        current.started = true;
        current.queued.forEach((queued) => worker.postMessage(queued));
        current.queued = [];
        onStatus('running');
      } else if (m.type === 'present') {
        windows.present(m.id, new Uint8Array(m.pixels), m.width, m.height);
      } else if (m.type === 'call') {
        windows[m.name](...m.args);
      } else if (m.type === 'debug') {
        // OutputDebugStringA: the browser's console, where a page's developer looks.
        const skipped = m.dropped ? `[${m.dropped} characters of debug output skipped]\n` : '';
        console.debug(skipped + m.text.replace(/\n$/, ''));
      } else if (m.type === 'output') {
        // A batch that dropped part of itself is longer than the output pane
        // keeps anyway: the pane says its start is dropped.
        for (const part of m.parts) {
          if (part.stream === 'repair') onOutput('repair', part.text, { file: part.file || null, line: part.line || 0 });
          else onOutput(part.stream, part.text);
        }
      } else if (m.type === 'read') {
        folder.get(m.name).then((bytes) => worker.postMessage({ type: 'read', request: m.request, bytes }));
      } else if (m.type === 'file') {
        fileChanged(m);
      } else if (m.type === 'opened') {
        if (m.open) current.open.add(m.name); else current.open.delete(m.name);
      } else if (m.type === 'in-use') {
        current.inUse = m.name;
      } else if (m.type === 'deleted') {
        const answer = current.deletions.get(m.name);
        current.deletions.delete(m.name);
        if (answer) answer(m.refused);
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
    return { ok: true, diagnostics: built.diagnostics, log: built.log, standardPrelude: built.standardPrelude };
  }

  // ------------------------------------------------------------------ checks

  // Compiles the program and runs it headless in a Worker of its own
  // (check_worker.js), beside any program running in the windows: args are its
  // arguments, inputs the files of its folder ({name: Uint8Array}; nothing of
  // the person's folder), seconds the real time it may take. Resolves with
  // {ok: false, diagnostics, log} when it does not compile, else {ok: true,
  // diagnostics, run: {code, trap, flooded, timedOut, files, stderr,
  // elsewhere, seconds (taken)}}.
  async function check(files, { args, inputs, seconds }) {
    await ready;
    onStatus('compiling the program to check it');
    const built = await compile(files);
    if (!built.ok) return { ok: false, diagnostics: built.diagnostics, log: built.log };
    const code = codeOffset(new Uint8Array(built.wasm));
    const module = await WebAssembly.compile(built.wasm);
    onStatus('checking: the program runs headless with the task\'s input');
    const worker = new Worker(new URL('check_worker.js', here), { type: 'module' });
    let started = 0;
    const ran = await new Promise((resolve) => {
      let timer = null;
      const end = (result) => {
        clearTimeout(timer);
        worker.terminate();
        resolve({ code: null, trap: '', flooded: false, timedOut: false, files: {}, stderr: '', elsewhere: [],
                  ...result, seconds: started ? (performance.now() - started) / 1000 : 0 });
      };
      worker.onmessage = (event) => {
        const m = event.data;
        if (m.type === 'loaded') {
          started = performance.now();
          worker.postMessage({ type: 'start', module, args, files: inputs, site, codeOffset: code,
                               sources: files.map((f) => f.name) });
          // However the program loops, the Worker is ended when its time is up.
          timer = setTimeout(() => end({ timedOut: true }), seconds * 1000);
        } else if (m.type === 'ended') {
          end(m);
        }
      };
      worker.onerror = (event) => end({ trap: `its Worker failed: ${event.message || 'no reason given'}` });
    });
    onStatus('checked');
    return { ok: true, diagnostics: built.diagnostics, run: ran };
  }

  // ------------------------------------------------------------------ the folder

  // A file of the folder, downloaded under its own name: false when there is none.
  async function downloadFile(name) {
    const bytes = await folder.get(name);
    if (!bytes) return false;
    saveDownload(bytes, name.replace(/^.*\//, ''));
    return true;
  }

  // Why a file of the folder cannot be replaced or deleted now ('' when it can):
  // the running program uses it (it says so) or has it open.
  function busy(name) {
    if (!program) return '';
    if (program.inUse === name) return `${name} is in use by the program`;
    if (program.open.has(name)) return `${name} is open in the program`;
    return '';
  }

  // Puts the bytes of `file` (a File or Blob) into the folder as `name`, also in
  // a running program's folder; refused (the Error says why) while the program
  // uses the file. Answers a line saying what was done.
  async function loadFile(name, file) {
    const refused = busy(name);
    if (refused) throw new Error(refused);
    const bytes = new Uint8Array(await file.arrayBuffer());
    const late = busy(name);  // the program may have begun to use it meanwhile
    if (late) throw new Error(late);
    await folder.ready;
    if (!folder.set(name, bytes)) throw new Error(`${file.name} is larger than the ${KEPT_BYTES >> 20} MB a file may have`);
    onFiles(folder.list());
    // A running program reads its folder in its Worker: the file goes there too.
    if (program && program.started) program.worker.postMessage({ type: 'file', name, bytes: bytes.slice() });
    return `Loaded ${file.name} as ${name} (${bytes.length} bytes)`;
  }

  // Deletes a file of the folder, also from a running program's folder;
  // refused (the answer says why) while the program uses or has it open.
  async function deleteFile(name) {
    await folder.ready;
    if (!folder.has(name)) return `${name} is not one of the program's files`;
    const refused = busy(name);
    if (refused) return `${name} cannot be deleted now: ${refused}`;
    if (program && program.started) {
      const current = program;
      const answer = await new Promise((resolve) => {
        current.deletions.set(name, resolve);
        current.worker.postMessage({ type: 'delete', name });
      });
      if (answer) return `${name} cannot be deleted now: ${answer}`;
    }
    folder.set(name, null);
    onFiles(folder.list());
    return '';
  }

  // The page is being left: the program writes back what it holds, then the
  // folder saves what it can.
  onLeave(() => {
    if (program) program.worker.postMessage({ type: 'leave' });
    folder.leave();
  });

  return {
    ready,
    // {standard (the standard headers' prelude is in use), built (now, not
    // taken from the browser's store), ms, warmUpMs (the compiler's warm-up
    // build)}, once the compiler has it or not and has warmed up.
    prepared,
    run,
    check,
    stop: () => { stop(); },
    get running() { return program !== null; },
    files: async () => { await folder.ready; return folder.list(); },
    loadFile,
    downloadFile,
    deleteFile,
  };
}
