// The playground's compiler Worker: clang compiled to WebAssembly (the pinned
// npm @yowasp/clang, served in site/clang/) compiles and links a program with
// the package's libraries (site/sdk/). The compiler runs synchronously inside
// each call, so it lives in a Worker of its own.
//
// Its files come through site_cache.js: from Cache Storage when a visit before
// fetched them, else from the network, untouched (the copy of the compiler's
// bundle.js in site/clang/ is generated without the runtime's progress wrapper,
// which would hand the engine a Response without a URL; see docs/playground.md).
//
// The compiler sees a virtual file system: the program's files at /, named as
// the page's tabs (so diagnostics name them so), the package's headers,
// libraries and precompiled prelude below /sdk, the objects in /build.
//
// Messages in:  {type: 'load', site}           (runtime/site.json, already read)
//               {type: 'build', id, files: [{name, text}]}
// Messages out: {type: 'progress', loaded, total}
//               {type: 'ready'} | {type: 'failed', message}
//               {type: 'preparing'}   (the standard headers' prelude is being built)
//               {type: 'prepared', standard, built, ms, warmUpMs}
//               {type: 'status', id, text}
//               {type: 'built', id, ok, diagnostics, log, wasm (ArrayBuffer, transferred),
//                standardPrelude (the files compiled with the standard prelude)}
import { isSource, nameProblem } from './file_names.js';
import { openSiteCache } from './site_cache.js';

const siteBase = new URL('../', import.meta.url);
let compiler = null;
let sdk = null;  // the tree below /sdk
let site = null;

async function load(description) {
  site = description;
  let loaded = 0;
  const total = site.compilerBytes;
  let lastPost = 0;
  const progress = (n) => {
    loaded += n;
    const now = performance.now();
    if (now - lastPost > 100 || loaded >= total) {
      lastPost = now;
      postMessage({ type: 'progress', loaded, total });
    }
  };
  const cache = await openSiteCache(site, progress);
  const relative = (url) => (url.startsWith(siteBase.href) ? url.slice(siteBase.href.length) : null);
  const networkFetch = globalThis.fetch.bind(globalThis);
  // The compiler's bundle fetches its modules and headers with the global fetch,
  // taken when the bundle is evaluated: the site's files go through the cache.
  globalThis.fetch = (input, init) => {
    const url = new URL(input instanceof Request ? input.url : input, self.location.href).href;
    const path = relative(url);
    return path !== null && site.files.includes(path) ? cache.fetchFile(url, path) : networkFetch(input, init);
  };
  const sdkFiles = site.files.filter((path) => path.startsWith('sdk/') && !path.startsWith('sdk/fonts/'));
  const fetchSdk = Promise.all(sdkFiles.map(async (path) => {
    const response = await cache.fetchFile(new URL(path, siteBase).href, path);
    return [path, new Uint8Array(await response.arrayBuffer())];
  }));
  // The bundle too comes from the cache: imported from a blob: URL, told where
  // its files are (the site's copy reads globalThis.tavloCompilerUrl).
  const bundleUrl = new URL('clang/bundle.js', siteBase).href;
  const bundle = await (await cache.fetchFile(bundleUrl, 'clang/bundle.js')).text();
  globalThis.tavloCompilerUrl = bundleUrl;
  const blobUrl = URL.createObjectURL(new Blob([bundle], { type: 'text/javascript' }));
  try {
    compiler = await import(blobUrl);
  } finally {
    URL.revokeObjectURL(blobUrl);
  }
  // Fetches and compiles the compiler's modules and unpacks its headers and libraries.
  await compiler.runLLVM(null, {}, {});
  sdk = {};
  for (const [path, bytes] of await fetchSdk) {
    const parts = path.split('/').slice(1);
    let node = sdk;
    for (const part of parts.slice(0, -1)) node = node[part] ??= {};
    node[parts[parts.length - 1]] = bytes;
  }
}

