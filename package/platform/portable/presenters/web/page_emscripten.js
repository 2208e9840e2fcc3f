// An Emscripten page: the program runs on the page's thread, suspended under
// Asyncify while it waits. This file joins the page modules to it. Bundled with
// what it imports into one classic script (playground/tools/page-scripts.mjs),
// page_scripts.js, which the page loads before the program; the program's
// --pre-js (page_pre.js) calls start() with what is the program's own: Module,
// its file system, its memory and its run dependencies.
//   - createWindows (page_windows.js) draws the windows and turns DOM input into
//     input records, which wait in createInputQueue's queue (page_input.js);
//   - Module.tavloPage (createPage) and Module.tavloHost (createPageHost, over
//     the program's memory) are the page's side of page_interface.h;
//   - the program's current folder /tavlo is kept by createFolderStore
//     (page_files.js): its files are put into the program's file system before
//     it starts, and what the program writes there goes back to the store;
//   - the status line, the exit banner, the buttons that download and load the
//     file the page names (data-file), and leaving the page.
import { createFolderStore, onLeave, saveDownload } from './page_files.js';
import { createPage, createPageHost } from './page_host.js';
import { createInputQueue } from './page_input.js';
import { refusalText, urlOptions } from './page_options.js';
import { createWindows } from './page_windows.js';

const FOLDER = '/tavlo';  // the program's current folder
const WRITE_BACK_MS = 1000;

