// The page's start-up: URL options become the program's options, and the parts
// are joined to the program as Emscripten runs it (on the page's thread,
// suspended under Asyncify while it waits):
//   - TavloWindows (page_windows.js) draws the windows and turns DOM input into
//     input records, which go to TavloInput (page_input.js);
//   - Module.tavloPage is the interface web_presenter.cpp calls: the windows'
//     calls, the next input record, the wait, the debug output;
//   - TavloStorage (page_storage.js) keeps the program's folder;
//   - the status line, the exit banner, and leaving the page.
/* global Module, TavloWindows, TavloInput, TavloStorage */
(function () {
  'use strict';
  if (typeof document === 'undefined') return;  // not a page (node): no presenter

  var statusLine = null;
  function say(text) {
    statusLine = statusLine || document.getElementById('tavlo-status');
    if (statusLine) statusLine.textContent = text;
  }
  function banner(text) {
    var shown = document.getElementById('tavlo-exit');
    if (shown) { shown.textContent = text; shown.hidden = false; }
  }
  function whenReady(action) {
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', action);
    else action();
  }

  // ---------------------------------------------------------------- options

  // URL options, named like the program's own: seed=N (--seed), client=WxH
  // (--client), frames=N (--frames). The program checks their values. An
  // unknown parameter (a misspelt one) stops the page, as the program refuses an
  // unknown option.
  var OPTIONS = ['seed', 'client', 'frames'];
  function urlOptions() {
    var args = [], unknown = [];
    var params = new URLSearchParams(window.location.search);
    params.forEach(function (value, name) {
      if (OPTIONS.indexOf(name) < 0 && unknown.indexOf(name) < 0) unknown.push(name);
    });
    OPTIONS.forEach(function (name) {
      if (params.has(name)) args.push('--' + name + '=' + params.get(name));
    });
    return { args: args, unknown: unknown };
  }

  function refuseToStart(unknown) {
    var text = 'The program was not started: unknown URL parameter' + (unknown.length > 1 ? 's ' : ' ') +
               unknown.map(function (name) { return '"' + name + '"'; }).join(', ') +
               '; the parameters are ' + OPTIONS.join(', ') + '.';
    whenReady(function () { banner(text); say(text); });
  }

  // ---------------------------------------------------------------- the parts

  var input = TavloInput.create();
  var windows = TavloWindows.create({
    desktop: function () { return document.getElementById('tavlo-desktop'); },
    send: input.push
  });
  var storage = TavloStorage.create({ say: say, menuChecked: windows.menuChecked });

  Module['tavloPage'] = {
    createWindow: windows.createWindow,
    layOut: windows.layOut,
    showWindow: windows.showWindow,
    destroyWindow: windows.destroyWindow,
    setMenu: windows.setMenu,
    present: windows.present,
    // The oldest input record; one for "the window with the focus" (id 0, keys
    // typed before the first window opened) goes to that window now.
    nextInput: function () {
      var record = input.next();
      if (record && record.id === 0) record.id = windows.focusId();
      return record;
    },
    wait: input.wait,
    // OutputDebugStringA: the browser's console, where a page's developer looks.
    debugOutput: function (text) { console.debug(text.replace(/\n$/, '')); }
  };

  // ---------------------------------------------------------------- the program

  var programRunning = false;
  var lastError = '';

  function ended(code) {
    programRunning = false;
    var text = 'The program ended with exit code ' + code + '.';
    banner(text + ' Reload the page to start it again.');
    say(lastError || text);
  }

  // The page is being left (or hidden: a hidden tab may be discarded unseen):
  // the program writes back what it holds (its windows hear that the session
  // ends), then the storage saves what it can.
  function leave() {
    if (programRunning && Module['_tavlo_page_leaving']) {
      try { Module['_tavlo_page_leaving'](); } catch (e) { /* the program ended meanwhile */ }
    }
    storage.leave();
  }

  var options = urlOptions();
  Module['arguments'] = options.args;
  if (options.unknown.length) {
    Module['noInitialRun'] = true;
    refuseToStart(options.unknown);
  }
  // The program's name, as its messages give it: the page's name.
  Module['thisProgram'] = (window.location.pathname.split('/').pop() || 'program').replace(/\.html$/, '');
  Module['preRun'] = Module['preRun'] || [];
  Module['preRun'].push(storage.setUp);
  Module['onRuntimeInitialized'] = function () { programRunning = !Module['noInitialRun']; };
  Module['onExit'] = ended;
  Module['onAbort'] = function (what) {
    programRunning = false;
    banner('The program stopped: ' + what);
  };
  Module['printErr'] = function (text) {
    lastError = text;
    console.error(text);
    say(text);
  };
  Module['print'] = function (text) { console.log(text); };

  whenReady(function () {
    var download = document.getElementById('tavlo-download');
    var load = document.getElementById('tavlo-load');
    if (download) download.addEventListener('click', storage.download);
    if (load) load.addEventListener('change', function () { storage.load(load.files[0]); load.value = ''; });
    window.addEventListener('pagehide', leave);
    document.addEventListener('visibilitychange', function () {
      if (document.visibilityState === 'hidden') leave();
    });
  });
})();
