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
//               {type: 'status', id, text}
//               {type: 'built', id, ok, diagnostics, log, wasm (ArrayBuffer, transferred)}
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
// A file that does not include tavlo.h is compiled without the prelude, and so
// without the null pointer check's handler it defines: its checks trap in place
// (a program of such files alone has no handler to link).
const withoutPch = (flags) => flags.filter((flag, i) => flag !== '-include-pch' && flags[i - 1] !== '-include-pch')
  .map((flag) => (flag === '-fsanitize-minimal-runtime' ? '-fsanitize-trap=null' : flag));

function build({ id, files }) {
  const chunks = [];
  // The compiler's output, joined once (the compiler writes it in many small
  // pieces: thousands of warnings are tens of thousands of chunks).
  const log = () => {
    const joined = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
    let at = 0;
    for (const c of chunks) { joined.set(c, at); at += c.length; }
    return new TextDecoder().decode(joined);
  };
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
  let ok = true;
  for (const source of sources) {
    postMessage({ type: 'status', id, text: `compiling ${source}` });
    const object = source.replace(/\.[^.]+$/, '');
    objects.set(object, source);
    // The precompiled tavlo.h stands in for the file's own #include "tavlo.h";
    // a file that does not include it is compiled as written.
    const text = files.find((f) => f.name === source).text;
    const flags = INCLUDES_TAVLO.test(text) ? site.compile : withoutPch(site.compile);
    const result = run('clang++', [...flags, '-c', source, '-o', `/build/${object}.o`], tree, chunks);
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
  return { ok: true, log: text, diagnostics: parseDiagnostics(text, objects), wasm };
}

onmessage = async (event) => {
  const message = event.data;
  if (message.type === 'load') {
    try {
      await load(message.site);
      // Every byte is in (a clone's count may lag behind the compiler's own read).
      postMessage({ type: 'progress', loaded: site.compilerBytes, total: site.compilerBytes });
      postMessage({ type: 'ready' });
    } catch (error) {
      postMessage({ type: 'failed', message: `the compiler could not be loaded: ${error.message || error}` });
    }
  } else if (message.type === 'build') {
    let result;
    try {
      result = build(message);
    } catch (error) {
      result = { ok: false, log: `${error.stack || error}\n`, diagnostics: [] };
    }
    const wasm = result.wasm ? result.wasm.slice().buffer : null;
    postMessage({ type: 'built', id: message.id, ok: result.ok, diagnostics: result.diagnostics,
                  log: result.log, wasm }, wasm ? [wasm] : []);
  }
};
postMessage({ type: 'loaded' });
