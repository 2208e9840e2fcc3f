// The program in the editor and the person's programs: the tabs (add, rename,
// close), keeping the program as it is typed, the Programs menu (open one, a new
// one, rename or delete the one shown), the Examples menu, opening a program's files from disk, and the program
// a link or an example puts beside the person's own.
//
// The program shown is a stored one (its id, and the version this tab read or
// saved last) or one not stored yet (id null: an example, a link's program,
// files opened from disk, a new program), stored once edited as a program of
// its own. program.js keeps the programs (one key each, with versions, so two
// tabs never write over each other).
import { onLeave, saveDownload } from '../runtime/page_files.js';
import {
  deleteProgram, lastProgramId, listPrograms, nameProblem, programNameProblem, readProgram, readZip, renameProgram,
  restoreProgram, saveProgram,
} from './program.js';

// The program a new program starts from.
export const NEW_PROGRAM = [{ name: 'main.cpp', text: '#include "tavlo.h"\n\nint WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {\n    open_display(instance, previous, command_line, show);\n    print_text(0, -100, 0, 18, "Hello!");\n    int x = 0, y = 0;\n    char key = 0;\n    while (wait_event(&x, &y, &key) != EventKind::Quit) {\n    }\n    close_display();\n    return 0;\n}\n' }];

const OPEN = 'tavlo-playground-open';  // this tab's program, for its reload (sessionStorage)
export const sameProgram = (a, b) => a.length === b.length && a.every((f, i) => f.name === b[i].name && f.text === b[i].text);
export const baseName = (files) => files[0].name.replace(/\.[^.]*$/, '');

