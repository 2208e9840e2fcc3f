// The playground's program Worker: runs one linked program (WASI) with the page
// presenter's imports (tavlo_page, presenters/web/page_interface.h): the page's
// host (page_host.js, the Emscripten pages' own), whose windows are a stand-in
// that sends their calls to the page. The program's GetMessageA waits in the
// import `wait`, wrapped in WebAssembly.Suspending, and _start is called
// through WebAssembly.promising: the Worker's event loop runs while the program
// waits, so input arrives. The page stops a program with Worker.terminate(),
// also one that never waits.
//
// Messages in:  {type: 'start', module, args, files: {name: {size, mtime}}, site (runtime/site.json),
//                codeOffset (where the module's code starts), sources (the program's file names)}
//                                         the program's folder as the page keeps it: each
//                                         file's bytes are asked for when the program opens it
//               {type: 'read', request, bytes} the bytes asked for (null: none)
//               {type: 'input', record}   an input record from the page's windows
//               {type: 'file', name, bytes} the page loaded a file into the folder
//               {type: 'delete', name}    the person deletes a file of the folder
//               {type: 'leave'}           the page is being left
// Messages out: {type: 'call', name, args} the windows' calls (createWindows)
//               {type: 'present', id, width, height, pixels} a frame (buffer transferred)
//               {type: 'output', parts: [{stream, text}], dropped} what the program
//                                          printed since the last batch; a part of the
//                                          stream 'repair' is the package's repair of a
//                                          call, with {file, line} where the program made it
//               {type: 'debug', text, dropped}  debug output (the call log) since the last batch
//               {type: 'read', request, name}   the bytes of a file of the folder, please
//               {type: 'file', name, bytes}   a file of the program's folder changed (null: removed;
//                                         for a file larger than the page keeps, {name, size, large: true})
//               {type: 'deleted', name, refused} the answer to 'delete' ('' when done)
//               {type: 'opened', name, open} whether a file of the folder is open in the program
//               {type: 'in-use', name}    the file the program says it uses ('' when none)
//               {type: 'exit', code, reason, file, line}  a trap's reason says what most
//                                         likely happened; file and line: where, when known
import { createPage, createPageHost } from './page_host.js';
import { createInputQueue } from './page_input.js';
import { siteFonts } from './site_cache.js';
import { describeTrap, memoryLimitOf, programTables, ranOutOfMemory, stackPlace } from './trap.js';
import { createWasi, ProcExit } from './wasi.js';

// A trap's stack reaches from the C library's abort() back to the program's own code.
Error.stackTraceLimit = 64;

const input = createInputQueue();

let instance = null;
let wasi = null;
let memory = null;

// What the program shows and prints reaches the page in batches, at most one
// per display frame, whatever the program does: a program that prints or draws
// without end (and never waits) costs the page one message a frame, and only
// the last part of its output is sent (as much as the page's pane keeps).
const BATCH_MS = 16;
const OUTPUT_KEPT = 200000;   // characters of standard output and error per batch
const DEBUG_KEPT = 65536;     // characters of debug output per batch
let lastBatch = 0;
const frames = new Map();    // window id -> {pixels (address), width, height}: the latest frame not yet sent
let output = [];             // [{stream, text}] not yet sent
let outputLength = 0, outputDropped = 0;
let debugParts = [], debugLength = 0, debugDropped = 0;

function keepLast(parts, length, kept) {
  let dropped = 0;
  while (length - dropped > kept && parts.length > 0) {
    const first = parts[0];
    const text = typeof first === 'string' ? first : first.text;
    const cut = Math.min(text.length, length - dropped - kept);
    if (cut === text.length) parts.shift();
    else if (typeof first === 'string') parts[0] = text.slice(cut);
    else parts[0] = { stream: first.stream, text: text.slice(cut) };
    dropped += cut;
  }
  return dropped;
}

