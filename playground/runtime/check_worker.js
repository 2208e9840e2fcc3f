// The playground's check Worker: runs one linked program headless, as a
// task's check runs it (page/js/checking.js gives the arguments), in a folder
// of its own in memory: the person's folder is never seen or touched. The
// program asks the page's imports whether a page is there, hears no, and runs
// with its virtual clock; it never waits for the page. The page ends a run that
// overstays its time by terminating this Worker.
//
// Message in:  {type: 'start', module, args, files: {name: Uint8Array}, site,
//               codeOffset, sources}
// Message out: {type: 'ended', code, trap, flooded, files: {name: Uint8Array},
//               stderr (its last part), elsewhere (files written to /tmp or /var/tmp)}
import { siteFonts } from './site_cache.js';
import { describeTrap, memoryLimitOf, ranOutOfMemory } from './trap.js';
import { createWasi, ProcExit } from './wasi.js';

const OUTPUT_CAP = 16 * 1024 * 1024;  // bytes of standard output and error, and of any one file
const STDERR_KEPT = 4096;
// Where a program may try to write outside its own folder: its folder is the
// whole of its file system here, so these are folders in it, and a file left
// there fails the run as it does on the command line.
const ELSEWHERE = ['tmp/', 'var/tmp/'];

class Flooded extends Error {}

function pageImports(module) {
  const imports = {};
  for (const { module: from, name } of WebAssembly.Module.imports(module)) {
    if (from !== 'tavlo_page') continue;
    imports[name] = name === 'present_in_page' ? () => 0 : () => {
      throw new Error(`a headless run called tavlo_page.${name}`);
    };
  }
  return imports;
}

async function start({ module, args, files, site, codeOffset, sources }) {
  let printed = 0, stderr = '';
  const written = new Map();
  const wasi = createWasi({
    args: ['program', ...args],
    folders: { '/': { ...files, ...Object.fromEntries(ELSEWHERE.map((f) => [f, null])) }, '/fonts': await siteFonts(site) },
    capacity: { '/': 4 * OUTPUT_CAP },
    write: (stream, text) => {
      printed += text.length;
      if (stream === 'stderr') stderr = (stderr + text).slice(-STDERR_KEPT);
      if (printed > OUTPUT_CAP) throw new Flooded();
    },
    changed: (root, name, bytes) => {
      if (root !== '/') return;
      if (bytes && bytes.length > OUTPUT_CAP) throw new Flooded();
      if (bytes === null) written.delete(name);
      else written.set(name, bytes);
    },
  });
  const memoryLimit = memoryLimitOf(site);
  let instance = null;
  const result = { code: null, trap: '', flooded: false };
  try {
    instance = await WebAssembly.instantiate(module, {
      wasi_snapshot_preview1: wasi.imports(module),
      tavlo_page: pageImports(module),
    });
    wasi.setMemory(instance.exports.memory);
    await WebAssembly.promising(instance.exports._start)();
    result.code = 0;
  } catch (error) {
    if (error instanceof ProcExit) result.code = error.code;
    else if (error instanceof Flooded) result.flooded = true;
    else {
      result.trap = describeTrap(error, { module, codeOffset, files: sources,
                                          outOfMemory: ranOutOfMemory(instance, memoryLimit), memoryLimit }).text;
    }
  }
  const out = {};
  for (const [name, bytes] of written) out[name] = bytes.slice();
  const elsewhere = [...written.keys()].filter((name) => ELSEWHERE.some((folder) => name.startsWith(folder)))
    .map((name) => `/${name}`).sort((a, b) => a.split('/').length - b.split('/').length || (a < b ? -1 : 1));
  postMessage({ type: 'ended', ...result, files: out, stderr, elsewhere },
              Object.values(out).map((bytes) => bytes.buffer));
}

onmessage = (event) => {
  if (event.data.type !== 'start') return;
  start(event.data).catch((error) => {
    postMessage({ type: 'ended', code: null, trap: `the program could not start: ${error.message || error}`,
                  flooded: false, files: {}, stderr: '', elsewhere: [] });
  });
};
postMessage({ type: 'loaded' });
