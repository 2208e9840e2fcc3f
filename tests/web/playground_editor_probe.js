// Test-only: served in place of the playground's editor.js by
// playground_page_test.mjs (the real bundle under another name), so the test
// can read the program the editor holds: window.tavloProbe.files(), activeFile().
import { createEditor as createRealEditor } from './editor.bundle.js';

export function createEditor(options) {
  const editor = createRealEditor(options);
  window.tavloProbe = { files: () => editor.getFiles(), activeFile: () => editor.activeFile() };
  return editor;
}
