// The reference of the package's calls and names, read from tavlo.h: each call
// with its signature and the first sentence of the comment above it, each
// constant of its namespaces (Color::, EventKind::, InputKind::, ...) with its
// value and comment. The page's completion, hover and error hints read it.
//
//   reference(headerText) -> [{name, kind: 'call'|'constant', signature, summary}]

// The first sentence of a comment: up to the first full stop that ends a
// sentence, at most one line's worth.
function firstSentence(text) {
  const m = /^(.*?[.!?])(\s|$)/.exec(text);
  const sentence = (m ? m[1] : text).trim();
  return sentence.length > 160 ? `${sentence.slice(0, 157)}...` : sentence;
}

// The palette's names from the Colours comment ("0 black, 1 white, ...").
function paletteNames(text) {
  const names = new Map();
  const block = /=+ Colours\n((?:\/\/.*\n)+)/.exec(text);
  if (!block) return names;
  const words = block[1].replace(/\/\/\s?/g, ' ').replace(/\s+/g, ' ');
  for (const [, index, name] of words.matchAll(/(\d+) ([a-z%0-9 ]+?)(?=,|\.|$)/g)) names.set(Number(index), name.trim());
  return names;
}

// Calls whose comment in tavlo.h is their section's, said in a line of their own.
const ownSummaries = {
  draw_triangle: 'A triangle through three points: filled (width 0) or outlined.',
  text_size: 'The width and height in pixels a text takes as draw_text draws it.',
};

export function reference(text) {
  const lines = text.split('\n');
  const palette = paletteNames(text);
  const entries = [];
  let comment = [];
  let namespace = null;
  for (let i = 0; i < lines.length; ++i) {
    const line = lines[i];
    const trimmed = line.trim();
    if (trimmed.startsWith('//')) {
      if (/^\/\/ =+/.test(trimmed)) comment = [];
      else comment.push(trimmed.replace(/^\/\/\s?/, ''));
      continue;
    }
    const opened = /^namespace (\w+) \{/.exec(trimmed);
    if (opened) { namespace = opened[1]; comment = []; continue; }
    if (namespace && /^}/.test(trimmed) && !/^};/.test(trimmed)) { namespace = null; comment = []; continue; }
    if (namespace) {
      const constant = /^(\w+)\s*=\s*([^,]+),\s*(?:\/\/\s*(.*))?$/.exec(trimmed);
      if (constant) {
        const [, name, value, note] = constant;
        let summary = note ? note.replace(/^"|"$/g, '') : comment.join(' ');
        if (/^internal/.test(summary)) { comment = []; continue; }
        if (namespace === 'Color' && palette.has(Number(value))) summary = `the palette's ${palette.get(Number(value))} (index ${value})`;
        entries.push({ name: `${namespace}::${name}`, kind: 'constant', signature: `${namespace}::${name} = ${value}`,
                       summary: firstSentence(summary) });
        comment = [];
      } else if (trimmed && !trimmed.startsWith('enum')) {
        comment = [];
      }
      continue;
    }
    const call = /^(?:int|void|unsigned|const char\*)\s+(\w+)\(/.exec(trimmed);
    if (call) {
      let signature = trimmed;
      while (!signature.includes(')') && i + 1 < lines.length) signature += ` ${lines[++i].trim()}`;
      signature = signature.slice(0, signature.indexOf(')') + 1).replace(/\s+/g, ' ');
      entries.push({ name: call[1], kind: 'call', signature,
                     summary: ownSummaries[call[1]] || firstSentence(comment.join(' ')) });
    }
    if (trimmed === '' || !trimmed.startsWith('#')) comment = [];
  }
  entries.push({ name: 'WinMain', kind: 'call',
                 signature: 'int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)',
                 summary: 'Where a program starts: open_display(instance, previous, command_line, show) first.' });
  return entries;
}
