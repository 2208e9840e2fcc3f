// A program's folder kept in the browser: the one storage engine of the web
// pages and the playground.
//
// The folder's index (name -> size and time) is in memory; each file's bytes are
// in IndexedDB and read when asked for (a program opening the file, a
// download). A change is saved at most once a second while something is
// unsaved; when the page is left, what is still unsaved is copied to
// localStorage at once (the browser may drop a save started then), and the
// next start takes such a copy when it is newer than what IndexedDB has.
// Without an IndexedDB that answers, the folder lives in memory and `say` is
// told so. Files larger than KEPT_BYTES are not kept.
//
//   const folder = createFolderStore({ database: 'tavlo-pages', say });
//   await folder.ready;
//   folder.list();               // {name: {size, mtime}}
//   await folder.get(name);      // Uint8Array or null
//   folder.set(name, bytes);     // null removes the file
//   folder.leave();              // the page is being left
//
// Also here: the page's downloads and its leaving, each in one place.

export const KEPT_BYTES = 16 << 20;
const SAVE_INTERVAL_MS = 1000;
const OPEN_TIMEOUT_MS = 8000;  // an IndexedDB that has not answered by then never will
const FILES = 'files', INDEX = 'index';

function requestResult(request) {
  return new Promise((resolve, reject) => {
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

// The database (version 2: the files' bytes and their index), or null with why not.
function openDatabase(name) {
  return new Promise((resolve) => {
    let request;
    try {
      request = indexedDB.open(name, 2);
    } catch (error) {
      console.debug('IndexedDB open failed:', error);
      resolve({ db: null, why: typeof indexedDB === 'undefined' || !indexedDB ? 'none' : 'cannot be opened' });
      return;
    }
    const timer = setTimeout(() => resolve({ db: null, why: 'does not answer' }), OPEN_TIMEOUT_MS);
    request.onupgradeneeded = (event) => {
      const db = request.result;
      if (!db.objectStoreNames.contains(FILES)) db.createObjectStore(FILES);
      const index = db.createObjectStore(INDEX);
      if (event.oldVersion >= 1) {
        // Version 1 kept the files alone: their index is made from them once.
        const cursorRequest = request.transaction.objectStore(FILES).openCursor();
        cursorRequest.onsuccess = () => {
          const cursor = cursorRequest.result;
          if (!cursor) return;
          index.put({ size: cursor.value.bytes.byteLength, mtime: cursor.value.mtime }, cursor.key);
          cursor.continue();
        };
      }
    };
    request.onsuccess = () => { clearTimeout(timer); resolve({ db: request.result, why: '' }); };
    request.onerror = () => {
      clearTimeout(timer);
      console.debug('IndexedDB open failed:', request.error);
      resolve({ db: null, why: 'cannot be opened' });
    };
  });
}

// options: {database: the IndexedDB name, say(text): a line for the person,
// earlier(): optional, resolves with {name: {bytes, mtime}} to take in once when
// the database is new (files an earlier version of the page kept elsewhere)}.
export function createFolderStore(options) {
  const say = options.say || (() => {});
  const mirrorPrefix = `${options.database}-unsaved:`;
  const files = new Map();  // name -> {size, mtime, bytes (null: in IndexedDB only)}
  const unsaved = new Set();
  let db = null;
  let saving = false, timer = null, lastSave = -Infinity, failed = false;

  const ready = (async () => {
    const opened = await openDatabase(options.database);
    db = opened.db;
    if (db) {
      try {
        const store = db.transaction(INDEX).objectStore(INDEX);
        const [keys, values] = await Promise.all([requestResult(store.getAllKeys()), requestResult(store.getAll())]);
        keys.forEach((name, i) => files.set(name, { size: values[i].size, mtime: values[i].mtime, bytes: null }));
      } catch (error) {
        console.debug('IndexedDB read failed:', error);
        say('The browser\'s storage (IndexedDB) cannot be read: the program\'s files start empty');
      }
      if (files.size === 0 && options.earlier) {
        try {
          for (const [name, entry] of Object.entries(await options.earlier())) {
            files.set(name, { size: entry.bytes.length, mtime: entry.mtime, bytes: entry.bytes });
            unsaved.add(name);
          }
        } catch (error) { /* nothing to take in */ }
      }
    } else {
      say(opened.why === 'none' ? 'This browser offers no IndexedDB: files will not survive a reload of the page'
        : `The browser's storage (IndexedDB) ${opened.why}: files will not survive a reload of the page`);
    }
    // Copies left by a page that was left before its last changes were saved.
    try {
      for (let i = localStorage.length - 1; i >= 0; --i) {
        const key = localStorage.key(i);
        if (!key.startsWith(mirrorPrefix)) continue;
        const name = key.slice(mirrorPrefix.length);
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
    if (timer !== null) { clearTimeout(timer); timer = null; }
    if (!db || saving || unsaved.size === 0) return;
    const names = [...unsaved];
    unsaved.clear();
    saving = true;
    lastSave = performance.now();
    const done = (ok, error) => {
      saving = false;
      if (ok) {
        failed = false;
        for (const name of names) {
          if (unsaved.has(name)) continue;
          try { localStorage.removeItem(mirrorPrefix + name); } catch (e) { /* none */ }
          const entry = files.get(name);
          if (entry) entry.bytes = null;  // saved: read from IndexedDB again when needed
        }
      } else {
        names.forEach((name) => unsaved.add(name));
        if (!failed) {
          console.debug('IndexedDB write failed:', error);
          say(`${names.join(', ')} could not be saved in the browser's storage: it may be full or turned off; ` +
              'download what you need to keep');
        }
        failed = true;
      }
      schedule();
    };
    let transaction;
    try {
      transaction = db.transaction([FILES, INDEX], 'readwrite');
      const store = transaction.objectStore(FILES), index = transaction.objectStore(INDEX);
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
    } catch (error) {
      done(false, error);
      return;
    }
    transaction.oncomplete = () => done(true);
    transaction.onerror = transaction.onabort = () => done(false, transaction.error);
  }

  // A file's bytes (null when there is none).
  async function get(name) {
    await ready;
    const entry = files.get(name);
    if (!entry) return null;
    if (entry.bytes) return entry.bytes;
    if (!db) return null;
    try {
      const value = await requestResult(db.transaction(FILES).objectStore(FILES).get(name));
      return value ? new Uint8Array(value.bytes) : null;
    } catch (error) {
      return null;
    }
  }

  // Puts a file (null: removes it); a file over KEPT_BYTES is not kept: an older
  // copy would only mislead, so it goes, and the answer is false.
  function set(name, bytes) {
    const kept = bytes === null || bytes.length <= KEPT_BYTES;
    if (!kept || bytes === null) {
      if (!files.has(name)) return kept;
      files.delete(name);
    } else {
      files.set(name, { size: bytes.length, mtime: Date.now(), bytes });
    }
    unsaved.add(name);
    schedule();
    return kept;
  }

  // The page is being left: what is unsaved goes to localStorage now, and a save starts.
  function leave() {
    for (const name of unsaved) {
      const entry = files.get(name);
      try {
        if (!entry) { localStorage.removeItem(mirrorPrefix + name); continue; }
        if (!entry.bytes) continue;
        let text = '';
        for (let i = 0; i < entry.bytes.length; i += 8192) {
          text += String.fromCharCode.apply(null, entry.bytes.subarray(i, i + 8192));
        }
        localStorage.setItem(mirrorPrefix + name, JSON.stringify({ mtime: entry.mtime, bytes: text }));
      } catch (error) { /* full: the save below may still make it */ }
    }
    save();
  }

  return {
    ready,
    get,
    set,
    leave,
    has: (name) => files.has(name),
    // The files as {name: {size, mtime}}, sorted by name.
    list: () => Object.fromEntries([...files].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))
      .map(([name, entry]) => [name, { size: entry.size, mtime: entry.mtime }])),
    persistent: () => db !== null,
  };
}

// Hands bytes to the browser's downloads as a file of that name.
export function saveDownload(bytes, name, type = 'application/octet-stream') {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(bytes instanceof Blob ? bytes : new Blob([bytes], { type }));
  link.download = name;
  document.body.appendChild(link);
  link.click();
  // The browser reads the blob after the click returns, and on a busy machine
  // that can take seconds: the address lives well past that.
  setTimeout(() => { URL.revokeObjectURL(link.href); link.remove(); }, 60000);
}

// Calls `action` when the page is being left or hidden (a hidden tab may be
// discarded unseen): the moment to write back what is unsaved.
export function onLeave(action) {
  window.addEventListener('pagehide', action);
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') action();
  });
}
