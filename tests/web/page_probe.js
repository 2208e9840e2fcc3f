// Test-only: what the browser test reads of a page. browser_test.mjs injects this
// file before each page's own scripts; the pages never load it themselves.
//
// window.tavloProbe counts what the page's interface to the program saw:
// frames presented per window title, the program's waits (by kind, and those that
// ended at their timeout), debug-output and error lines, the exit code; and reads
// the script file the program sees.
/* global Module, FS */
(function () {
  'use strict';
  var probe = {
    debugLines: [],
    errors: [],
    frames: {},          // window title -> frames presented
    presents: 0,         // all windows
    waits: { zero: 0, timed: 0, untimed: 0, expired: 0 },
    exitCode: null,
    titles: {}           // page window id -> title
  };
  window.tavloProbe = probe;

  probe.totalWaits = function () { return probe.waits.zero + probe.waits.timed + probe.waits.untimed; };
  probe.framesOf = function (title) { return probe.frames[title] || 0; };
  // The script file as the program sees it (null: none).
  probe.scriptText = function () {
    try { return FS.readFile('/tavlo/TAVLO.SCR', { encoding: 'utf8' }); } catch (e) { return null; }
  };
  // The copy of the script file in IndexedDB, as a reload would find it (null: none).
  probe.storedScript = function () {
    return new Promise(function (resolve) {
      var request;
      try { request = indexedDB.open('tavlo-pages'); } catch (e) { return resolve(null); }
      request.onerror = function () { resolve(null); };
      request.onsuccess = function () {
        var db = request.result;
        if (!db.objectStoreNames.contains('files')) { db.close(); return resolve(null); }
        var get = db.transaction('files').objectStore('files').get('TAVLO.SCR');
        get.onsuccess = function () {
          db.close();
          var entry = get.result;
          resolve(entry && entry.bytes ? new TextDecoder().decode(entry.bytes) : null);
        };
        get.onerror = function () { db.close(); resolve(null); };
      };
    });
  };

  var consoleError = console.error;
  console.error = function (text) {
    probe.errors.push(String(text));
    return consoleError.apply(console, arguments);
  };

  function wrap(object, name, before, after) {
    var original = object[name];
    if (typeof original !== 'function') return;
    object[name] = function () {
      if (before) before.apply(null, arguments);
      var result = original.apply(this, arguments);
      return after ? after(result, arguments) : result;
    };
  }

  function instrument(page) {
    wrap(page, 'createWindow', function (w) {
      probe.titles[w.id] = w.title;
      probe.frames[w.title] = probe.frames[w.title] || 0;
    });
    wrap(page, 'present', function (id) {
      var title = probe.titles[id];
      probe.frames[title] = (probe.frames[title] || 0) + 1;
      probe.presents += 1;
    });
    wrap(page, 'debugOutput', function (text) {
      probe.debugLines.push(text);
      if (probe.debugLines.length > 5000) probe.debugLines.splice(0, probe.debugLines.length - 5000);
    });
    wrap(page, 'wait', function (timeout) {
      if (timeout === 0) probe.waits.zero += 1;
      else if (timeout > 0) probe.waits.timed += 1;
      else probe.waits.untimed += 1;
    }, function (promise, args) {
      // The wait answers whether input woke it; a timed wait that was not woken
      // ran to its end.
      var timeout = args[0];
      if (!(timeout > 0)) return promise;
      return promise.then(function (woken) {
        if (woken === false) probe.waits.expired += 1;
        return woken;
      });
    });
  }

  window.Module = window.Module || {};
  Module.preRun = Module.preRun || [];
  Module.preRun.push(function () {
    if (Module.tavloPage) instrument(Module.tavloPage);
    var onExit = Module.onExit, onAbort = Module.onAbort;
    Module.onExit = function (code) {
      probe.exitCode = code;
      if (onExit) onExit(code);
    };
    Module.onAbort = function (what) {
      probe.exitCode = 'abort';
      if (onAbort) onAbort(what);
    };
  });
})();
