// The page's windows: each top-level window as a frame with its title bar, close
// box, HTML menu bar (mirrored from the program's menu model) and a canvas of its
// front image; DOM input on them (and keys, through TavloKeys) becomes input
// records for the program.
//
// Focus and capture follow Windows: a press anywhere in a window gives it the
// keys (the frame takes the page's focus, so no button or editor of the page
// gets them), and a press in its client area captures the mouse until the last
// button is released: moves and the release arrive wherever they happen, in that
// window's client coordinates. When the program loses the keys (the page loses
// the focus, or the focus leaves for one of the page's own controls), it is told
// (focusLost), so keys held then are not held for ever.
//
// This part does not care how the program runs: it is driven through the calls
// it returns (createWindow, layOut, showWindow, destroyWindow, setMenu, present)
// and hands every input record to the `send` function it was given: {kind (one
// of INPUT, page_interface.h), id (the window; 0: the one with the focus when
// the program takes it), a, b, c}.
import { INPUT } from './page_constants.js';
import * as keys from './page_keys.js';

export { INPUT };

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// The full-screen button's picture, four corners, drawn: a character for it
// (U+26F6) is missing from many fonts, which then show a box.
function fullScreenIcon() {
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', '0 0 10 10');
  svg.setAttribute('aria-hidden', 'true');
  const corners = document.createElementNS(ns, 'path');
  corners.setAttribute('d', 'M1 4V1H4M6 1H9V4M9 6V9H6M4 9H1V6');
  corners.setAttribute('fill', 'none');
  corners.setAttribute('stroke', 'currentColor');
  corners.setAttribute('stroke-width', '1.5');
  svg.appendChild(corners);
  return svg;
}

// A label with its access letter ("&Run"): text before and after, the letter.
function accessParts(label) {
  let at = -1;
  for (let i = 0; i < label.length - 1; ++i) {
    if (label[i] === '&') {
      if (label[i + 1] === '&') { ++i; continue; }
      at = i;
      break;
    }
  }
  const plain = function (s) { return s.replace(/&&/g, '&'); };
  if (at < 0) return { before: plain(label), letter: '', after: '' };
  return { before: plain(label.slice(0, at)), letter: label[at + 1],
           after: plain(label.slice(at + 2)) };
}

function labelElement(label) {
  const parts = accessParts(label);
  const span = element('span', 'label');
  span.appendChild(document.createTextNode(parts.before));
  if (parts.letter) span.appendChild(element('u', null, parts.letter));
  span.appendChild(document.createTextNode(parts.after));
  return span;
}

function colorOf(colorref) {
  const r = colorref & 255, g = (colorref >> 8) & 255, b = (colorref >> 16) & 255;
  return 'rgb(' + r + ',' + g + ',' + b + ')';
}

