// The script file in the browser's storage: the program's current folder
// /tavlo, kept in IndexedDB; the page's "download" and "load" of TAVLO.SCR.
//
// The folder is an IndexedDB file system (IDBFS) when the browser has one that
// answers: a file written there reaches IndexedDB within a second (a sync at
// most once a second while something is unsaved), and when the page is left,
// what is still unsaved is also copied synchronously to localStorage, which the
// next start reads back; the browser may drop a sync started then. Without an
// IndexedDB that answers, the folder lives in memory only, and the page says so.
/* global FS, IDBFS, addRunDependency, removeRunDependency */
/* exported TavloStorage */
var TavloStorage = (function () {
  'use strict';

  var STORAGE = '/tavlo';  // the program's current folder
  var SCRIPT = 'TAVLO.SCR';
  var SYNC_INTERVAL_MS = 1000;
  var OPEN_TIMEOUT_MS = 8000;  // an IndexedDB that has not answered by then never will
  var MIRROR_PREFIX = 'tavlo-unsaved:';
  // The package's Run menu: Record Script and Playback Script (command ids).
  var RECORD_SCRIPT = 5, PLAYBACK_SCRIPT = 6;

  // Why TAVLO.SCR cannot be loaded now ('' when it can): the program records
  // into it or plays it back (the Run menu's check marks, menuChecked(id)), or
  // has it open (Play One Script).
  function loadRefusal(menuChecked, scriptOpen) {
    if (menuChecked(RECORD_SCRIPT)) {
      return 'Record Script is on: stop recording (Ctrl+R) before loading ' + SCRIPT +
             ', or the recording would overwrite it';
    }
    if (menuChecked(PLAYBACK_SCRIPT)) {
      return 'Playback Script is on: stop playback (Ctrl+P) before loading ' + SCRIPT;
    }
    if (scriptOpen) {
      return SCRIPT + ' is open in the program (Play One Script): choose Playback Script twice ' +
             'to close it before loading';
    }
    return '';
  }

  // Hands the script file's bytes to the browser's downloads.
  function saveDownload(bytes) {
    var link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'text/plain' }));
    link.download = SCRIPT;
    document.body.appendChild(link);
    link.click();
    // The browser reads the blob after the click returns, and on a busy
    // machine that can take seconds: keep the URL alive well past that.
    setTimeout(function () { URL.revokeObjectURL(link.href); link.remove(); }, 60000);
  }

  // options: {say: function (text) for the status line, menuChecked: function (id)}.
  function create(options) {
    var say = options.say;
    var menuChecked = options.menuChecked;

    var persistent = false;      // the folder is kept in IndexedDB
    var unsaved = {};            // path -> true: written since the last sync began
    var syncing = false, syncTimer = null, lastSyncAt = -Infinity, announce = false;
    var syncFailed = false;

    function inStorage(path) {
      return typeof path === 'string' && path.indexOf(STORAGE + '/') === 0;
    }
    function scriptSize() {
      try { return FS.stat(STORAGE + '/' + SCRIPT).size; } catch (e) { return -1; }
    }

    function scheduleSync() {
      if (!persistent || syncing || syncTimer !== null) return;
      var delay = Math.max(0, lastSyncAt + SYNC_INTERVAL_MS - performance.now());
      syncTimer = setTimeout(function () { syncTimer = null; sync(); }, delay);
    }

    function sync() {
      if (!persistent || syncing) return;
      if (syncTimer !== null) { clearTimeout(syncTimer); syncTimer = null; }
      var covered = Object.keys(unsaved);
      if (covered.length === 0) return;
      unsaved = {};
      syncing = true;
      lastSyncAt = performance.now();
      var told = announce;
      announce = false;
      FS.syncfs(false, function (error) {
        syncing = false;
        if (error) {
          covered.forEach(function (path) { unsaved[path] = true; });
          if (!syncFailed) {
            say(SCRIPT + ' could not be saved in the browser\'s storage: it may be full or turned off; ' +
                'download it to keep it');
            console.debug('IndexedDB sync failed:', error);
          }
          syncFailed = true;
        } else {
          syncFailed = false;
          // Saved: an older copy left for a reload is no longer needed.
          covered.forEach(function (path) {
            if (!unsaved[path]) forget(path);
          });
          if (told) {
            var size = scriptSize();
            if (size >= 0) say(SCRIPT + ' saved in the browser\'s storage (' + size + ' bytes)');
          }
        }
        if (Object.keys(unsaved).length) scheduleSync();
      });
    }

    function written(path) {
      if (!inStorage(path)) return;
      unsaved[path] = true;
      scheduleSync();
    }

    // localStorage copies of files not yet saved when the page was left.
    function forget(path) {
      try { localStorage.removeItem(MIRROR_PREFIX + path); } catch (e) { /* none */ }
    }
    function mirrorUnsaved() {
      Object.keys(unsaved).forEach(function (path) {
        try {
          var bytes = FS.readFile(path), text = '';
          for (var i = 0; i < bytes.length; i += 8192) {
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
          }
          localStorage.setItem(MIRROR_PREFIX + path,
                               JSON.stringify({ mtime: FS.stat(path).mtime.getTime(), bytes: text }));
        } catch (e) { /* no localStorage, or full: the sync may still save it */ }
      });
    }
    // After the folder is loaded: a copy left by a page that was left before its
    // last writes were saved replaces the older file.
    function restoreMirrors() {
      var keys = [];
      try {
        for (var i = 0; i < localStorage.length; ++i) {
          var key = localStorage.key(i);
          if (key.indexOf(MIRROR_PREFIX + STORAGE + '/') === 0) keys.push(key);
        }
      } catch (e) { return; }
      keys.forEach(function (key) {
        var path = key.slice(MIRROR_PREFIX.length);
        try {
          var entry = JSON.parse(localStorage.getItem(key));
          var stored = -1;
          try { stored = FS.stat(path).mtime.getTime(); } catch (e) { /* not in IndexedDB */ }
          if (entry && typeof entry.bytes === 'string' && entry.mtime >= stored) {
            var bytes = new Uint8Array(entry.bytes.length);
            for (var j = 0; j < bytes.length; ++j) bytes[j] = entry.bytes.charCodeAt(j) & 255;
            FS.writeFile(path, bytes);  // unsaved again, so synced soon
          } else {
            localStorage.removeItem(key);
          }
        } catch (e) {
          forget(path);
        }
      });
    }

    // The page is being left, after the program has written back what it holds:
    // the unsaved files are copied to localStorage at once, and a sync is started.
    function leave() {
      if (!persistent) return;
      mirrorUnsaved();
      sync();
    }

    // Open streams on the script file: loading one is refused while the program
    // has it open.
    var scriptStreams = 0;
    function isScript(stream) {
      return stream && stream.path === STORAGE + '/' + SCRIPT;
    }

    function inMemory(why) {
      persistent = false;
      say(why + ': recordings will not survive a reload of the page');
    }

    function indexedDbFactory() {
      try { return typeof indexedDB !== 'undefined' && indexedDB ? indexedDB : null; } catch (e) { return null; }
    }

    function setUpStorage() {
      FS.mkdir(STORAGE);
      var open = FS.open, close = FS.close, write = FS.write;
      FS.open = function () {
        var stream = open.apply(FS, arguments);
        if (isScript(stream)) ++scriptStreams;
        return stream;
      };
      FS.write = function (stream) {
        var result = write.apply(FS, arguments);
        if (stream) written(stream.path);
        return result;
      };
      FS.close = function (stream) {
        var script = isScript(stream);
        var wrote = stream && (stream.flags & 3) !== 0 && inStorage(stream.path);
        var result = close.apply(FS, arguments);
        if (script) scriptStreams = Math.max(0, scriptStreams - 1);
        // A recording is complete when it is closed: say when it is saved.
        if (wrote) { announce = true; written(stream.path); }
        return result;
      };
      if (!indexedDbFactory()) {
        FS.chdir(STORAGE);
        inMemory('This browser offers no IndexedDB');
        return;
      }
      FS.mount(IDBFS, {}, STORAGE);
      FS.chdir(STORAGE);
      addRunDependency('tavlo-storage');
      var settled = false;
      var settle = function (why) {
        if (settled) return false;
        settled = true;
        clearTimeout(timer);
        if (why) {
          inMemory(why);
        } else {
          persistent = true;
          unsaved = {};  // what was just loaded is saved
          restoreMirrors();
        }
        removeRunDependency('tavlo-storage');
        return true;
      };
      var timer = setTimeout(function () {
        settle('The browser\'s storage (IndexedDB) does not answer');
      }, OPEN_TIMEOUT_MS);
      IDBFS.getDB(STORAGE, function (error) {
        if (settled) return;  // too late: the program runs with the folder in memory
        // What went wrong goes to the console; the page says what it means.
        if (error) {
          console.debug('IndexedDB open failed:', error);
          return settle('The browser\'s storage (IndexedDB) cannot be opened');
        }
        FS.syncfs(true, function (error) {
          if (error) console.debug('IndexedDB read failed:', error);
          settle(error ? 'The browser\'s storage (IndexedDB) cannot be read' : null);
        });
      });
    }

    function download() {
      var data;
      try {
        data = FS.readFile(STORAGE + '/' + SCRIPT);
      } catch (e) {
        say('No ' + SCRIPT + ' yet: record one with Run > Record Script (Ctrl+R)');
        return;
      }
      saveDownload(data);
    }

    // Why a file cannot be loaded now ('' when it can): while Record Script is on,
    // the recording's first line would replace the file loaded; while Playback
    // Script is on, the playback reads the file; a stream still open (Play One
    // Script) reads on where it stands.
    function whyNotLoad() {
      return loadRefusal(menuChecked, scriptStreams > 0);
    }

    function load(file) {
      if (!file) return;
      var refusal = whyNotLoad();
      if (refusal) { say(refusal); return; }
      var reader = new FileReader();
      reader.onload = function () {
        var late = whyNotLoad();  // recording or playback may have begun meanwhile
        if (late) { say(late); return; }
        try {
          FS.writeFile(STORAGE + '/' + SCRIPT, new Uint8Array(reader.result));
        } catch (e) {
          say(SCRIPT + ' could not be written in the page\'s folder');
          console.debug(e);
          return;
        }
        say('Loaded ' + file.name + ' as ' + SCRIPT + ' (' + reader.result.byteLength +
            ' bytes): play it with Run > Playback Script (Ctrl+P)');
      };
      reader.onerror = function () { say(file.name + ' could not be read'); };
      reader.readAsArrayBuffer(file);
    }

    return { setUp: setUpStorage, leave: leave, download: download, load: load };
  }

  return { create: create, loadRefusal: loadRefusal, saveDownload: saveDownload };
})();