function sendBatch() {
  lastBatch = performance.now();
  for (const [id, frame] of frames) {
    const end = frame.pixels + frame.width * frame.height * 4;
    if (end <= memory.buffer.byteLength) {
      const copy = new Uint8Array(memory.buffer, frame.pixels, frame.width * frame.height * 4).slice();
      postMessage({ type: 'present', id, width: frame.width, height: frame.height, pixels: copy }, [copy.buffer]);
    }
  }
  frames.clear();
  if (output.length) {
    postMessage({ type: 'output', parts: output, dropped: outputDropped });
    output = [];
    outputLength = outputDropped = 0;
  }
  if (debugParts.length) {
    postMessage({ type: 'debug', text: debugParts.join(''), dropped: debugDropped });
    debugParts = [];
    debugLength = debugDropped = 0;
  }
}

// A batch goes out when a display frame has passed since the last one.
function batchDue() {
  if (performance.now() - lastBatch >= BATCH_MS) sendBatch();
}

function printed(stream, text) {
  const last = output[output.length - 1];
  if (last && last.stream === stream && last.text.length < 4096) last.text += text;
  else output.push({ stream, text });
  outputLength += text.length;
  if (outputLength > OUTPUT_KEPT * 2) {
    const dropped = keepLast(output, outputLength, OUTPUT_KEPT);
    outputLength -= dropped;
    outputDropped += dropped;
  }
  batchDue();
}
let waiting = false;      // the program is suspended in wait

// The program's folder: files the page keeps are copied back to it as they
// change; a file larger than KEPT_BYTES lives only as long as the run (the
// page is told its size, not sent its bytes again and again), and all the
// folder's files together may hold FOLDER_BYTES (then a write fails as on a
// full disk), so a program writing without end cannot fill the page's memory.
const KEPT_BYTES = 16 << 20;
const FOLDER_BYTES = 256 << 20;
const pending = new Map();  // name -> bytes of changed files not yet posted
let flushTimer = null;

function flushFiles() {
  if (flushTimer !== null) { clearTimeout(flushTimer); flushTimer = null; }
  for (const [name, data] of pending) {
    if (data !== null && data.length > KEPT_BYTES) {
      postMessage({ type: 'file', name, size: data.length, large: true });
      continue;
    }
    const copy = data === null ? null : data.slice();
    postMessage({ type: 'file', name, bytes: copy }, copy ? [copy.buffer] : []);
  }
  pending.clear();
}

// The bytes of a file of the page's folder, asked for when the program opens it.
const reads = new Map();  // request -> resolve
let nextRead = 1;
function readFromPage(name) {
  return new Promise((resolve, reject) => {
    const request = nextRead++;
    reads.set(request, (bytes) => (bytes ? resolve(bytes) : reject(new Error(`${name}: not kept`))));
    postMessage({ type: 'read', request, name });
  });
}

function fileChanged(root, name, data) {
  if (root !== '/') return;
  pending.set(name, data);
  // Mirrored to the page at most every 200 ms while the program writes (it
  // flushes a recording line by line), at once when the file is closed.
  if (flushTimer === null) flushTimer = setTimeout(flushFiles, 200);
}

// The page's windows as the program's host sees them: each call goes to the
// page, after the frames drawn before it; a frame waits for the next batch.
const windows = {
  createWindow: (w) => call('createWindow', w),
  layOut: (id, layout) => call('layOut', id, layout),
  showWindow: (id, visible) => call('showWindow', id, visible),
  destroyWindow: (id) => call('destroyWindow', id),
  setMenu: (id, model) => call('setMenu', id, model),
  // The front image stays where it is until the window changes (a call, which
  // sends the batch first): its place is kept, and it is copied when the batch goes out.
  present: (id, bytes, width, height) => {
    frames.set(id, { pixels: bytes.byteOffset, width, height });
    batchDue();
  },
};
function call(name, ...args) {
  sendBatch();
  postMessage({ type: 'call', name, args });
}

