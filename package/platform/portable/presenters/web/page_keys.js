// The page's keys: every translation of a DOM key event into what a Windows
// program sees (virtual key, typed character), and into a menu's access letter.
// Nothing else on the page looks at a key event's key or code.

// Keys that type no character (or whose code does not follow from it), by
// their physical place. What a printing key types, and the US layout's codes
// for punctuation, are the platform's (keyboard.cpp): the page hands over the
// character and the Ctrl and Alt state.
const specialKeys = {
  Backspace: 0x08, Tab: 0x09, Enter: 0x0D, NumpadEnter: 0x0D, ShiftLeft: 0x10, ShiftRight: 0x10,
  ControlLeft: 0x11, ControlRight: 0x11, AltLeft: 0x12, AltRight: 0x12, Pause: 0x13,
  CapsLock: 0x14, Escape: 0x1B, Space: 0x20, PageUp: 0x21, PageDown: 0x22, End: 0x23,
  Home: 0x24, ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28,
  Insert: 0x2D, Delete: 0x2E, MetaLeft: 0x5B, MetaRight: 0x5C, NumLock: 0x90,
  ScrollLock: 0x91, NumpadMultiply: 0x6A, NumpadAdd: 0x6B, NumpadSubtract: 0x6D,
  NumpadDecimal: 0x6E, NumpadDivide: 0x6F
};
const keyNames = { Control: 0x11, Shift: 0x10, Alt: 0x12, Enter: 0x0D, Escape: 0x1B,
                 Backspace: 0x08, Tab: 0x09, ' ': 0x20 };

// The Windows virtual key of a key event by the physical key, as a US
// keyboard reports it (letters and digits share their values). 0: a key the
// platform finds from its character (punctuation), or none.
export function virtualKey(e) {
  const code = e.code || '';
  let m;
  if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
  if ((m = /^Digit([0-9])$/.exec(code))) return m[1].charCodeAt(0);
  if ((m = /^Numpad([0-9])$/.exec(code))) return 0x60 + Number(m[1]);
  if ((m = /^F([0-9]+)$/.exec(code)) && Number(m[1]) >= 1 && Number(m[1]) <= 24) return 0x6F + Number(m[1]);
  if (specialKeys[code] !== undefined) return specialKeys[code];
  if (keyNames[e.key] !== undefined) return keyNames[e.key];
  return 0;
}

// The character the key shows with the current Shift state, as a Unicode
// code point; 0 for a key that shows none (arrows, F-keys, "Shift").
export function printed(e) {
  if (typeof e.key !== 'string') return 0;
  const c = e.key.codePointAt(0);
  return c !== undefined && String.fromCodePoint(c) === e.key ? c : 0;
}

// The modifier keys held with a key event: 1 Ctrl, 2 Alt, 4 Shift. The
// platform types characters by them and keeps its record of held modifiers
// in line with each key event's own state.
export function modifiers(e) {
  return (e.ctrlKey ? 1 : 0) | (e.altKey ? 2 : 0) | (e.shiftKey ? 4 : 0);
}

// Whether the program takes the key from the browser: Ctrl shortcuts, even
// where the browser has its own use for them (Ctrl+L, Ctrl+R, Ctrl+P ...),
// the keys that would scroll the page, and typed characters.
export function takenFromBrowser(e, vk) {
  return e.ctrlKey || vk === 0x20 || vk === 0x08 || vk === 0x09 || (vk >= 0x21 && vk <= 0x28) ||
         (typeof e.key === 'string' && [...e.key].length === 1);
}

// What a key means to a menu: Alt+letter opens the pull-down with that access
// letter ({open: 'R'}); with a pull-down open, Escape closes it ({close: true})
// and a letter chooses ({letter: 'P'}). null: nothing for a menu.
export function menuKey(e, menuOpen) {
  const letter = e.key && e.key.length === 1 ? e.key.toUpperCase() : '';
  if (menuOpen) return e.key === 'Escape' ? { close: true } : { letter: letter };
  if (e.altKey && !e.ctrlKey && letter) return { open: letter };
  return null;
}

// A menu label's access letter, as menuKey gives it ('&Run': 'R').
export function accessLetter(letter) {
  return letter ? letter.toUpperCase() : '';
}