// options: {desktop: a function answering the element that holds the windows,
// send: function (input), takesKeys: optional function answering whether keys
// go to the program now (default: always, the page being the program's)}.
export function createWindows(options) {
  const desktop = options.desktop;
  const send = options.send;
  let windows = {};        // id -> {element, caption, menuBar, canvas, context, image}
  let focusId = 0;         // the window that gets keys
  let openMenu = null;     // {win, title, list} of the pull-down shown

  // ------------------------------------------------------------ menus

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
    send({ kind: INPUT.Command, id: win.id, a: id });
  }

  function menuItemElement(win, item) {
    if (item.separator) return element('li', 'separator');
    const tab = item.text.indexOf('\t');
    const label = tab < 0 ? item.text : item.text.slice(0, tab);
    const li = element('li', 'item');
    li.appendChild(element('span', 'check', item.checked ? '\u2713' : ''));
    li.appendChild(labelElement(label));
    li.appendChild(element('span', 'shortcut', tab < 0 ? '' : item.text.slice(tab + 1)));
    const grayed = !!item.grayed;
    if (grayed) li.classList.add('grayed');
    if (item.checked) li.classList.add('checked');
    li.dataset.id = item.id;
    li.dataset.access = keys.accessLetter(accessParts(label).letter);
    li.setAttribute('role', 'menuitemcheckbox');
    li.setAttribute('aria-checked', item.checked ? 'true' : 'false');
    if (grayed) li.setAttribute('aria-disabled', 'true');
    li.addEventListener('mousedown', function (e) { e.preventDefault(); });
    li.addEventListener('click', function (e) {
      e.stopPropagation();
      if (!grayed) choose(win, item.id);
    });
    return li;
  }

  function setMenu(id, model) {
    const win = windows[id];
    if (!win) return;
    if (openMenu && openMenu.win === win) closeMenus();
    const bar = win.menuBar;
    bar.textContent = '';
    model.forEach(function (entry) {
      const holder = element('div', 'menu');
      const title = element('button', 'title');
      title.type = 'button';
      title.tabIndex = -1;
      title.appendChild(labelElement(entry.text));
      title.dataset.access = keys.accessLetter(accessParts(entry.text).letter);
      holder.appendChild(title);
      if (entry.items) {
        const list = element('ul', 'pulldown');
        list.hidden = true;
        list.setAttribute('role', 'menu');
        (entry.items || []).forEach(function (item) { list.appendChild(menuItemElement(win, item)); });
        holder.appendChild(list);
        title.addEventListener('mousedown', function (e) {
          e.preventDefault();
          e.stopPropagation();
          focusWindow(win.id);
          takeKeys(win);
          if (openMenu && openMenu.list === list) closeMenus(); else openPullDown(win, title, list);
        });
        title.addEventListener('mouseenter', function () {
          if (openMenu && openMenu.win === win && openMenu.list !== list) openPullDown(win, title, list);
        });
      } else {
        const grayed = !!entry.grayed;
        title.disabled = grayed;
        title.addEventListener('click', function () { if (!grayed) choose(win, entry.id); });
      }
      bar.appendChild(holder);
    });
  }

  // Keys for the menus (keys.menuKey): true when a menu took the key.
  function menuKey(e) {
    const meaning = keys.menuKey(e, openMenu !== null);
    if (!meaning) return false;
    if (meaning.close) { closeMenus(); return true; }
    if (openMenu) {
      const items = openMenu.list.querySelectorAll('li.item');
      for (let i = 0; i < items.length; ++i) {
        if (meaning.letter && items[i].dataset.access === meaning.letter) {
          if (!items[i].classList.contains('grayed')) choose(openMenu.win, Number(items[i].dataset.id));
          break;
        }
      }
      return true;  // keys go to the open menu, as on Windows
    }
    const win = windows[focusId];
    if (!win || win.menuBar.hidden) return false;
    const titles = win.menuBar.querySelectorAll('button.title');
    for (let j = 0; j < titles.length; ++j) {
      if (titles[j].dataset.access === meaning.open) {
        const list = titles[j].parentNode.querySelector('ul');
        if (list) openPullDown(win, titles[j], list);
        return true;
      }
    }
    return false;
  }

  // ------------------------------------------------------------ windows

  function focusWindow(id) {
    focusId = id;
    Object.keys(windows).forEach(function (key) {
      windows[key].element.classList.toggle('active', Number(key) === id);
    });
  }

  // ------------------------------------------------------------ mouse

  let capture = null;  // the window whose client area was pressed, until the last release

  // A point of a mouse event (or a touch) in a window's client coordinates
  // (outside its area too, while the window has the capture). The canvas may
  // be shown scaled (the desktop scaled to fit a narrow screen; full screen,
  // where its picture is scaled to fit and centred): the point is mapped back
  // through the scale, so the program's coordinates are those of its pixels.
  function where(win, e) {
    const canvas = win.canvas;
    const box = canvas.getBoundingClientRect();
    let scale = 1, left = box.left, top = box.top;
    if (canvas.width > 0 && canvas.height > 0 && box.width > 0 && box.height > 0 &&
        (box.width !== canvas.width || box.height !== canvas.height)) {
      scale = Math.min(box.width / canvas.width, box.height / canvas.height);
      left += (box.width - canvas.width * scale) / 2;
      top += (box.height - canvas.height * scale) / 2;
    }
    // A hair over, so a point on a pixel's scaled edge is not taken for the one before.
    const at = function (v) { return Math.floor(scale === 1 ? v : v / scale + 1e-6); };
    return { x: at(e.clientX - left), y: at(e.clientY - top) };
  }

  // Mouse records carry the buttons held after them in c (1 left, 2 right),
  // as Windows' wParam does.
  function sendMouse(win, kind, e) {
    const p = where(win, e);
    send({ kind: kind, id: win.id, a: p.x, b: p.y, c: e.buttons & 3 });
  }

  // The live window whose client area the event is over, if any.
  function windowUnder(e) {
    const win = e.target && e.target.tavloWindow;
    return win && windows[win.id] === win ? win : null;
  }

  // Moves and releases are taken at the document: with the capture they go
  // to the captured window wherever they happen; without it, to the client
  // area under the mouse.
  function onMouseMove(e) {
    if (capture && windows[capture.id] !== capture) capture = null;
    const win = capture || windowUnder(e);
    if (!win) return;
    if (!capture) {
      const p = where(win, e);
      if (p.x < 0 || p.y < 0 || p.x >= win.canvas.width || p.y >= win.canvas.height) return;
    }
    sendMouse(win, INPUT.MouseMove, e);
  }

  function onMouseUp(e) {
    if (e.button !== 0 && e.button !== 2) return;
    if (capture && windows[capture.id] !== capture) capture = null;
    const win = capture || windowUnder(e);
    if ((e.buttons & 3) === 0) capture = null;
    if (win) sendMouse(win, e.button === 0 ? INPUT.ButtonUp : INPUT.RightUp, e);
  }

  // ------------------------------------------------------------ touch

  // A finger is a mouse with one button: a tap is a click of the left button
  // (down and up where the finger was put down), a finger moved further than
  // TOUCH_SLOP pixels drags with the left button held, and a finger held still
  // for the long-press delay presses the right button (released when the
  // finger lifts; moves meanwhile drag with it). Either way the window has the
  // capture until the finger lifts, as with a press of the mouse, and takes
  // the keys. Only the first finger counts; the others are ignored. The
  // delay is LONG_PRESS_MS unless the page sets its own on the desktop
  // element (data-long-press, in ms).
  const LONG_PRESS_MS = 500;
  const TOUCH_SLOP = 8;
  let touch = null;  // {win, id (the finger), start (its first point), button (0 none yet, 1 left, 2 right), timer}

  function sendTouch(kind, point, buttons) {
    const p = where(touch.win, point);
    send({ kind: kind, id: touch.win.id, a: p.x, b: p.y, c: buttons });
  }

  function fingerOf(list) {
    for (let i = 0; i < list.length; ++i) {
      if (touch && list[i].identifier === touch.id) return list[i];
    }
    return null;
  }

  function longPressDelay() {
    const own = Number(desktop().dataset.longPress);
    return own > 0 ? own : LONG_PRESS_MS;
  }

  function touchGone() {
    if (!touch) return true;
    if (windows[touch.win.id] === touch.win) return false;
    clearTimeout(touch.timer);
    touch = null;
    return true;
  }

  function onTouchStart(win, e) {
    e.preventDefault();  // no scroll, zoom or mouse events made up from the touch
    if (touch && !touchGone()) return;
    const finger = e.changedTouches[0];
    focusWindow(win.id);
    closeMenus();
    takeKeys(win);
    capture = win;
    touch = { win: win, id: finger.identifier, button: 0, timer: 0,
              start: { clientX: finger.clientX, clientY: finger.clientY } };
    const pressed = touch;
    touch.timer = setTimeout(function () {
      if (touch !== pressed || touch.button !== 0 || touchGone()) return;
      touch.button = 2;
      sendTouch(INPUT.RightDown, touch.start, 2);
    }, longPressDelay());
  }

  function onTouchMove(e) {
    e.preventDefault();
    if (touchGone()) return;
    const finger = fingerOf(e.changedTouches);
    if (!finger) return;
    if (touch.button === 0) {
      const dx = finger.clientX - touch.start.clientX, dy = finger.clientY - touch.start.clientY;
      if (dx * dx + dy * dy <= TOUCH_SLOP * TOUCH_SLOP) return;
      clearTimeout(touch.timer);
      touch.button = 1;
      sendTouch(INPUT.ButtonDown, touch.start, 1);
    }
    sendTouch(INPUT.MouseMove, finger, touch.button);
  }

  function onTouchEnd(e) {
    e.preventDefault();
    if (touchGone()) return;
    const finger = fingerOf(e.changedTouches);
    if (!finger) return;
    clearTimeout(touch.timer);
    if (touch.button === 0) {  // a tap
      sendTouch(INPUT.ButtonDown, touch.start, 1);
      sendTouch(INPUT.ButtonUp, touch.start, 0);
    } else {
      sendTouch(touch.button === 1 ? INPUT.ButtonUp : INPUT.RightUp, finger, 0);
    }
    touch = null;
    capture = null;
  }

  // ------------------------------------------------------------ focus

  let keysTaken = false;  // the program had the keys when last looked at

  // Keys typed into the page's own fields and controls (text inputs, an
  // editor, the page's buttons) stay there.
  function isPageControl(target) {
    return !!target && (target.tagName === 'INPUT' || target.tagName === 'TEXTAREA' ||
                        target.tagName === 'SELECT' || target.isContentEditable || target.tagName === 'A' ||
                        (target.tagName === 'BUTTON' && !!target.closest('.controls')));
  }

  function programHasKeys() {
    if (typeof document.hasFocus === 'function' && !document.hasFocus()) return false;
    if (isPageControl(document.activeElement)) return false;
    return !options.takesKeys || options.takesKeys();
  }

  function takeKeys(win) {
    if (document.activeElement !== win.element) win.element.focus({ preventScroll: true });
    keysTaken = programHasKeys();
  }

  // Whenever the focus may have moved: once the program no longer has the
  // keys, the window that had them hears so (keys held then are released),
  // and a drag in progress loses its capture.
  function focusMoved() {
    const has = programHasKeys();
    if (keysTaken && !has) {
      capture = null;
      send({ kind: INPUT.FocusLost, id: windows[focusId] ? focusId : 0 });
    }
    keysTaken = has;
  }

  function createWindow(w) {
    const win = { id: w.id, title: w.title };
    const frame = element('section', 'window');
    frame.dataset.title = w.title;
    frame.style.left = w.left + 'px';
    frame.style.top = w.top + 'px';
    const bar = element('header', 'caption');
    bar.appendChild(element('span', 'caption-text', w.title));
    const full = element('button', 'full-screen');
    full.appendChild(fullScreenIcon());
    full.type = 'button';
    full.tabIndex = -1;
    full.title = 'Full screen';
    full.setAttribute('aria-label', 'Full screen');
    full.addEventListener('mousedown', function (e) { e.preventDefault(); e.stopPropagation(); });
    full.addEventListener('click', function (e) {
      e.stopPropagation();
      focusWindow(win.id);
      takeKeys(win);
      fullScreen(win);
    });
    bar.appendChild(full);
    if (w.closable) {
      const close = element('button', 'close', '\u00d7');
      close.type = 'button';
      close.tabIndex = -1;
      close.title = 'Close';
      close.addEventListener('mousedown', function (e) { e.preventDefault(); e.stopPropagation(); });
      close.addEventListener('click', function (e) {
        e.stopPropagation();
        send({ kind: INPUT.Close, id: win.id });
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
      takeKeys(win);
    });
    frame.appendChild(win.menuBar);
    const canvas = element('canvas', 'client');
    canvas.tavloWindow = win;
    canvas.style.background = colorOf(w.background);
    frame.appendChild(canvas);
    win.element = frame;
    win.caption = bar;
    win.canvas = canvas;
    win.context = canvas.getContext('2d');
    frame.hidden = true;

    // The frame can hold the page's focus (not by Tab): a press anywhere in
    // the window puts it there, so the keys typed next are the program's.
    frame.tabIndex = -1;
    frame.addEventListener('mousedown', function () {
      focusWindow(win.id);
      closeMenus();
      takeKeys(win);
    });
    canvas.addEventListener('mousedown', function (e) {
      if (e.button !== 0 && e.button !== 2) return;
      e.preventDefault();  // no selection or drag of the canvas; the frame takes the focus
      capture = win;
      sendMouse(win, e.button === 0 ? INPUT.ButtonDown : INPUT.RightDown, e);
    });
    // Touches are taken on the canvas: they keep coming to it wherever the
    // finger goes, until it lifts.
    canvas.addEventListener('touchstart', function (e) { onTouchStart(win, e); }, { passive: false });
    canvas.addEventListener('touchmove', onTouchMove, { passive: false });
    canvas.addEventListener('touchend', onTouchEnd, { passive: false });
    canvas.addEventListener('touchcancel', onTouchEnd, { passive: false });
    // The browser's context menu is not shown.
    canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });
    windows[w.id] = win;
    desktop().appendChild(frame);
  }

  // Decoration sizes and the client size: the frame's border, the caption's
  // and the menu bar's heights (0: none), the canvas.
  function layOut(id, l) {
    const win = windows[id];
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

  // The desktop takes the size its windows need; on a screen narrower than
  // that it is scaled down to fit the screen's width from where it starts (the
  // canvases keep their pixels, and input is mapped back through the scale:
  // where). A screen wide enough for the windows leaves them unscaled, even
  // where the page puts the desktop in a narrower pane (that pane scrolls).
  function fitDesktop() {
    const place = desktop();
    let right = 0, bottom = 0;
    Object.keys(windows).forEach(function (key) {
      const e = windows[key].element;
      right = Math.max(right, e.offsetLeft + e.offsetWidth);
      bottom = Math.max(bottom, e.offsetTop + e.offsetHeight);
    });
    const margin = parseFloat(getComputedStyle(place).marginRight) || 0;
    const room = document.documentElement.clientWidth - place.getBoundingClientRect().left - margin;
    const narrow = document.documentElement.clientWidth < right;
    const scale = narrow && room > 0 && room < right ? room / right : 1;
    place.style.transformOrigin = '0 0';
    place.style.transform = scale === 1 ? '' : 'scale(' + scale + ')';
    place.classList.toggle('scaled', scale !== 1);
    // A page's least size for its desktop gives way to the scaled windows.
    place.style.minWidth = scale === 1 ? '' : '0';
    place.style.minHeight = scale === 1 ? '' : '0';
    place.style.width = right * scale + 'px';
    place.style.height = bottom * scale + 'px';
  }
  window.addEventListener('resize', fitDesktop);

  // The window's canvas alone on the whole screen, scaled to fit (for a
  // projector); Escape, or the browser's own way, leaves it.
  function fullScreen(win) {
    const canvas = win.canvas;
    if (canvas.requestFullscreen) canvas.requestFullscreen().catch(function () {});
  }

  function showWindow(id, visible) {
    const win = windows[id];
    if (!win) return;
    win.element.hidden = !visible;
    if (visible) focusWindow(id);  // the window shown last has the focus, as on Windows
    fitDesktop();
  }

  // The page keeps the last picture, greyed, and says the window is gone.
  function destroyWindow(id) {
    const win = windows[id];
    if (!win) return;
    win.element.classList.add('destroyed');
    if (win.menuBar) win.menuBar.textContent = '';
    if (openMenu && openMenu.win === win) closeMenus();
    delete windows[id];
  }

  // Every window removed from the page and forgotten (a new program starts).
  // When one of them had the keys, the desktop keeps them for the new
  // program's windows (keys typed meanwhile wait for its first window).
  function clear() {
    closeMenus();
    const place = desktop();
    const hadKeys = place.contains(document.activeElement);
    const shown = place.querySelectorAll('section.window');  // destroyed ones too
    for (let i = 0; i < shown.length; ++i) shown[i].remove();
    windows = {};
    focusId = 0;
    capture = null;
    if (touch) clearTimeout(touch.timer);
    touch = null;
    if (hadKeys) {
      if (place.tabIndex < 0 && !place.hasAttribute('tabindex')) place.tabIndex = -1;
      place.focus({ preventScroll: true });
    }
  }

  // The front image: COLORREF pixels (0x00BBGGRR, so bytes R, G, B, 0).
  function present(id, bytes, width, height) {
    const win = windows[id];
    if (!win) return;
    if (!win.image || win.image.width !== width || win.image.height !== height) {
      win.image = win.context.createImageData(width, height);
    }
    const data = win.image.data;
    data.set(bytes);
    for (let i = 3; i < data.length; i += 4) data[i] = 255;
    win.context.putImageData(win.image, 0, 0);
  }

  // ------------------------------------------------------------ keys

  function onKey(e, down) {
    if (options.takesKeys && !options.takesKeys()) return;
    if (isPageControl(e.target)) return;
    keysTaken = true;
    if (down && menuKey(e)) { e.preventDefault(); return; }
    const vk = keys.virtualKey(e);
    const printed = keys.printed(e);
    if (vk === 0 && printed === 0) return;
    // Keys before the first window opens wait for it (id 0: the focus window when taken).
    const id = windows[focusId] ? focusId : 0;
    if (keys.takenFromBrowser(e, vk)) e.preventDefault();
    send({ kind: down ? INPUT.KeyDown : INPUT.KeyUp, id: id, a: vk, b: printed,
           c: keys.modifiers(e) });
  }

  // Keys are taken from the start, so those typed before the program's first
  // window opens reach it when it does; a press outside the menus closes them.
  document.addEventListener('keydown', function (e) { onKey(e, true); });
  document.addEventListener('keyup', function (e) { onKey(e, false); });
  document.addEventListener('mousedown', function (e) {
    if (!e.target.closest || !e.target.closest('.menubar')) closeMenus();
  });
  window.addEventListener('mousemove', onMouseMove, true);
  window.addEventListener('mouseup', onMouseUp, true);
  window.addEventListener('blur', focusMoved);
  document.addEventListener('focusout', function () { setTimeout(focusMoved, 0); });
  document.addEventListener('focusin', focusMoved);
  document.addEventListener('visibilitychange', focusMoved);

  return {
    createWindow: createWindow, layOut: layOut, showWindow: showWindow,
    destroyWindow: destroyWindow, setMenu: setMenu, present: present,
    clear: clear,
    focusId: function () { return windows[focusId] ? focusId : 0; }
  };
}