const page = createPage({
  windows,
  input,
  fileInUse: (name) => postMessage({ type: 'in-use', name }),
});
// The package's repair of a call the program made (a bad colour ...): in the
// output too, with the place in the program's files where the call was made,
// found from the stack of this moment. Each message at each place is said once,
// and the stack is read for the first REPAIRS_PLACED repairs only, so a program
// repeating a bad call without end costs no more than one that makes it once.
const REPAIRS_PLACED = 1000;
let programInfo = null, tables = null, repairsPlaced = 0;
const repairsSaid = new Set();
function repaired(line) {
  if (repairsPlaced >= REPAIRS_PLACED || !programInfo) return;
  ++repairsPlaced;
  tables ??= programTables(programInfo);
  const { file, line: at } = stackPlace(new Error(), programInfo, tables);
  const key = `${file}:${at}:${line}`;
  if (repairsSaid.has(key)) return;
  repairsSaid.add(key);
  output.push({ stream: 'repair', text: line, file, line: at });
  outputLength += line.length;
  batchDue();
}

page.debugOutput = (line, repair) => {
  if (repair) repaired(line);
  debugParts.push(line);
  debugLength += line.length;
  if (debugLength > DEBUG_KEPT * 2) {
    const dropped = keepLast(debugParts, debugLength, DEBUG_KEPT);
    debugLength -= dropped;
    debugDropped += dropped;
  }
  batchDue();
};
// Resolves with whether input woke the wait (false: its time ran out).
page.wait = async (timeout, paced) => {
  sendBatch();
  waiting = true;
  try {
    return await input.wait(timeout, paced);
  } finally {
    waiting = false;
  }
};

function pageImports() {
  const host = createPageHost(() => memory.buffer, page);
  return { ...host, wait: new WebAssembly.Suspending(host.wait) };
}

let memoryLimit = 0;

async function start({ module, args, files, site, codeOffset, sources }) {
  const folder = {};
  for (const [name, { size, mtime }] of Object.entries(files)) {
    folder[name] = { size, mtime, load: () => readFromPage(name) };
  }
  memoryLimit = memoryLimitOf(site);
  wasi = createWasi({
    args,
    folders: { '/': folder, '/fonts': await siteFonts(site) },
    capacity: { '/': FOLDER_BYTES },
    write: printed,
    changed: fileChanged,
    opened: (root, name) => { if (root === '/') postMessage({ type: 'opened', name, open: true }); },
    closed: (root, name) => {
      if (root !== '/') return;
      if (pending.has(name)) flushFiles();
      if (!wasi.isOpen('/', name)) postMessage({ type: 'opened', name, open: false });
    },
  });
  instance = await WebAssembly.instantiate(module, {
    wasi_snapshot_preview1: wasi.imports(module),
    tavlo_page: pageImports(),
  });
  memory = instance.exports.memory;
  wasi.setMemory(memory);
  programInfo = { module, codeOffset, files: sources };
  let code = 0, reason = '', trap = null;
  try {
    await WebAssembly.promising(instance.exports._start)();
  } catch (error) {
    if (error instanceof ProcExit) {
      code = error.code;
    } else {
      code = null;
      trap = describeTrap(error, { module, codeOffset, files: sources, outOfMemory: ranOutOfMemory(instance, memoryLimit), memoryLimit });
      reason = trap.text;
    }
  }
  flushFiles();
  sendBatch();
  postMessage({ type: 'exit', code, reason, file: trap && trap.file, line: trap && trap.line });
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'start') {
    start(message).catch((error) => {
      postMessage({ type: 'exit', code: null, reason: `the program could not start: ${error.message || error}` });
    });
  } else if (message.type === 'input') {
    input.push(message.record);
  } else if (message.type === 'read') {
    const resolve = reads.get(message.request);
    reads.delete(message.request);
    if (resolve) resolve(message.bytes);
  } else if (message.type === 'file') {
    if (wasi) wasi.setFile('/', message.name, message.bytes);
  } else if (message.type === 'delete') {
    const open = wasi && wasi.isOpen('/', message.name);
    if (wasi && !open) wasi.setFile('/', message.name, null);
    postMessage({ type: 'deleted', name: message.name, refused: open ? 'the program has it open' : '' });
  } else if (message.type === 'leave') {
    // The windows hear that the session ends (a recording writes its counted
    // periodic line), while the program waits; then the files go to the page.
    if (waiting && instance && instance.exports.tavlo_page_leaving) {
      try { instance.exports.tavlo_page_leaving(); } catch (error) { /* ended meanwhile */ }
    }
    flushFiles();
  }
};
postMessage({ type: 'loaded' });
