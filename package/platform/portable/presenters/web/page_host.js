// The page's side of the web presenter's interface (page_interface.h), written
// once for both ways a program runs in a browser:
//
//   createPage({windows, input})   the page's calls in JavaScript values
//       (createWindow({id, title, ...}), present(id, bytes, width, height),
//       nextInput() ...): what the windows draw and where input waits;
//   createPageHost(buffer, page)   the interface's calls as the program makes
//       them (create_window(id, titleAddress, ...)), over the program's memory
//       (`buffer()` answers its current ArrayBuffer), handed on to `page`.
//
// An Emscripten page calls the host from its EM_JS functions
// (page_interface_emscripten.cpp); the playground's program Worker gives the
// host's calls to the program as the imports of the module "tavlo_page". The
// page's calls are looked up at every call, so a test may wrap them.
import { INPUT } from './page_constants.js';

// The records that say which window has the keys: a press, and keys themselves.
const TAKES_FOCUS = new Set([INPUT.ButtonDown, INPUT.RightDown, INPUT.KeyDown, INPUT.KeyUp]);

// options: {windows: createWindows()'s calls (or a Worker's stand-in for them),
// input: createInputQueue(), fileInUse(name): optional, told the file the
// program uses now ('' when none)}.
export function createPage({ windows, input, fileInUse = () => {} }) {
  // The window an input record with id 0 goes to (keys typed before a window
  // took the page's focus): the one that took it last, else the one shown last.
  let focus = 0;
  const page = {
    createWindow: (w) => windows.createWindow(w),
    layOut: (id, layout) => windows.layOut(id, layout),
    showWindow: (id, visible) => {
      if (visible) focus = id;
      windows.showWindow(id, visible);
    },
    destroyWindow: (id) => {
      if (focus === id) focus = 0;
      windows.destroyWindow(id);
    },
    setMenu: (id, model) => windows.setMenu(id, model),
    present: (id, bytes, width, height) => windows.present(id, bytes, width, height),
    // The oldest input record, with the window it goes to, or null.
    nextInput: () => {
      const record = input.next();
      if (!record) return null;
      if (record.id === 0) return { ...record, id: focus };
      if (TAKES_FOCUS.has(record.kind)) focus = record.id;
      return record;
    },
    wait: (timeout, paced) => input.wait(timeout, paced),
    // OutputDebugStringA: the browser's console, where a page's developer looks
    // (`repair`: the line is the package's repair of a call the program made).
    debugOutput: (text) => console.debug(text.replace(/\n$/, '')),
    fileInUse: (name) => fileInUse(name),
  };
  return page;
}

const decoder = new TextDecoder();

export function createPageHost(buffer, page) {
  const string = (address) => {
    const bytes = new Uint8Array(buffer());
    let end = address;
    while (end < bytes.length && bytes[end] !== 0) ++end;
    return decoder.decode(bytes.subarray(address, end));
  };
  return {
    present_in_page: () => 1,
    create_window: (id, title, left, top, background, closable) =>
      page.createWindow({ id, title: string(title), left, top, background, closable: !!closable }),
    lay_out: (id, frame, caption, menuBar, width, height) =>
      page.layOut(id, { frame, caption, menuBar, width, height }),
    show_window: (id, visible) => page.showWindow(id, !!visible),
    destroy_window: (id) => page.destroyWindow(id),
    set_menu: (id, model) => page.setMenu(id, JSON.parse(string(model))),
    // pixels: width * height COLORREFs (bytes R, G, B, 0), shown as they are now.
    present: (id, pixels, width, height) =>
      page.present(id, new Uint8Array(buffer(), pixels, width * height * 4), width, height),
    next_input: (record) => {
      const input = page.nextInput();
      if (!input) return 0;
      new Int32Array(buffer(), record, 5).set([input.kind, input.id, input.a | 0, input.b | 0, input.c | 0]);
      return 1;
    },
    wait: (timeout, paced) => page.wait(timeout, !!paced),
    debug_output: (text, repair) => page.debugOutput(string(text), !!repair),
    file_in_use: (name) => page.fileInUse(string(name)),
    now: () => performance.now(),
  };
}
