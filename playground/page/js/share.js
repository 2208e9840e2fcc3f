// Sharing the program: Share puts it into the page's address (#code=, its
// files compressed, program.js) and the clipboard; a link opened or pasted
// into the address bar shows its program; Download saves the program's files
// (one as itself, several as a zip archive).
import { saveDownload } from '../runtime/page_files.js';
import { decodeLink, encodeLink, zipArchive } from './program.js';
import { baseName } from './programs.js';

const LINK_LIMIT = 2000000;  // characters of an address Chromium opens

function linkCode() {
  const hash = window.location.hash;
  return hash.startsWith('#code=') ? hash.slice(6) : null;
}
function dropLink() {
  history.replaceState(null, '', window.location.pathname + window.location.search);
}

// options: {editor, programs, lines, elements: {share, shareBox, shareLink, download}}.
export function createShare({ editor, programs, lines, elements }) {
  const { say, tell } = lines;
  let fromLink = false;  // the program shown is a link's, not yet edited

  elements.share.addEventListener('click', async () => {
    let url;
    try {
      url = `${window.location.origin}${window.location.pathname}${window.location.search}#code=` +
            await encodeLink(editor.getFiles());
    } catch (e) {
      say(`The link could not be made: ${e.message}`);
      return;
    }
    if (url.length > LINK_LIMIT) {
      say(`The program is too large for a link (${url.length} characters; browsers take ${LINK_LIMIT}): download it instead`);
      return;
    }
    programs.saveNow();
    history.replaceState(null, '', url);
    fromLink = true;
    elements.shareLink.value = url;
    elements.shareBox.hidden = false;
    elements.shareLink.focus();
    elements.shareLink.select();
    try {
      await navigator.clipboard.writeText(url);
      say(`The link (${url.length} characters) is in the clipboard and the address bar`);
    } catch (e) {
      say(`The link (${url.length} characters) is in the address bar and shown above: copy it from there`);
    }
  });

  // A link pasted into this tab's address bar (only the fragment changes: no reload).
  window.addEventListener('hashchange', async () => {
    const code = linkCode();
    if (code === null) return;
    try {
      const files = await decodeLink(code);
      programs.openUnstored(files, baseName(files), 'The link\'s program');
      fromLink = true;
      tell('link', '');
    } catch (e) {
      tell('link', `This link's program cannot be opened: ${e.message}. The program shown is kept.`);
      dropLink();
    }
  });

  elements.download.addEventListener('click', () => {
    const files = editor.getFiles();
    if (files.length === 1) saveDownload(new Blob([files[0].text], { type: 'text/plain' }), files[0].name);
    else saveDownload(zipArchive(files), 'program.zip');
  });

  return {
    // The program of the address's link (its files), or null: none, or a
    // broken one (said, and taken out of the address).
    async linkedProgram(storedShown) {
      const code = linkCode();
      if (code === null) return null;
      try {
        const files = await decodeLink(code);
        fromLink = true;
        return files;
      } catch (e) {
        tell('link', `This link's program cannot be opened: ${e.message}. ` +
             (storedShown ? 'Your stored program is shown instead.' : 'An example is shown instead.'));
        dropLink();
        return null;
      }
    },
    // The program was edited: it is no longer the link's, so a reload shows the edit.
    edited() {
      tell('link', '');  // a broken link's line, once the person goes on
      if (!fromLink) return;
      fromLink = false;
      dropLink();
      elements.shareBox.hidden = true;
    },
  };
}