// options: {editor, lines: {say, tell}, elements: {tabs, tabsNote, addFile,
// programsMenu, examplesMenu, openFile}, examples: () => Promise of the
// examples ({programs: [...]}), onShown(): a whole program was put in the editor,
// onEdited(): the program shown was changed}.
export function createPrograms({ editor, lines, elements, examples, onShown = () => {}, onEdited = () => {} }) {
  const { say, tell } = lines;
  let shown = { id: null, name: 'program', version: 0 };

  function rememberOpen(id) {
    try { sessionStorage.setItem(OPEN, id || ''); } catch (e) { /* none: a reload opens the last one */ }
  }

  // A stored program this page cannot read is never written over: it is said,
  // with a download of what is stored.
  function tellUnreadable(program) {
    tell(`unreadable-${program.id}`, `Your stored program "${program.name}" cannot be opened (${program.error}). ` +
         'It is kept as it is; download what is stored to keep it elsewhere.', {
      label: 'Download it',
      run: () => saveDownload(new Blob([program.raw], { type: 'application/json' }), `${program.name}.json`),
    });
  }

  // This tab's program (a reload), else the one saved last, else the newest
  // that can be read; null when none.
  function storedToShow() {
    let openId = null;
    try { openId = sessionStorage.getItem(OPEN); } catch (e) { /* none */ }
    try {
      const candidates = [openId, lastProgramId(), ...listPrograms().map((p) => p.id)].filter(Boolean);
      for (const id of candidates) {
        const program = readProgram(id);
        if (!program) continue;
        if (!program.error) return program;
        if (id === openId || id === candidates[0]) tellUnreadable(program);
      }
    } catch (e) {
      tell('storage', `The browser's storage cannot be read (${e.message}): programs are not kept`);
    }
    return null;
  }

  // ---------------------------------------------------------------- keeping

  let saveTimer = null;
  function saveNow() {
    clearTimeout(saveTimer);
    saveTimer = null;
    let saved;
    try {
      saved = saveProgram({ ...shown, files: editor.getFiles(), active: editor.activeFile() });
    } catch (e) {
      tell('storage', `This program cannot be kept in this browser (${e.message}): download it to keep it` +
           (shown.id ? '. What is kept is its text from before.' : '.'));
      return;
    }
    tell('storage', '');
    tell('other-tab', '');
    if (saved.forked) {
      tell('forked', `"${shown.name}" was ${saved.deleted ? 'deleted' : 'changed'} in another tab meanwhile: ` +
           `this tab's text is kept as a program of its own, "${saved.name}" (${saved.deleted ? 'in Programs' : 'both are in Programs'}).`);
    }
    shown = { id: saved.id, name: saved.name, version: saved.version };
    rememberOpen(saved.id);
    renderPrograms();
  }
  function changed() {
    onEdited();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(saveNow, 400);
  }
  onLeave(() => { if (saveTimer !== null) saveNow(); });

  // Another tab saved the program this tab shows: this tab's next save keeps its
  // text as a program of its own; the person may take the other tab's text now.
  window.addEventListener('storage', (e) => {
    if (e.key && e.key.startsWith('tavlo-playground-program:')) renderPrograms();
    if (!shown.id || e.key !== `tavlo-playground-program:${shown.id}`) return;
    if (e.newValue === null) {
      // Deleted there: the text here stays, and is kept as a new program once
      // changed (saveProgram never writes a deleted program back).
      tell('other-tab', `"${shown.name}" was deleted in another tab: what this tab shows is kept as a program ` +
           'of its own once you change it.');
      return;
    }
    tell('other-tab', `"${shown.name}" was changed in another tab.`, {
      label: 'Show that version',
      run: () => {
        const program = readProgram(shown.id);
        if (!program || program.error) return;
        tell('other-tab', '');
        openStored(program);
      },
    });
  });

  // ---------------------------------------------------------------- showing

  function putInEditor(files, active) {
    editor.setFiles(files, active);
    renderTabs();
    onShown();
  }

  // The person's program that another took the place of stays stored; a line
  // says so, with a button that opens it again.
  let offered = null;  // the id of the program the line 'replaced' offers back
  function offerBack(program, why) {
    offered = program.id;
    tell('replaced', `${why} is open; your program "${program.name}" ` +
         `(${program.files.map((f) => f.name).join(', ')}) is kept in Programs.`, {
      label: 'Bring it back',
      run: () => {
        tell('replaced', '');
        const again = readProgram(program.id);
        if (again && !again.error) openStored(again);
      },
    });
  }

  // A program not stored until edited (an example, a link's, files from disk,
  // a new one) in the editor; the program shown before is kept and offered back.
  function openUnstored(files, name, why) {
    if (saveTimer !== null) saveNow();
    if (shown.id) {
      const before = readProgram(shown.id);
      if (before && !before.error && !sameProgram(before.files, files)) offerBack(before, why);
    }
    shown = { id: null, name, version: 0 };
    rememberOpen(null);
    putInEditor(files, files[0].name);
    renderPrograms();
  }

  // A stored program in the editor, as this tab's.
  function openStored(program) {
    if (saveTimer !== null) saveNow();
    if (offered === program.id) tell('replaced', '');  // shown again: nothing to offer back
    shown = { id: program.id, name: program.name, version: program.version };
    rememberOpen(program.id);
    putInEditor(program.files, program.active);
    renderPrograms();
  }

  // ---------------------------------------------------------------- tabs

  function renderTabs() {
    const bar = elements.tabs;
    bar.textContent = '';
    for (const name of editor.names()) {
      const tab = document.createElement('span');
      tab.className = `tab${name === editor.activeFile() ? ' active' : ''}`;
      tab.setAttribute('role', 'tab');
      tab.setAttribute('aria-selected', String(name === editor.activeFile()));
      tab.dataset.name = name;
      const label = document.createElement('button');
      label.type = 'button';
      label.className = 'tab-name';
      label.textContent = name;
      label.title = 'Double-click to rename';
      label.addEventListener('click', () => {  // the tabs stay in place, so a double click reaches them
        if (name === editor.activeFile()) return;
        editor.select(name);
        markActiveTab();
        changed();
        editor.focus();
      });
      label.addEventListener('dblclick', () => rename(tab, name));
      tab.appendChild(label);
      if (editor.names().length > 1) {
        const close = document.createElement('button');
        close.type = 'button';
        close.className = 'tab-close';
        close.textContent = '\u00d7';
        close.title = `Close ${name}`;
        close.addEventListener('click', () => closeTab(name));
        tab.appendChild(close);
      }
      bar.appendChild(tab);
    }
  }

  function markActiveTab() {
    for (const tab of elements.tabs.querySelectorAll('.tab')) {
      const active = tab.dataset.name === editor.activeFile();
      tab.classList.toggle('active', active);
      tab.setAttribute('aria-selected', String(active));
    }
  }

  // A file name typed into the tab; Enter (or leaving it) takes it, Escape keeps the old one.
  function rename(tab, name) {
    const input = document.createElement('input');
    input.value = name;
    input.setAttribute('aria-label', 'File name');
    tab.textContent = '';
    tab.appendChild(input);
    input.focus();
    input.select();
    let done = false;
    const finish = (take) => {
      if (done) return;
      done = true;
      const wanted = input.value.trim();
      elements.tabsNote.textContent = '';
      if (take && wanted !== name) {
        // Said beside the tabs: the status line is the runtime's too.
        const problem = nameProblem(wanted, editor.names().filter((n) => n !== name));
        if (problem) elements.tabsNote.textContent = `${wanted}: ${problem}; the file keeps its name ${name}`;
        else {
          editor.renameFile(name, wanted);
          changed();
        }
      }
      renderTabs();
      editor.focus();
    };
    input.addEventListener('keydown', (e) => {
      // The key is the name's: the editor, focused by finish, must not get its newline.
      if (e.key === 'Enter' || e.key === 'Escape') e.preventDefault();
      if (e.key === 'Enter') finish(true);
      else if (e.key === 'Escape') finish(false);
    });
    input.addEventListener('blur', () => finish(true));
  }

  function addTab() {
    let n = 1;
    while (editor.names().includes(`file${n}.h`)) ++n;
    editor.addFile(`file${n}.h`, '');
    changed();
    renderTabs();
    rename(elements.tabs.querySelector(`.tab[data-name="file${n}.h"]`), `file${n}.h`);
  }

  function closeTab(name) {
    const text = editor.getFiles().find((f) => f.name === name).text;
    if (text.trim() && !window.confirm(`Close ${name}? Its text is dropped.`)) return;
    editor.closeFile(name);
    changed();
    renderTabs();
  }
  elements.addFile.addEventListener('click', addTab);

  // ---------------------------------------------------------------- rename, delete

  // The program shown gets the name asked for; an empty name, or one another
  // program has, is refused and said. A program not stored yet (an example, a
  // link's) is stored under the name given.
  function renameShown() {
    if (saveTimer !== null) saveNow();
    const wanted = window.prompt('A new name for this program:', shown.name);
    if (wanted === null) return;
    const name = wanted.trim();
    if (name === shown.name) return;
    try {
      if (shown.id === null) {
        const problem = programNameProblem(name, null);
        if (problem) throw new Error(problem);
        shown = { ...shown, name };
        saveNow();
      } else {
        const renamed = renameProgram(shown.id, name);
        // A tab whose text is older than the one stored stays behind: its next
        // save keeps its text as a program of its own.
        shown = { id: shown.id, name: renamed.name,
                  version: renamed.version === shown.version + 1 ? renamed.version : shown.version };
      }
    } catch (e) {
      say(`The program keeps its name "${shown.name}": ${e.message}`);
      return;
    }
    say(`The program is called "${name}" now`);
    renderPrograms();
  }

  // The program shown is deleted once the person confirms; a line offers it
  // back for as long as the page is open. The editor then shows the program
  // changed last, or a new one.
  function deleteShown() {
    if (saveTimer !== null) saveNow();  // what comes back is the text as typed
    if (shown.id === null) {
      say('This program is not kept in the browser: there is nothing to delete');
      return;
    }
    const { id, name } = shown;
    if (!window.confirm(`Delete your program "${name}"? Until you leave the page, a line above the editor can bring it back.`)) return;
    let raw;
    try {
      raw = deleteProgram(id);
    } catch (e) {
      say(`"${name}" could not be deleted: ${e.message}`);
      return;
    }
    tell('other-tab', '');
    if (offered === id) tell('replaced', '');
    if (raw !== null) {
      tell(`deleted-${id}`, `Your program "${name}" is deleted.`, { label: 'Bring it back', run: () => bringBack(id, raw) });
    }
    const next = listPrograms().map((p) => readProgram(p.id)).find((p) => p && !p.error);
    if (next) {
      openStored(next);
    } else {
      shown = { id: null, name: 'program', version: 0 };
      rememberOpen(null);
      putInEditor(NEW_PROGRAM, NEW_PROGRAM[0].name);
      renderPrograms();
    }
    say(`"${name}" is deleted; ${next ? `your program "${next.name}" is shown` : 'a new program is shown'}`);
  }

  function bringBack(id, raw) {
    let back;
    try {
      back = restoreProgram(id, raw);
    } catch (e) {
      say(`The program could not be brought back (${e.message}); the line stays, try again`);
      return;
    }
    tell(`deleted-${id}`, '');
    const program = readProgram(id);
    if (program && !program.error) openStored(program);
    else renderPrograms();
    say(`"${back.name}" is back`);
  }

  // ---------------------------------------------------------------- menus

  // The Programs menu: a new program, and each stored program (the one shown
  // marked); one that cannot be read is listed so, and opening it says why.
  function renderPrograms() {
    const menu = elements.programsMenu;
    let programs = [];
    try { programs = listPrograms(); } catch (e) { /* storage off: only New */ }
    menu.textContent = '';
    const add = (value, label, title = '') => {
      const option = document.createElement('option');
      option.value = value;
      option.textContent = label;
      option.title = title;
      menu.appendChild(option);
    };
    add('', 'Programs\u2026');
    add('new', 'New program');
    add('rename', 'Rename this program\u2026', `Give "${shown.name}" another name`);
    if (shown.id !== null) {
      add('delete', 'Delete this program\u2026', `Delete "${shown.name}" (a line offers it back until the page is left)`);
    }
    for (const p of programs) {
      add(`id:${p.id}`, `${p.id === shown.id ? '\u2022 ' : ''}${p.name}${p.error ? ' (cannot be opened)' : ''}`,
          p.error || `last changed ${new Date(p.modified).toLocaleString()}`);
    }
    menu.value = '';
  }
  elements.programsMenu.addEventListener('change', () => {
    const value = elements.programsMenu.value;
    elements.programsMenu.value = '';
    if (value === 'new') {
      openUnstored(NEW_PROGRAM, 'program', 'A new program');
      say('a new program: it is kept once you type');
    } else if (value === 'rename') {
      renameShown();
    } else if (value === 'delete') {
      deleteShown();
    } else if (value.startsWith('id:')) {
      const program = readProgram(value.slice(3));
      if (!program) say('that program is no longer stored');
      else if (program.error) tellUnreadable(program);
      else if (program.id !== shown.id) openStored(program);
    }
    editor.focus();
  });

  examples().then(({ programs }) => {
    for (const p of programs) {
      const option = document.createElement('option');
      option.value = p.name;
      option.textContent = p.files.length > 1 ? `${p.title} (${p.files.length} files)` : p.title;
      option.title = p.description;
      elements.examplesMenu.appendChild(option);
    }
  }, (e) => tell('examples', `The examples could not be loaded (${e.message})`));
  elements.examplesMenu.addEventListener('change', async () => {
    const name = elements.examplesMenu.value;
    elements.examplesMenu.value = '';
    const chosen = (await examples()).programs.find((p) => p.name === name);
    if (!chosen) return;
    openUnstored(chosen.files, chosen.name, `The example ${chosen.title}`);
    say(`${chosen.title}: ${chosen.description}`);
    editor.focus();
  });

  // Files from disk: .cpp, .h and .hpp files (one program of them all), or a
  // zip archive of them, open as a program beside the person's own.
  elements.openFile.addEventListener('change', async () => {
    const picked = [...elements.openFile.files];
    elements.openFile.value = '';
    if (picked.length === 0) return;
    try {
      let files, skipped = [];
      if (picked.length === 1 && /\.zip$/i.test(picked[0].name)) {
        ({ files, skipped } = await readZip(picked[0]));
      } else {
        files = [];
        for (const file of picked) {
          const problem = nameProblem(file.name, files.map((f) => f.name));
          if (problem) throw new Error(`${file.name}: ${problem}`);
          files.push({ name: file.name, text: await file.text() });
        }
        files.sort((a, b) => Number(b.name.endsWith('.cpp')) - Number(a.name.endsWith('.cpp')));
      }
      openUnstored(files, baseName(files), `${picked.length === 1 ? picked[0].name : 'The files opened'}`);
      say(`opened ${files.map((f) => f.name).join(', ')}` +
          (skipped.length ? `; left out (not a program's files): ${skipped.join(', ')}` : ''));
    } catch (e) {
      say(`${picked.map((f) => f.name).join(', ')} could not be opened: ${e.message}`);
    }
    editor.focus();
  });

  return {
    // The program to show at the start: a link's (files given), else the stored one, else the first example.
    async showFirst(linked) {
      const stored = storedToShow();
      if (linked) {
        shown = { id: null, name: baseName(linked), version: 0 };
        rememberOpen(null);
        putInEditor(linked, linked[0].name);
        if (stored && !sameProgram(stored.files, linked)) offerBack(stored, 'The link\'s program');
      } else if (stored) {
        shown = { id: stored.id, name: stored.name, version: stored.version };
        rememberOpen(stored.id);
        putInEditor(stored.files, stored.active);
      } else {
        let first;
        try {
          first = (await examples()).programs[0];
        } catch (e) {
          first = { files: NEW_PROGRAM, name: 'program' };
        }
        putInEditor(first.files, first.files[0].name);
        shown = { id: null, name: first.name, version: 0 };
      }
      renderPrograms();
    },
    openUnstored,
    openStored,
    changed,
    saveNow,
    showTabs: renderTabs,
  };
}
