// Plain words under a compiler message where a beginner's mistake is likely: a
// call or colour tavlo.h does not have (with the nearest names it has), a string
// where a colour goes, main where the page starts a program in WinMain. The
// compiler's own message stays; a hint is one more line under it.
//
// reference: [{name, kind, signature, summary}] (reference.json, read from tavlo.h).

// Words people reach for, and the call or colour tavlo.h has for them.
const SAYINGS = [
  [/circle|ellipse|ellips|round/i, 'draw_oval'], [/rect|square|box/i, 'draw_rectangle'],
  [/tri/i, 'draw_triangle'], [/pixel|point|dot|plot/i, 'draw_pixel'], [/line/i, 'draw_line'],
  [/printf|print/i, 'print_text'], [/text|write|string|label/i, 'draw_text'],
  [/clear|erase|background|fill_screen/i, 'clear_canvas'], [/event|input|key|mouse|click|wait/i, 'wait_event'],
  [/anim|timer|tick|frame_?rate|fps/i, 'set_animation'], [/log|debug|message/i, 'log_printf'],
  [/grey|gray|silver/i, 'Color::Gray50'], [/light_?gr[ae]y/i, 'Color::Gray20'], [/violet|lilac/i, 'Color::Purple'],
  [/navy/i, 'Color::NavyBlue'], [/dark_?green/i, 'Color::ForestGreen'], [/aqua|teal/i, 'Color::Turquoise'],
  [/fuchsia/i, 'Color::Magenta'], [/beige|cream|ivory/i, 'Color::Chalk'],
];

// The edit distance of two names, ignoring case and underscores.
function distance(a, b) {
  a = a.toLowerCase().replace(/_/g, '');
  b = b.toLowerCase().replace(/_/g, '');
  const row = Array.from({ length: b.length + 1 }, (_, i) => i);
  for (let i = 1; i <= a.length; ++i) {
    let diagonal = row[0];
    row[0] = i;
    for (let j = 1; j <= b.length; ++j) {
      const above = row[j];
      row[j] = Math.min(row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] === b[j - 1] ? 0 : 1));
      diagonal = above;
    }
  }
  return row[b.length];
}

// Up to three names of `candidates` nearest `name`: what people call it first,
// then those within a few edits.
export function nearestNames(name, candidates, sayings = true) {
  const names = candidates.map((e) => e.name);
  const shortName = (n) => n.replace(/^\w+::/, '');
  const found = [];
  for (const [pattern, meant] of sayings ? SAYINGS : []) {
    if (pattern.test(name) && names.includes(meant) && !found.includes(meant)) found.push(meant);
  }
  if (found.length || name.length < 4) return found.slice(0, 3);
  const limit = Math.max(2, Math.floor(name.length / 3));
  const near = names.map((n) => [n, distance(name, shortName(n))]).filter(([, d]) => d <= limit)
    .sort((x, y) => x[1] - y[1]);
  for (const [n] of near) if (!found.includes(n)) found.push(n);
  return found.slice(0, 3);
}

// "Did you mean draw_oval? int draw_oval(...): what it does" for the nearest one,
// and the others by name.
function suggestion(names, reference) {
  const entry = reference.find((e) => e.name === names[0]);
  const first = entry && entry.kind === 'call' ? ` ${entry.signature}: ${entry.summary}` : '';
  const others = names.length > 1 ? ` (or ${names.slice(1).join(', ')})` : '';
  return `Did you mean ${names[0]}?${first}${others}`;
}

const WINMAIN = 'int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)';

// The hint for one diagnostic ({message, severity, column}), or '' when none
// helps. `lineText`, the source line it names, tells a call (a name followed by
// "(") from a variable, which gets only close spellings of tavlo.h's calls.
export function hintFor(diagnostic, reference, lineText = null) {
  const message = diagnostic.message || '';
  const colours = reference.filter((e) => e.name.startsWith('Color::') && e.name !== 'Color::Count');
  const colourList = colours.map((e) => e.name.slice('Color::'.length)).join(', ');
  let m;
  if (/undefined symbol: _?WinMain|duplicate symbol: _?main\b|undefined symbol: _?main\b/.test(message)) {
    return `In the page a program starts in WinMain, not main: write ${WINMAIN} and pass its four ` +
      'values to open_display first.';
  }
  if (/const char ?\[\d+\].*(ColorIndex|'int')|(ColorIndex|'int').*const char ?\[\d+\]/.test(message)) {
    return `A colour is one of the 24 Color:: names, not a string in quotes: Color::Red, not "red". ` +
      `The 24: ${colourList}.`;
  }
  if ((m = /no member named '(\w+)' in namespace '(\w+)'/.exec(message))) {
    const [, name, space] = m;
    const inSpace = reference.filter((e) => e.name.startsWith(`${space}::`));
    if (!inSpace.length) return '';
    const near = nearestNames(name, inSpace);
    const list = space === 'Color' ? ` The 24 colours: ${colourList}.` : '';
    return `tavlo.h has no ${space}::${name}.${near.length ? ` ${suggestion(near, reference)}` : ''}${list}`;
  }
  if ((m = /use of undeclared identifier '(\w+)'/.exec(message))) {
    const name = m[1];
    const colour = colours.find((e) => e.name.slice('Color::'.length).toLowerCase() === name.toLowerCase());
    if (colour) return `Colours are written with Color:: in front: ${colour.name}.`;
    const after = lineText !== null && diagnostic.column >= 1
      ? lineText.slice(diagnostic.column - 1 + name.length) : '(';
    const near = nearestNames(name, reference.filter((e) => e.kind === 'call'), /^\s*\(/.test(after));
    if (!near.length) return '';
    return `tavlo.h has no ${name}. ${suggestion(near, reference)}`;
  }
  return '';
}

// The hint for a line the program printed on standard error, or ''.
export function hintForOutput(text) {
  if (/not started through the package's entry point/.test(text)) {
    return `In the page a program starts in WinMain, not main: write ${WINMAIN} and pass its four ` +
      'values to open_display first.';
  }
  return '';
}
