// The playground's editor: CodeMirror 6 with C++ highlighting, line numbers,
// undo, search and lint marks, holding a program of several files. Each file
// keeps an editor state of its own (text, selection, undo history, marks), and
// one view shows the active file. Bundled by playground/tools/bundle-page.mjs
// into site/editor.js; the page (page/main.js) draws the tabs and calls this.
import { basicSetup } from 'codemirror';
import { EditorView, hoverTooltip, keymap } from '@codemirror/view';
import { EditorState, Prec } from '@codemirror/state';
import { indentWithTab } from '@codemirror/commands';
import { cpp } from '@codemirror/lang-cpp';
import { setDiagnostics, lintGutter } from '@codemirror/lint';

// The reference's entry named by the word at `pos` (a call, or a constant with
// its namespace: Color::Red), with the word's extent.
function wordAt(state, pos) {
  const line = state.doc.lineAt(pos);
  const text = line.text;
  let from = pos - line.from, to = from;
  while (from > 0 && /[\w:]/.test(text[from - 1])) --from;
  while (to < text.length && /[\w:]/.test(text[to])) ++to;
  if (from === to) return null;
  return { from: line.from + from, to: line.from + to, text: text.slice(from, to).replace(/^:+|:+$/g, '') };
}

// Completion and hover of tavlo.h's names: each call with its signature and a
// line of what it does, each constant (Color::Red, EventKind::Key ...) with its
// value. `reference()` resolves to reference.json's entries.
function referenceHelp(reference) {
  const complete = async (context) => {
    const word = context.matchBefore(/[A-Za-z_]\w*(::\w*)?/);
    if (!word || (!context.explicit && word.text.length < 2)) return null;
    const entries = await reference().catch(() => []);
    const typed = word.text;
    const options = entries.filter((e) => e.name.startsWith(typed) ||
                                          (!typed.includes('::') && e.name.startsWith(`Color::${typed}`)))
      .map((e) => ({
        label: e.name,
        type: e.kind === 'call' ? 'function' : 'constant',
        detail: e.kind === 'call' ? e.signature.slice(e.signature.indexOf('(')) : e.signature.slice(e.name.length),
        info: e.kind === 'call' ? `${e.signature}\n${e.summary}` : e.summary,
      }));
    return options.length ? { from: word.from, options, validFor: /^[\w:]*$/ } : null;
  };
  const hover = hoverTooltip(async (view, pos) => {
    const word = wordAt(view.state, pos);
    if (!word) return null;
    const entries = await reference().catch(() => []);
    const entry = entries.find((e) => e.name === word.text);
    if (!entry) return null;
    return {
      pos: word.from,
      end: word.to,
      above: true,
      create() {
        const dom = document.createElement('div');
        dom.className = 'reference-tip';
        const signature = document.createElement('code');
        signature.textContent = entry.signature;
        const summary = document.createElement('div');
        summary.textContent = entry.summary;
        dom.append(signature, summary);
        return { dom };
      },
    };
  });
  return [EditorState.languageData.of(() => [{ autocomplete: complete }]), hover];
}

// options: {parent: element, onChange(), onRun(), reference(): Promise of the
// reference's entries}.
export function createEditor(options) {
  const states = new Map();  // file name -> EditorState, in tab order
  let active = null;

  const extensions = [
    Prec.highest(keymap.of([{ key: 'Mod-Enter', run: () => { options.onRun(); return true; } }])),
    basicSetup,
    keymap.of([indentWithTab]),
    cpp(),
    options.reference ? referenceHelp(options.reference) : [],
    lintGutter(),
    EditorState.tabSize.of(4),
    EditorView.updateListener.of((update) => {
      if (update.docChanged) options.onChange();
    }),
  ];
  const newState = (text) => EditorState.create({ doc: text, extensions });
  const view = new EditorView({ state: newState(''), parent: options.parent });

  // The view's state is the active file's; the others are kept as they were left.
  const keep = () => { if (active !== null) states.set(active, view.state); };

  function select(name) {
    if (!states.has(name) || name === active) return;
    keep();
    active = name;
    view.setState(states.get(name));
  }

  function setFiles(files, activeName) {
    states.clear();
    for (const file of files) states.set(file.name, newState(file.text));
    active = null;
    select(states.has(activeName) ? activeName : files[0].name);
  }

  function getFiles() {
    keep();
    return [...states].map(([name, state]) => ({ name, text: state.doc.toString() }));
  }

  function addFile(name, text = '') {
    keep();
    states.set(name, newState(text));
    select(name);
  }

  function renameFile(from, to) {
    keep();
    const renamed = new Map();
    for (const [name, state] of states) renamed.set(name === from ? to : name, state);
    states.clear();
    for (const [name, state] of renamed) states.set(name, state);
    if (active === from) active = to;
  }

  function closeFile(name) {
    keep();
    const names = [...states.keys()];
    states.delete(name);
    if (active === name) {
      active = null;
      const at = names.indexOf(name);
      select(names[at > 0 ? at - 1 : 1]);
    }
  }

  // A position from a 1-based line and column, clamped into the document.
  function position(state, line, column) {
    const doc = state.doc;
    const at = doc.line(Math.min(Math.max(1, line), doc.lines));
    return Math.min(at.from + Math.max(0, column - 1), at.to);
  }

  // Marks of the compiler's diagnostics, each from its place to the end of the
  // word there (or one character), in every file they name.
  function setMarks(diagnostics) {
    keep();
    for (const [name, state] of states) {
      const marks = [];
      for (const d of diagnostics) {
        if (d.file !== name || !(d.line >= 1)) continue;
        const from = position(state, d.line, d.column || 1);
        const line = state.doc.lineAt(from);
        const word = /^\w+/.exec(state.doc.sliceString(from, line.to));
        const to = Math.min(line.to, from + (word ? word[0].length : 1));
        const severity = { warning: 'warning', note: 'info' }[d.severity] || 'error';
        marks.push({ from, to, severity, message: d.message });
      }
      // The active file's marks go through the view, which keeps its scroll place.
      if (name === active) view.dispatch(setDiagnostics(state, marks));
      else states.set(name, state.update(setDiagnostics(state, marks)).state);
    }
  }

  // Shows a place: the file's tab, the cursor at the line and column, in view.
  function jumpTo(name, line, column) {
    if (!states.has(name)) return false;
    select(name);
    const at = position(view.state, line, column || 1);
    view.dispatch({ selection: { anchor: at }, effects: EditorView.scrollIntoView(at, { y: 'center' }) });
    view.focus();
    return true;
  }

  return {
    view, select, setFiles, getFiles, addFile, renameFile, closeFile, setMarks, jumpTo,
    activeFile: () => active,
    names: () => [...states.keys()],
    focus: () => view.focus(),
  };
}