// clang's diagnostics, `file:line:column: severity: message`, and the linker's
// `wasm-ld: error: message`; an object's name stands for its source file.
function parseDiagnostics(log, objects) {
  const diagnostics = [];
  for (const line of log.split('\n')) {
    let m = /^(.+?):(\d+):(\d+): (fatal error|error|warning|note|remark): (.*)$/.exec(line);
    if (m) {
      diagnostics.push({ file: m[1].replace(/^\.\//, '').replace(/^\/sdk\/include\//, ''),
                         line: Number(m[2]), column: Number(m[3]),
                         severity: m[4] === 'fatal error' ? 'error' : m[4], message: m[5] });
      continue;
    }
    m = /^(?:wasm-ld|clang\+\+|clang): (error|warning): (.*)$/.exec(line);
    if (m) {
      let file = '';
      const object = /\/build\/([^:\s]+)\.o\b/.exec(m[2]);
      if (object && objects.has(object[1])) file = objects.get(object[1]);
      diagnostics.push({ file, line: 0, column: 0, severity: m[1],
                         message: m[2].replace(/\/build\/([^:\s]+)\.o\b/g, (all, name) => objects.get(name) || all) });
    }
  }
  return diagnostics;
}

function run(tool, args, tree, chunks) {
  const collect = (bytes) => { if (bytes !== null) chunks.push(bytes); };
  try {
    return compiler.runClang([tool, ...args], tree, { stdout: collect, stderr: collect, decodeASCII: false,
                                                     synchronously: true });
  } catch (error) {
    if (error instanceof compiler.Exit) return null;
    throw error;
  }
}

const INCLUDES_TAVLO = /^\s*#\s*include\s*[<"]tavlo\.h[>"]/m;
// A standard header: any #include <...> but tavlo.h's.
const INCLUDES_STANDARD = /^\s*#\s*include\s*<(?!tavlo\.h>)[^>]+>/m;
const PRELUDE_PCH = '/sdk/prelude.h.pch';
const STANDARD_PCH = '/sdk/prelude_std.h.pch';
const STANDARD_PRELUDE = 'prelude_std.h';
const PRELUDE_CACHE = 'tavlo-prelude-';
// What clang says of a precompiled header it cannot read.
const REFUSED_PCH = /PCH file|precompiled file|AST file/;
let builds = 0;  // the builds asked for so far
// Compiled and linked once (the results dropped) after the standard prelude
// is in, unless a person's build came first: the engine first runs the
// compiler's code unoptimised and optimises what runs often, so the first
// program a person runs would otherwise take two to three times as long as the
// next. A small program of the usual kind (the standard prelude, templates,
// drawing) brings much of it to the optimised tier before the first Run.
const WARM_UP = `#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "tavlo.h"
namespace {
struct Rock { double x, y, r; int color; };
std::vector<Rock> rocks;
std::string line(int n) { return "rocks: " + std::to_string(n); }
}
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    for (int i = 0; i < 12; ++i) rocks.push_back({std::cos(i) * 100, std::sin(i) * 100, 5.0 + i, i % 24});
    std::sort(rocks.begin(), rocks.end(), [](const Rock& a, const Rock& b) { return a.r < b.r; });
    for (const Rock& rock : rocks) draw_oval(ColorIndex(rock.color), int(rock.x - rock.r), int(rock.y - rock.r), int(rock.x + rock.r), int(rock.y + rock.r), 0);
    log_printf("%s", line(int(rocks.size())).c_str());
    return close_display();
}
`;

// The standard headers' prelude (sdk/prelude_std.h, which includes prelude.h)
// precompiled, for files that include a standard header: C++20's library
// headers include most of each other, so parsing them is most of such a
// program's compile. Too large to ship (see the header), it is built here once
// after the compiler has loaded and kept in Cache Storage under the site's
// version; a later visit takes it from there. Without Cache Storage it is
// built on each visit; when it cannot be built, such files are compiled with
// the small prelude, as before.
async function prepareStandardPrelude() {
  if (!sdk[STANDARD_PRELUDE]) return { standard: false, built: false, ms: 0 };
  const started = performance.now();
  const name = `${PRELUDE_CACHE}${site.version}-${site.hash}`;
  const key = new URL(`sdk/${STANDARD_PRELUDE}.pch`, siteBase).href;  // a key only: never fetched
  let cache = null;
  try {
    cache = await caches.open(name);
    for (const old of await caches.keys()) if (old.startsWith(PRELUDE_CACHE) && old !== name) caches.delete(old);
    const hit = await cache.match(key);
    if (hit) {
      sdk[`${STANDARD_PRELUDE}.pch`] = new Uint8Array(await hit.arrayBuffer());
      return { standard: true, built: false, ms: performance.now() - started };
    }
  } catch (error) {
    cache = null;  // no Cache Storage (an insecure origin, a private window): built on each visit
  }
  postMessage({ type: 'preparing' });
  const chunks = [];
  const result = run('clang++', [...withoutPch(site.compile, false), '-Xclang', '-fno-pch-timestamp', '-x', 'c++-header',
                                 `/sdk/${STANDARD_PRELUDE}`, '-o', STANDARD_PCH], { sdk: { ...sdk } }, chunks);
  const bytes = result && result.sdk && result.sdk[`${STANDARD_PRELUDE}.pch`];
  if (!(bytes instanceof Uint8Array)) return { standard: false, built: false, ms: performance.now() - started };
  sdk[`${STANDARD_PRELUDE}.pch`] = bytes;
  if (cache) {
    // Stored whole or not at all (a full quota: built again next visit).
    await cache.put(key, new Response(bytes, { headers: { 'Content-Type': 'application/octet-stream' } })).catch(() => {});
  }
  return { standard: true, built: true, ms: performance.now() - started };
}

// Gives way to a person's build: true when none has been asked for yet.
async function noBuildYet() {
  await new Promise((resolve) => { setTimeout(resolve, 0); });
  return builds === 0;
}

// Compiles and links WARM_UP (the results dropped), a step at a time, unless a
// person's build came first; the time it took.
async function warmUp() {
  const started = performance.now();
  if (!(await noBuildYet())) return 0;
  const chunks = [];
  const compiled = run('clang++', [...flagsFor(WARM_UP), '-c', 'warm_up.cpp', '-o', '/build/warm_up.o'],
                       { sdk, build: {}, 'warm_up.cpp': new TextEncoder().encode(WARM_UP) }, chunks);
  const object = compiled && compiled.build && compiled.build['warm_up.o'];
  // The warm-up program compiles with a sound prelude: one it fails on is spoilt.
  if (!(object instanceof Uint8Array) && REFUSED_PCH.test(joined(chunks))) dropStandardPrelude();
  if (object instanceof Uint8Array && await noBuildYet()) {
    run('clang++', ['/build/warm_up.o', ...site.link, '-o', '/build/warm_up.wasm'], { sdk, build: { 'warm_up.o': object } }, chunks);
  }
  return performance.now() - started;
}

// Drops a stored standard prelude the compiler refused (a store gone bad):
// the file is compiled with the small prelude, and the next visit builds it again.
function dropStandardPrelude() {
  delete sdk[`${STANDARD_PRELUDE}.pch`];
  caches.delete(`${PRELUDE_CACHE}${site.version}-${site.hash}`).catch(() => {});
}
// A file that does not include tavlo.h is compiled without the prelude, and so
// without the null pointer check's handler it defines: its checks trap in place
// (a program of such files alone has no handler to link).
// (withoutPch(flags, false) keeps the handler's runtime: a prelude's own compile).
const withoutPch = (flags, trap = true) => flags.filter((flag, i) => flag !== '-include-pch' && flags[i - 1] !== '-include-pch')
  .map((flag) => (trap && flag === '-fsanitize-minimal-runtime' ? '-fsanitize-trap=null' : flag));
// The flags for a file: with the standard prelude when it includes tavlo.h and
// a standard header and the prelude is built, else with the small one, else
// (no tavlo.h) with none.
function flagsFor(text) {
  if (!INCLUDES_TAVLO.test(text)) return withoutPch(site.compile);
  if (INCLUDES_STANDARD.test(text) && sdk[`${STANDARD_PRELUDE}.pch`]) {
    return site.compile.map((flag) => (flag === PRELUDE_PCH ? STANDARD_PCH : flag));
  }
  return site.compile;
}

// The compiler's output, joined once (the compiler writes it in many small
// pieces: thousands of warnings are tens of thousands of chunks).
function joined(chunks) {
  const bytes = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
  let at = 0;
  for (const c of chunks) { bytes.set(c, at); at += c.length; }
  return new TextDecoder().decode(bytes);
}

function build({ id, files }) {
  const chunks = [];
  const log = () => joined(chunks);
  const refused = files.find((f, i) => nameProblem(f.name, files.slice(0, i).map((g) => g.name)));
  if (refused) {
    const message = `${refused.name}: ${nameProblem(refused.name, files.filter((f) => f !== refused).map((f) => f.name))}`;
    return { ok: false, log: `${message}\n`, diagnostics: [{ file: refused.name, line: 0, column: 0, severity: 'error', message }] };
  }
  const tree = { sdk, build: {} };
  const encoder = new TextEncoder();
  for (const f of files) tree[f.name] = encoder.encode(f.text);
  const sources = files.filter((f) => isSource(f.name)).map((f) => f.name);
  if (sources.length === 0) {
    const message = 'no .cpp file to compile';
    return { ok: false, log: `${message}\n`, diagnostics: [{ file: '', line: 0, column: 0, severity: 'error', message }] };
  }
  const objects = new Map();
  const objectFiles = {};
  const standardPrelude = [];  // the files compiled with the standard prelude
  let ok = true;
  for (const source of sources) {
    postMessage({ type: 'status', id, text: `compiling ${source}` });
    const object = source.replace(/\.[^.]+$/, '');
    objects.set(object, source);
    // The precompiled tavlo.h stands in for the file's own #include "tavlo.h";
    // a file that does not include it is compiled as written.
    const text = files.find((f) => f.name === source).text;
    const flags = flagsFor(text);
    if (flags.includes(STANDARD_PCH)) standardPrelude.push(source);
    const mark = chunks.length;
    let result = run('clang++', [...flags, '-c', source, '-o', `/build/${object}.o`], tree, chunks);
    if (!result && flags.includes(STANDARD_PCH) && REFUSED_PCH.test(joined(chunks.slice(mark)))) {
      chunks.length = mark;
      dropStandardPrelude();
      standardPrelude.pop();
      result = run('clang++', [...flagsFor(text), '-c', source, '-o', `/build/${object}.o`], tree, chunks);
    }
    const bytes = result && result.build && result.build[`${object}.o`];
    if (!(bytes instanceof Uint8Array)) {
      ok = false;
    } else {
      objectFiles[`${object}.o`] = bytes;
    }
  }
  if (!ok) {
    const text = log();
    return { ok, log: text, diagnostics: parseDiagnostics(text, objects) };
  }
  postMessage({ type: 'status', id, text: 'linking' });
  const linkTree = { sdk, build: objectFiles };
  const result = run('clang++', [...Object.keys(objectFiles).map((o) => `/build/${o}`), ...site.link,
                                 '-o', '/build/program.wasm'], linkTree, chunks);
  const wasm = result && result.build && result.build['program.wasm'];
  const text = log();
  if (!(wasm instanceof Uint8Array)) return { ok: false, log: text, diagnostics: parseDiagnostics(text, objects) };
  return { ok: true, log: text, diagnostics: parseDiagnostics(text, objects), wasm, standardPrelude };
}

onmessage = async (event) => {
  const message = event.data;
  if (message.type === 'load') {
    try {
      await load(message.site);
      // Every byte is in (a clone's count may lag behind the compiler's own read).
      postMessage({ type: 'progress', loaded: site.compilerBytes, total: site.compilerBytes });
      postMessage({ type: 'ready' });
      const prepared = await prepareStandardPrelude().catch(() => ({ standard: false, built: false, ms: 0 }));
      if (prepared.standard) prepared.warmUpMs = await warmUp();
      postMessage({ type: 'prepared', ...prepared });
    } catch (error) {
      postMessage({ type: 'failed', message: `the compiler could not be loaded: ${error.message || error}` });
    }
  } else if (message.type === 'build') {
    builds += 1;
    let result;
    try {
      result = build(message);
    } catch (error) {
      result = { ok: false, log: `${error.stack || error}\n`, diagnostics: [] };
    }
    const wasm = result.wasm ? result.wasm.slice().buffer : null;
    postMessage({ type: 'built', id: message.id, ok: result.ok, diagnostics: result.diagnostics,
                  log: result.log, wasm, standardPrelude: result.standardPrelude || [] }, wasm ? [wasm] : []);
  }
};
postMessage({ type: 'loaded' });
