// The page side of the web presenter (web_presenter.cpp calls Module.tavloPage).
//
// Draws each top-level window as a frame with a title bar, a close box, an HTML
// menu bar mirrored from the package's menu model and a canvas of its front
// image; queues DOM input for the program, which takes it at every GetMessageA;
// resolves the program's wait when input arrives or its timeout passes.
// Also: the page's URL options become the program's options, the script file
// lives in the browser's storage (IndexedDB), saved within a second of every
// write, and the page offers to download it and to load one.
/* global Module, FS, IDBFS, addRunDependency, removeRunDependency */

(function () {
  'use strict';
  if (typeof document === 'undefined') return;  // not a page (node): no presenter

  var MF_GRAYED = 0x1, MF_DISABLED = 0x2, MF_CHECKED = 0x8, MF_POPUP = 0x10, MF_SEPARATOR = 0x800;
  var INPUT = { buttonDown: 1, buttonUp: 2, keyDown: 3, keyUp: 4, command: 5, close: 6 };
  var STORAGE = '/tavlo';  // the program's current folder, kept in IndexedDB
  var SCRIPT = 'TAVLO.SCR';

  var desktop = null;      // the element holding the windows
  var statusLine = null;
  var windows = {};        // id -> {element, canvas, context, image, menu, ...}
  var focusId = 0;         // the window that gets keys
  var queue = [];          // input for the program, oldest first
  var wake = null;         // resolves the program's wait
  var openMenu = null;     // {win, title, list} of the pull-down shown
  var firstFrameAt = null; // ms from the page's start to the first picture

  function element(tag, className, text) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function say(text) {
    statusLine = statusLine || document.getElementById('tavlo-status');
    if (statusLine) statusLine.textContent = text;
  }

  function push(input) {
    queue.push(input);
    if (wake) {
      var resolve = wake;
      wake = null;
      resolve();
    }
  }

  // ---------------------------------------------------------------- menus

  // A label with its access letter ("&Run"): text before and after, the letter.
  function accessParts(label) {
    var at = -1;
    for (var i = 0; i < label.length - 1; ++i) {
      if (label[i] === '&') {
        if (label[i + 1] === '&') { ++i; continue; }
        at = i;
        break;
      }
    }
    var plain = function (s) { return s.replace(/&&/g, '&'); };
    if (at < 0) return { before: plain(label), letter: '', after: '' };
    return { before: plain(label.slice(0, at)), letter: label[at + 1],
             after: plain(label.slice(at + 2)) };
  }

  function labelElement(label) {
    var parts = accessParts(label);
    var span = element('span', 'label');
    span.appendChild(document.createTextNode(parts.before));
    if (parts.letter) span.appendChild(element('u', null, parts.letter));
    span.appendChild(document.createTextNode(parts.after));
    return span;
  }

  function closeMenus() {
    if (!openMenu) return;
    openMenu.title.classList.remove('open');
    openMenu.list.hidden = true;
    openMenu = null;
  }

  function openPullDown(win, title, list) {
    closeMenus();
    openMenu = { win: win, title: title, list: list };
    title.classList.add('open');
    list.hidden = false;
  }

  function choose(win, id) {
    closeMenus();
    push({ kind: INPUT.command, id: win.id, a: id });
  }

  function menuItemElement(win, item) {
    if (item.flags & MF_SEPARATOR) return element('li', 'separator');
    var tab = item.text.indexOf('\t');
    var label = tab < 0 ? item.text : item.text.slice(0, tab);
    var li = element('li', 'item');
    li.appendChild(element('span', 'check', (item.flags & MF_CHECKED) ? '\u2713' : ''));
    li.appendChild(labelElement(label));
    li.appendChild(element('span', 'shortcut', tab < 0 ? '' : item.text.slice(tab + 1)));
    var grayed = (item.flags & (MF_GRAYED | MF_DISABLED)) !== 0;
    if (grayed) li.classList.add('grayed');
    if (item.flags & MF_CHECKED) li.classList.add('checked');
    li.dataset.id = item.id;
    li.dataset.access = accessParts(label).letter.toUpperCase();
    li.setAttribute('role', 'menuitemcheckbox');
    li.setAttribute('aria-checked', (item.flags & MF_CHECKED) ? 'true' : 'false');
    if (grayed) li.setAttribute('aria-disabled', 'true');
    li.addEventListener('mousedown', function (e) { e.preventDefault(); });
    li.addEventListener('click', function (e) {
      e.stopPropagation();
      if (!grayed) choose(win, item.id);
    });
    return li;
  }

  function setMenu(id, model) {
    var win = windows[id];
    if (!win) return;
    if (openMenu && openMenu.win === win) closeMenus();
    win.menuModel = model;
    var bar = win.menuBar;
    bar.textContent = '';
    model.forEach(function (entry) {
      var holder = element('div', 'menu');
      var title = element('button', 'title');
      title.type = 'button';
      title.tabIndex = -1;
      title.appendChild(labelElement(entry.text));
      title.dataset.access = accessParts(entry.text).letter.toUpperCase();
      holder.appendChild(title);
      if (entry.flags & MF_POPUP) {
        var list = element('ul', 'pulldown');
        list.hidden = true;
        list.setAttribute('role', 'menu');
        (entry.items || []).forEach(function (item) { list.appendChild(menuItemElement(win, item)); });
        holder.appendChild(list);
        title.addEventListener('mousedown', function (e) {
          e.preventDefault();
          e.stopPropagation();
          focusWindow(win.id);
          if (openMenu && openMenu.list === list) closeMenus(); else openPullDown(win, title, list);
        });
        title.addEventListener('mouseenter', function () {
          if (openMenu && openMenu.win === win && openMenu.list !== list) openPullDown(win, title, list);
        });
      } else {
        var grayed = (entry.flags & (MF_GRAYED | MF_DISABLED)) !== 0;
        title.disabled = grayed;
        title.addEventListener('click', function () { if (!grayed) choose(win, entry.id); });
      }
      bar.appendChild(holder);
    });
  }

  // Whether an item with that command id is checked in a window's menu.
  function menuChecked(id) {
    var checked = function (items) {
      return (items || []).some(function (item) {
        return (item.flags & MF_POPUP) ? checked(item.items) : (item.id === id && (item.flags & MF_CHECKED) !== 0);
      });
    };
    return Object.keys(windows).some(function (key) { return checked(windows[key].menuModel); });
  }

  // Alt+letter opens the pull-down with that access letter; while one is open,
  // a letter chooses its item, Escape closes it.
  function menuKey(e) {
    if (openMenu) {
      if (e.key === 'Escape') { closeMenus(); return true; }
      var letter = e.key.length === 1 ? e.key.toUpperCase() : '';
      var items = openMenu.list.querySelectorAll('li.item');
      for (var i = 0; i < items.length; ++i) {
        if (letter && items[i].dataset.access === letter) {
          if (!items[i].classList.contains('grayed')) choose(openMenu.win, Number(items[i].dataset.id));
          return true;
        }
      }
      return true;  // keys go to the open menu, as on Windows
    }
    if (e.altKey && !e.ctrlKey && e.key.length === 1) {
      var win = windows[focusId];
      if (!win || win.menuBar.hidden) return false;
      var titles = win.menuBar.querySelectorAll('button.title');
      for (var j = 0; j < titles.length; ++j) {
        if (titles[j].dataset.access === e.key.toUpperCase()) {
          var list = titles[j].parentNode.querySelector('ul');
          if (list) openPullDown(win, titles[j], list);
          return true;
        }
      }
    }
    return false;
  }

  // ---------------------------------------------------------------- windows

  function focusWindow(id) {
    focusId = id;
    Object.keys(windows).forEach(function (key) {
      windows[key].element.classList.toggle('active', Number(key) === id);
    });
  }

  function colorOf(colorref) {
    var r = colorref & 255, g = (colorref >> 8) & 255, b = (colorref >> 16) & 255;
    return 'rgb(' + r + ',' + g + ',' + b + ')';
  }

  function createWindow(w) {
    desktop = desktop || document.getElementById('tavlo-desktop');
    var win = { id: w.id, title: w.title, frames: 0 };
    var frame = element('section', 'window');
    frame.dataset.title = w.title;
    frame.style.left = w.left + 'px';
    frame.style.top = w.top + 'px';
    var bar = element('header', 'caption');
    bar.appendChild(element('span', 'caption-text', w.title));
    if (w.closable) {
      var close = element('button', 'close', '\u00d7');
      close.type = 'button';
      close.tabIndex = -1;
      close.title = 'Close';
      close.addEventListener('mousedown', function (e) { e.preventDefault(); e.stopPropagation(); });
      close.addEventListener('click', function (e) {
        e.stopPropagation();
        push({ kind: INPUT.close, id: win.id });
      });
      bar.appendChild(close);
    }
    frame.appendChild(bar);
    win.menuBar = element('nav', 'menubar');
    win.menuBar.hidden = true;
    // A press inside the menus keeps them open (the window's own press closes them).
    win.menuBar.addEventListener('mousedown', function (e) {
      e.stopPropagation();
      focusWindow(win.id);
    });
    frame.appendChild(win.menuBar);
    var canvas = element('canvas', 'client');
    canvas.style.background = colorOf(w.background);
    frame.appendChild(canvas);
    win.element = frame;
    win.caption = bar;
    win.canvas = canvas;
    win.context = canvas.getContext('2d');
    frame.hidden = true;

    frame.addEventListener('mousedown', function () { focusWindow(win.id); closeMenus(); });
    var where = function (e) {
      var box = canvas.getBoundingClientRect();
      return { x: Math.floor(e.clientX - box.left), y: Math.floor(e.clientY - box.top) };
    };
    canvas.addEventListener('mousedown', function (e) {
      if (e.button !== 0) return;
      e.preventDefault();
      var p = where(e);
      push({ kind: INPUT.buttonDown, id: win.id, a: p.x, b: p.y });
    });
    canvas.addEventListener('mouseup', function (e) {
      if (e.button !== 0) return;
      var p = where(e);
      push({ kind: INPUT.buttonUp, id: win.id, a: p.x, b: p.y });
    });
    canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });
    windows[w.id] = win;
    desktop.appendChild(frame);
  }

  // Decoration sizes and the client size: the frame's border, the caption's
  // and the menu bar's heights (0: none), the canvas.
  function layOut(id, l) {
    var win = windows[id];
    if (!win) return;
    win.element.style.borderWidth = l.frame + 'px';
    win.caption.style.height = l.caption + 'px';
    win.menuBar.style.height = l.menuBar + 'px';
    win.menuBar.hidden = l.menuBar === 0;
    if (win.canvas.width !== l.width || win.canvas.height !== l.height) {
      win.canvas.width = l.width;
      win.canvas.height = l.height;
      win.image = null;
    }
    win.canvas.style.width = l.width + 'px';
    win.canvas.style.height = l.height + 'px';
    fitDesktop();
  }

  function fitDesktop() {
    var right = 0, bottom = 0;
    Object.keys(windows).forEach(function (key) {
      var e = windows[key].element;
      right = Math.max(right, e.offsetLeft + e.offsetWidth);
      bottom = Math.max(bottom, e.offsetTop + e.offsetHeight);
    });
    desktop.style.width = right + 'px';
    desktop.style.height = bottom + 'px';
  }

  function showWindow(id, visible) {
    var win = windows[id];
    if (!win) return;
    win.element.hidden = !visible;
    if (visible) focusWindow(id);  // the window shown last has the focus, as on Windows
    fitDesktop();
  }

  function destroyWindow(id) {
    var win = windows[id];
    if (!win) return;
    win.element.classList.add('destroyed');
    if (win.menuBar) win.menuBar.textContent = '';
    if (openMenu && openMenu.win === win) closeMenus();
    delete windows[id];
    win.element.dataset.frames = win.frames;
  }

  // The front image: COLORREF pixels (0x00BBGGRR, so bytes R, G, B, 0).
  function present(id, bytes, width, height) {
    var win = windows[id];
    if (!win) return;
    if (!win.image || win.image.width !== width || win.image.height !== height) {
      win.image = win.context.createImageData(width, height);
    }
    var data = win.image.data;
    data.set(bytes);
    for (var i = 3; i < data.length; i += 4) data[i] = 255;
    win.context.putImageData(win.image, 0, 0);
    if (firstFrameAt === null) firstFrameAt = performance.now();
    win.frames += 1;
    win.element.dataset.frames = win.frames;
  }

  // ---------------------------------------------------------------- keys

  var specialKeys = {
    Backspace: 0x08, Tab: 0x09, Enter: 0x0D, NumpadEnter: 0x0D, ShiftLeft: 0x10, ShiftRight: 0x10,
    ControlLeft: 0x11, ControlRight: 0x11, AltLeft: 0x12, AltRight: 0x12, Pause: 0x13,
    CapsLock: 0x14, Escape: 0x1B, Space: 0x20, PageUp: 0x21, PageDown: 0x22, End: 0x23,
    Home: 0x24, ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28,
    Insert: 0x2D, Delete: 0x2E, MetaLeft: 0x5B, MetaRight: 0x5C, NumLock: 0x90,
    ScrollLock: 0x91, Semicolon: 0xBA, Equal: 0xBB, Comma: 0xBC, Minus: 0xBD, Period: 0xBE,
    Slash: 0xBF, Backquote: 0xC0, BracketLeft: 0xDB, Backslash: 0xDC, BracketRight: 0xDD,
    Quote: 0xDE, NumpadMultiply: 0x6A, NumpadAdd: 0x6B, NumpadSubtract: 0x6D,
    NumpadDecimal: 0x6E, NumpadDivide: 0x6F
  };
  var keyNames = { Control: 0x11, Shift: 0x10, Alt: 0x12, Enter: 0x0D, Escape: 0x1B,
                   Backspace: 0x08, Tab: 0x09, ' ': 0x20 };

  // The Windows virtual key of a key event: by the physical key, as a US
  // keyboard reports it (letters and digits share their values).
  function virtualKey(e) {
    var code = e.code || '';
    var m;
    if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
    if ((m = /^Digit([0-9])$/.exec(code))) return m[1].charCodeAt(0);
    if ((m = /^Numpad([0-9])$/.exec(code))) return 0x60 + Number(m[1]);
    if ((m = /^F([0-9]+)$/.exec(code)) && Number(m[1]) >= 1 && Number(m[1]) <= 24) return 0x6F + Number(m[1]);
    if (specialKeys[code] !== undefined) return specialKeys[code];
    if (keyNames[e.key] !== undefined) return keyNames[e.key];
    if (e.key && e.key.length === 1) {
      var c = e.key.toUpperCase().charCodeAt(0);
      if ((c >= 65 && c <= 90) || (c >= 48 && c <= 57)) return c;
    }
    return 0;
  }

  // The character a key-down types, from the key and the Ctrl state (never
  // from what the browser would type): Ctrl+letter the control character
  // 1..26, as on Windows; Alt+key none.
  function keyCharacter(e, vk) {
    if (e.altKey) return 0;
    switch (vk) {
      case 0x08: return 0x08;
      case 0x09: return 0x09;
      case 0x0D: return 0x0D;
      case 0x1B: return 0x1B;
    }
    if (e.ctrlKey) return (vk >= 65 && vk <= 90) ? vk - 64 : 0;
    if (e.key && e.key.length === 1) {
      var c = e.key.charCodeAt(0);
      if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return c;
    }
    return 0;
  }

  function onKey(e, down) {
    var target = e.target;
    if (target && (target.tagName === 'INPUT' || target.tagName === 'A' ||
                   (target.tagName === 'BUTTON' && target.closest('.controls')))) return;
    if (down && menuKey(e)) { e.preventDefault(); return; }
    var vk = virtualKey(e);
    if (vk === 0) return;
    // Keys before the first window opens wait for it (id 0: the focus window when taken).
    var id = windows[focusId] ? focusId : 0;
    // Ctrl shortcuts are the program's, even where the browser has its own use
    // for the key (Ctrl+L, Ctrl+R, Ctrl+P ...); so are the keys that would scroll.
    if (e.ctrlKey || vk === 0x20 || vk === 0x08 || vk === 0x09 || (vk >= 0x21 && vk <= 0x28) ||
        (e.key && e.key.length === 1)) {
      e.preventDefault();
    }
    if (down) {
      push({ kind: INPUT.keyDown, id: id, a: vk, b: keyCharacter(e, vk) });
    } else {
      push({ kind: INPUT.keyUp, id: id, a: vk });
    }
  }

  // ---------------------------------------------------------------- waiting

  function nextInput() {
    while (queue.length) {
      var input = queue.shift();
      if (input.id === 0) input.id = focusId;
      if (windows[input.id]) return input;
    }
    return null;
  }

  // Resolves when input is queued, or after timeout ms (a negative timeout:
  // none). wait(0) only gives the browser one turn.
  function wait(timeout) {
    return new Promise(function (resolve) {
      if (queue.length) return resolve();
      var timer = null;
      var done = function () {
        if (timer !== null) clearTimeout(timer);
        if (wake === done) wake = null;
        resolve();
      };
      wake = done;
      if (timeout >= 0) timer = setTimeout(done, timeout);
    });
  }

  var debugLines = [];
  function debugOutput(text) {
    debugLines.push(text);
    if (debugLines.length > 5000) debugLines.splice(0, debugLines.length - 5000);
  }

  // ---------------------------------------------------------------- the script file

  // The folder is an IndexedDB file system (IDBFS) when the browser has one that
  // answers: a file written there reaches IndexedDB within a second (a sync at
  // most once a second while something is unsaved), and when the page is left,
  // what is still unsaved is also copied synchronously to localStorage, which a
  // reload reads back; the browser may drop a sync started then. Without an
  // IndexedDB that answers, the folder lives in memory only, and the page says so.
  var SYNC_INTERVAL_MS = 1000;
  var OPEN_TIMEOUT_MS = 8000;  // an IndexedDB that has not answered by then never will
  var MIRROR_PREFIX = 'tavlo-unsaved:';
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
        if (!syncFailed) say(SCRIPT + ' could not be saved in the browser\'s storage: ' + error);
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
          document.body.dataset.saved = String(Number(document.body.dataset.saved || 0) + 1);
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

  // The page is being left: the program writes back what it holds (its
  // windows hear that the session ends), the unsaved files are copied to
  // localStorage at once, and a sync is started.
  var programRunning = false;
  function leave() {
    if (programRunning && Module['_tavlo_page_leaving']) {
      try { Module['_tavlo_page_leaving'](); } catch (e) { /* the program ended meanwhile */ }
    }
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
      if (why) inMemory(why); else { persistent = true; restoreMirrors(); }
      removeRunDependency('tavlo-storage');
      return true;
    };
    var timer = setTimeout(function () {
      settle('The browser\'s storage (IndexedDB) does not answer');
    }, OPEN_TIMEOUT_MS);
    IDBFS.getDB(STORAGE, function (error) {
      if (settled) return;  // too late: the program runs with the folder in memory
      if (error) return settle('The browser\'s storage (IndexedDB) cannot be opened (' + error + ')');
      FS.syncfs(true, function (error) {
        settle(error ? 'The browser\'s storage (IndexedDB) cannot be read (' + error + ')' : null);
      });
    });
  }

  function downloadScript() {
    var data;
    try {
      data = FS.readFile(STORAGE + '/' + SCRIPT);
    } catch (e) {
      say('No ' + SCRIPT + ' yet: record one with Run > Record Script (Ctrl+R)');
      return;
    }
    var link = element('a');
    link.href = URL.createObjectURL(new Blob([data], { type: 'text/plain' }));
    link.download = SCRIPT;
    document.body.appendChild(link);
    link.click();
    // The browser reads the blob after the click returns, and on a busy
    // machine that can take seconds: keep the URL alive well past that.
    setTimeout(function () { URL.revokeObjectURL(link.href); link.remove(); }, 60000);
  }

  // The package's Run menu: Record Script and Playback Script (command ids).
  var RECORD_SCRIPT = 5, PLAYBACK_SCRIPT = 6;

  // Why a file cannot be loaded now ('' when it can): while Record Script is on,
  // the recording's first line would replace the file loaded; while Playback
  // Script is on, the playback reads the file; a stream still open (Play One
  // Script) reads on where it stands.
  function loadRefusal() {
    if (menuChecked(RECORD_SCRIPT)) {
      return 'Record Script is on: stop recording (Ctrl+R) before loading ' + SCRIPT +
             ', or the recording would overwrite it';
    }
    if (menuChecked(PLAYBACK_SCRIPT)) {
      return 'Playback Script is on: stop playback (Ctrl+P) before loading ' + SCRIPT;
    }
    if (scriptStreams > 0) {
      return SCRIPT + ' is open in the program (Play One Script): choose Playback Script twice ' +
             'to close it before loading';
    }
    return '';
  }

  function loadScript(file) {
    if (!file) return;
    var refusal = loadRefusal();
    if (refusal) { say(refusal); return; }
    var reader = new FileReader();
    reader.onload = function () {
      var late = loadRefusal();  // recording or playback may have begun meanwhile
      if (late) { say(late); return; }
      try {
        FS.writeFile(STORAGE + '/' + SCRIPT, new Uint8Array(reader.result));
      } catch (e) {
        say(SCRIPT + ' could not be written: ' + e);
        return;
      }
      say('Loaded ' + file.name + ' as ' + SCRIPT + ' (' + reader.result.byteLength +
          ' bytes): play it with Run > Playback Script (Ctrl+P)');
    };
    reader.onerror = function () { say(file.name + ' could not be read'); };
    reader.readAsArrayBuffer(file);
  }

  // ---------------------------------------------------------------- options and start

  // URL options, named like the program's own: seed=N (--seed), client=WxH
  // (--client), frames=N (--frames). The program checks their values.
  // An unknown parameter (a misspelt one) stops the page, as the program refuses
  // an unknown option.
  var OPTIONS = ['seed', 'client', 'frames'];
  function urlArguments() {
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
    var show = function () {
      var banner = document.getElementById('tavlo-exit');
      if (banner) { banner.textContent = text; banner.hidden = false; }
      say(text);
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', show); else show();
  }

  var started = 0;
  function ended(code) {
    programRunning = false;
    var page = Module['tavloPage'];
    page.exitCode = code;
    document.body.dataset.exitCode = String(code);
    var text = 'The program ended with exit code ' + code + '.';
    var banner = document.getElementById('tavlo-exit');
    if (banner) {
      banner.textContent = text + ' Reload the page to start it again.';
      banner.hidden = false;
    }
    say(errors.length ? errors[errors.length - 1] : text);
  }

  var options = urlArguments();
  Module['arguments'] = options.args;
  if (options.unknown.length) {
    Module['noInitialRun'] = true;
    refuseToStart(options.unknown);
  }
  // The program's name, as its messages give it: the page's name.
  Module['thisProgram'] = (window.location.pathname.split('/').pop() || 'program').replace(/\.html$/, '');
  Module['preRun'] = Module['preRun'] || [];
  Module['preRun'].push(setUpStorage);
  Module['onRuntimeInitialized'] = function () {
    started = performance.now();
    programRunning = !Module['noInitialRun'];
  };
  Module['onExit'] = ended;
  Module['onAbort'] = function (what) {
    programRunning = false;
    var banner = document.getElementById('tavlo-exit');
    if (banner) { banner.textContent = 'The program stopped: ' + what; banner.hidden = false; }
    document.body.dataset.exitCode = 'abort';
  };
  var errors = [];
  Module['printErr'] = function (text) {
    errors.push(text);
    console.error(text);
    say(text);
  };
  Module['print'] = function (text) { console.log(text); };

  Module['tavloPage'] = {
    createWindow: createWindow, layOut: layOut, showWindow: showWindow, destroyWindow: destroyWindow,
    setMenu: setMenu, present: present, nextInput: nextInput, wait: wait,
    debugOutput: debugOutput, debugLines: debugLines, errors: errors, exitCode: null,
    frames: function (title) {
      var e = document.querySelector('section.window[data-title="' + title + '"]');
      return e ? Number(e.dataset.frames || 0) : 0;
    },
    startedAt: function () { return started; },
    firstFrameAt: function () { return firstFrameAt; },
    // The script file as the program left it in storage (null: none).
    scriptText: function () {
      try { return FS.readFile(STORAGE + '/' + SCRIPT, { encoding: 'utf8' }); } catch (e) { return null; }
    }
  };

  function setUpPage() {
    desktop = document.getElementById('tavlo-desktop');
    statusLine = document.getElementById('tavlo-status');
    var download = document.getElementById('tavlo-download');
    var load = document.getElementById('tavlo-load');
    if (download) download.addEventListener('click', downloadScript);
    if (load) load.addEventListener('change', function () { loadScript(load.files[0]); load.value = ''; });
    document.addEventListener('mousedown', function (e) {
      if (!e.target.closest || !e.target.closest('.menubar')) closeMenus();
    });
    // Leaving the page, or hiding it (a hidden tab may be discarded unseen).
    window.addEventListener('pagehide', leave);
    document.addEventListener('visibilitychange', function () {
      if (document.visibilityState === 'hidden') leave();
    });
  }
  // Keys are taken from the start; those typed before the program's first
  // window opens reach it when it does.
  document.addEventListener('keydown', function (e) { onKey(e, true); });
  document.addEventListener('keyup', function (e) { onKey(e, false); });
  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', setUpPage);
  } else {
    setUpPage();
  }
})();