// env: {Module, fileSystem() (the program's FS, made after start), buffer() (the
// program's memory), addRunDependency, removeRunDependency}.
export function start(env) {
  const { Module, addRunDependency, removeRunDependency } = env;
  let FS = null;  // the program's file system, from the first run dependency on
  let statusLine = null;
  const say = (text) => {
    statusLine = statusLine || document.getElementById('tavlo-status');
    if (statusLine) statusLine.textContent = text;
  };
  const banner = (text) => {
    const shown = document.getElementById('tavlo-exit');
    if (shown) { shown.textContent = text; shown.hidden = false; }
  };
  const whenReady = (action) => {
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', action);
    else action();
  };

  // ---------------------------------------------------------------- the page's side

  const input = createInputQueue();
  const windows = createWindows({ desktop: () => document.getElementById('tavlo-desktop'), send: input.push });
  let fileInUse = '';
  Module.tavloPage = createPage({ windows, input, fileInUse: (name) => { fileInUse = name; } });
  Module.tavloHost = createPageHost(env.buffer, Module.tavloPage);

  // ---------------------------------------------------------------- the folder

  const folder = createFolderStore({ database: 'tavlo-pages', say, earlier: earlierFiles });
  const streams = new Map();   // path -> streams open on it
  const written = new Set();   // paths written since they last went to the store
  let writeBack = null;

  const inFolder = (path) => typeof path === 'string' && path.startsWith(`${FOLDER}/`);
  const nameOf = (path) => path.slice(FOLDER.length + 1);
  // A path the program gave, made absolute ('.' and '..' resolved).
  const absolute = (path) => {
    const parts = [];
    for (const part of `${String(path).startsWith('/') ? '' : FS.cwd()}/${path}`.split('/')) {
      if (part === '..') parts.pop();
      else if (part && part !== '.') parts.push(part);
    }
    return `/${parts.join('/')}`;
  };

  // What the program wrote goes to the store: at once when it closes the file,
  // else within WRITE_BACK_MS while it goes on writing.
  function store(path) {
    written.delete(path);
    let bytes;
    try { bytes = FS.readFile(path); } catch (error) { bytes = null; }
    if (!folder.set(nameOf(path), bytes)) {
      say(`${nameOf(path)} (${(bytes.length / 1048576).toFixed(1)} MB) is too large to keep in the browser: ` +
          'it lasts until the page is left');
    }
  }
  function storeWritten() {
    writeBack = null;
    for (const path of [...written]) store(path);
  }

  function setUpFolder() {
    FS = env.fileSystem();
    FS.mkdir(FOLDER);
    FS.chdir(FOLDER);
    const { open, write, close, unlink, rename } = FS;
    FS.open = function (path, ...rest) {
      const stream = open.call(FS, path, ...rest);
      if (inFolder(stream.path)) streams.set(stream.path, (streams.get(stream.path) || 0) + 1);
      return stream;
    };
    FS.write = function (stream, ...rest) {
      const result = write.call(FS, stream, ...rest);
      if (stream && inFolder(stream.path)) {
        written.add(stream.path);
        writeBack ??= setTimeout(storeWritten, WRITE_BACK_MS);
      }
      return result;
    };
    FS.close = function (stream) {
      const result = close.call(FS, stream);
      if (stream && inFolder(stream.path)) {
        const left = (streams.get(stream.path) || 1) - 1;
        if (left > 0) streams.set(stream.path, left); else streams.delete(stream.path);
        if ((stream.flags & 3) !== 0) store(stream.path);  // opened for writing
      }
      return result;
    };
    FS.unlink = function (path) {
      const result = unlink.call(FS, path);
      if (inFolder(absolute(path))) folder.set(nameOf(absolute(path)), null);
      return result;
    };
    FS.rename = function (from, to) {
      const result = rename.call(FS, from, to);
      if (inFolder(absolute(from))) folder.set(nameOf(absolute(from)), null);
      if (inFolder(absolute(to))) store(absolute(to));
      return result;
    };
    // The kept files go into the folder before the program starts.
    addRunDependency('tavlo-folder');
    folder.ready.then(async () => {
      for (const name of Object.keys(folder.list())) {
        const bytes = await folder.get(name);
        if (bytes === null) continue;
        const parts = name.split('/');
        for (let i = 1; i < parts.length; ++i) {
          try { FS.mkdir(`${FOLDER}/${parts.slice(0, i).join('/')}`); } catch (error) { /* there */ }
        }
        FS.writeFile(`${FOLDER}/${name}`, bytes);
      }
    }).finally(() => removeRunDependency('tavlo-folder'));
  }

  // ---------------------------------------------------------------- the named file

  // The file the page's buttons download and load: the page names it, and says
  // what the person can do when it is missing or in use (data-file, data-missing,
  // data-in-use, data-loaded on the download button).
  function namedFile() {
    const button = document.getElementById('tavlo-download');
    const data = (button && button.dataset) || {};
    return { name: data.file || '', missing: data.missing || '', inUse: data.inUse || '', loaded: data.loaded || '' };
  }
  const withHint = (text, hint) => (hint ? `${text}: ${hint}` : text);

  function download() {
    const file = namedFile();
    let bytes;
    try { bytes = FS.readFile(`${FOLDER}/${file.name}`); } catch (error) { bytes = null; }
    if (!bytes) { say(withHint(`There is no ${file.name} yet`, file.missing)); return; }
    saveDownload(bytes, file.name, 'text/plain');
  }

  // Why the named file cannot be replaced now ('' when it can): the program uses
  // it (it says so) or has it open.
  function refusal(file) {
    if (fileInUse === file.name || streams.has(`${FOLDER}/${file.name}`)) {
      return withHint(`${file.name} is in use by the program`, file.inUse);
    }
    return '';
  }

  function load(picked) {
    if (!picked) return;
    const file = namedFile();
    const refused = refusal(file);
    if (refused) { say(refused); return; }
    picked.arrayBuffer().then((buffer) => {
      const late = refusal(file);  // the program may have begun to use it meanwhile
      if (late) { say(late); return; }
      const bytes = new Uint8Array(buffer);
      try {
        FS.writeFile(`${FOLDER}/${file.name}`, bytes);
      } catch (error) {
        console.debug(error);
        say(`${file.name} could not be written in the page's folder`);
        return;
      }
      folder.set(file.name, bytes);
      say(withHint(`Loaded ${picked.name} as ${file.name} (${bytes.length} bytes)`, file.loaded));
    }, () => say(`${picked.name} could not be read`));
  }

  // ---------------------------------------------------------------- the program

  let programRunning = false;
  let lastError = '';

  // The page is being left (or hidden): the program writes back what it holds
  // (its windows hear that the session ends), then the folder saves what it can.
  function leave() {
    if (programRunning && Module._tavlo_page_leaving) {
      try { Module._tavlo_page_leaving(); } catch (error) { /* the program ended meanwhile */ }
    }
    if (writeBack !== null) { clearTimeout(writeBack); storeWritten(); }
    folder.leave();
  }

  const options = urlOptions(window.location.search);
  Module.arguments = options.args;
  if (options.unknown.length) {
    Module.noInitialRun = true;
    const text = refusalText(options.unknown);
    whenReady(() => { banner(text); say(text); });
  }
  // The program's name, as its messages give it: the page's name.
  Module.thisProgram = (window.location.pathname.split('/').pop() || 'program').replace(/\.html$/, '');
  Module.preRun = Module.preRun || [];
  Module.preRun.push(setUpFolder);
  Module.onRuntimeInitialized = () => { programRunning = !Module.noInitialRun; };
  Module.onExit = (code) => {
    programRunning = false;
    const text = `The program ended with exit code ${code}.`;
    banner(`${text} Reload the page to start it again.`);
    say(lastError || text);
  };
  Module.onAbort = (what) => {
    programRunning = false;
    banner(`The program stopped: ${what}`);
  };
  Module.printErr = (text) => {
    lastError = text;
    console.error(text);
    say(text);
  };
  Module.print = (text) => console.log(text);

  whenReady(() => {
    const downloadButton = document.getElementById('tavlo-download');
    const loadInput = document.getElementById('tavlo-load');
    if (downloadButton) downloadButton.addEventListener('click', download);
    if (loadInput) loadInput.addEventListener('change', () => { load(loadInput.files[0]); loadInput.value = ''; });
    onLeave(leave);
  });
}

// The files an earlier version of the pages kept (Emscripten's IndexedDB file
// system, database "/tavlo"): taken in once, when the folder is new.
function earlierFiles() {
  return new Promise((resolve) => {
    const found = {};
    let request;
    try { request = indexedDB.open(FOLDER); } catch (error) { resolve(found); return; }
    request.onupgradeneeded = () => request.transaction.abort();  // none there: make none
    request.onerror = () => resolve(found);
    request.onsuccess = () => {
      const db = request.result;
      if (!db.objectStoreNames.contains('FILE_DATA')) { db.close(); resolve(found); return; }
      const cursor = db.transaction('FILE_DATA').objectStore('FILE_DATA').openCursor();
      cursor.onsuccess = () => {
        const at = cursor.result;
        if (!at) { db.close(); resolve(found); return; }
        const value = at.value;
        if (typeof at.key === 'string' && at.key.startsWith(`${FOLDER}/`) && value && value.contents) {
          found[at.key.slice(FOLDER.length + 1)] = { bytes: new Uint8Array(value.contents),
                                                     mtime: Number(value.timestamp) || Date.now() };
        }
        at.continue();
      };
      cursor.onerror = () => { db.close(); resolve(found); };
    };
  });
}

