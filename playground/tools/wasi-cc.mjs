// Runs the playground's pinned clang (npm @yowasp/clang, WebAssembly) under node
// to build for wasm32-wasi on the build machine.
//
// The compiler is a 75 MB WebAssembly module; node compiles it again in every
// new process (seconds), while a run in a process that has it costs a fraction
// of a second more than the work. So many files are compiled in one process:
//
//   node wasi-cc.mjs build MANIFEST.json [--jobs N]
//       compiles the manifest's jobs (each a source, an object and its flags)
//       in N worker threads, each with its own compiler, skipping every object
//       newer than its source, its headers (the depfile clang wrote) and flags;
//       then writes the manifest's archives with llvm-ar.
//   node wasi-cc.mjs run [--mount DIR]... [--out FILE]... -- TOOL ARGS...
//       one run of clang, clang++, wasm-ld or ar.
//
// The compiler runs in a virtual file system: the folders a run may read are
// loaded into it at their own absolute paths (--mount; a manifest's "mounts"),
// so paths on the command line, in diagnostics and in depfiles are the host's.
// One exception: the compiler's driver keeps its temporary files in its own
// /tmp and empties that folder after each run, so the host's /tmp is seen at
// HOST_TMP instead; paths are translated on the way in (arguments, folders)
// and back on the way out (the log, depfiles), so a checkout under /tmp builds.
// The files a run writes are copied out from there (--out; a job's object).
//
// Other scripts import runTool, loadTree and the flags from here.
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Worker, isMainThread, parentPort, workerData } from 'node:worker_threads';

const here = path.dirname(fileURLToPath(import.meta.url));
const compilerModule = path.join(here, '..', 'node_modules', '@yowasp', 'clang', 'gen', 'bundle.js');

// The files a compiler may need to read; everything else in a mounted folder is
// left out of the virtual file system.
const sourceExtensions = new Set(['.h', '.hh', '.hpp', '.hxx', '.inc', '.def', '.c', '.cc', '.cpp',
                                  '.cxx', '.o', '.a', '.wasm', '.pch', '.ttf', '.txt']);

// The folders loaded into each tree (see mountOverlay).
const mountsOfTree = new WeakMap();

const HOST_TMP = '/wasi-cc/host-tmp/';
// A host path as the compiler sees it.
export function inside(hostPath) {
  return hostPath.startsWith('/tmp/') ? HOST_TMP + hostPath.slice('/tmp/'.length) : hostPath;
}
// An argument as the compiler sees it: a path under /tmp at its start, after
// an option's letters (-I/tmp/...) or after = and , (-Wl,-L/tmp/..., --x=/tmp/...).
function insideArgument(arg) {
  return arg.replace(/(^|[=,]|^-[A-Za-z]+|,-[A-Za-z]+)\/tmp\//g, `$1${HOST_TMP}`);
}
// Text the compiler wrote, with the host's paths.
function outside(text) {
  return text.split(HOST_TMP).join('/tmp/');
}

// Adds the folder `dir` (absolute) and, below it, every file a compiler may read
// to `tree`, at the folder's own path.
export function loadTree(dir, tree = {}) {
  const absolute = path.resolve(dir);
  if (!mountsOfTree.has(tree)) mountsOfTree.set(tree, new Set());
  mountsOfTree.get(tree).add(inside(absolute));
  const node = makeFolder(tree, inside(absolute));
  const fill = (hostDir, target) => {
    for (const entry of fs.readdirSync(hostDir, { withFileTypes: true })) {
      const full = path.join(hostDir, entry.name);
      let stat;
      try {
        stat = fs.statSync(full);
      } catch {
        continue;  // a dangling link
      }
      if (stat.isDirectory()) {
        if (entry.name === 'node_modules' || entry.name === '.git') continue;
        target[entry.name] ??= {};
        fill(full, target[entry.name]);
      } else if (stat.isFile() && sourceExtensions.has(path.extname(entry.name).toLowerCase())) {
        target[entry.name] = new Uint8Array(fs.readFileSync(full));
      }
    }
  };
  if (fs.statSync(absolute).isDirectory()) {
    fill(absolute, node);
  }
  return tree;
}

// Adds one file of the host at its own path.
export function loadFile(file, tree) {
  const host = path.resolve(file);
  const absolute = inside(host);
  const parent = makeFolder(tree, path.dirname(absolute));
  parent[path.basename(absolute)] = new Uint8Array(fs.readFileSync(host));
  return tree;
}

// The folder object at `absolute` inside `tree`, made when missing.
export function makeFolder(tree, absolute) {
  let node = tree;
  for (const part of absolute.split('/').filter(Boolean)) {
    if (typeof node[part] !== 'object' || node[part] instanceof Uint8Array) node[part] = {};
    node = node[part];
  }
  return node;
}

function lookup(tree, absolute) {
  let node = tree;
  for (const part of absolute.split('/').filter(Boolean)) {
    if (node === undefined || node instanceof Uint8Array || typeof node === 'string') return undefined;
    node = node[part];
  }
  return node;
}

// The virtual file system takes a ".." in a path for "." (it keeps no parent
// links), so `#include "../x.h"` would miss. clang's own virtual file system
// resolves ".." by the path's text: an overlay that maps each mounted folder
// onto itself makes every include go through it.
const overlayPath = '/wasi-cc/overlay.yaml';
function mountOverlay(tree) {
  const mounts = mountsOfTree.get(tree);
  if (mounts === undefined || mounts.size === 0) return [];
  const roots = [...mounts].map((mount) => ({
    type: 'directory-remap', name: mount, 'external-contents': mount,
  }));
  const overlay = JSON.stringify({ version: 0, 'case-sensitive': 'true', roots });
  makeFolder(tree, path.dirname(overlayPath))[path.basename(overlayPath)] =
      new TextEncoder().encode(overlay);
  return ['-ivfsoverlay', overlayPath];
}

let compiler = null;
// The pinned compiler, loaded (and its WebAssembly compiled) once per thread.
export async function loadCompiler() {
  if (compiler === null) {
    compiler = await import(compilerModule);
    // Fetches the module and the sysroot now, quietly.
    await compiler.runLLVM(null, {}, { fetchProgress() {} });
  }
  return compiler;
}

// Runs TOOL (clang, clang++, wasm-ld, ar, ...) with `args` over `tree`; writes
// each path of `outputs` the run produced to the host. Returns { ok, log }.
export async function runTool(tool, args, tree, outputs = []) {
  const { runClang, runLLVM, Exit } = await loadCompiler();
  for (const output of outputs) makeFolder(tree, path.dirname(inside(path.resolve(output))));
  args = args.map(insideArgument);
  const chunks = [];
  const collect = (bytes) => {
    if (bytes !== null) chunks.push(Buffer.from(bytes));
  };
  const options = { stdout: collect, stderr: collect, decodeASCII: false, synchronously: true };
  let result;
  let ok = true;
  try {
    result = tool.startsWith('clang')
                 ? runClang([tool, ...mountOverlay(tree), ...args], tree, options)
                 : runLLVM([tool, ...args], tree, options);
  } catch (error) {
    if (!(error instanceof Exit)) throw error;
    ok = false;
  }
  const log = outside(Buffer.concat(chunks).toString());
  if (ok) {
    for (const output of outputs) {
      let data = lookup(result, inside(path.resolve(output)));
      if (!(data instanceof Uint8Array)) {
        return { ok: false, log: `${log}${tool}: wrote no ${output}\n` };
      }
      if (output.endsWith('.d')) data = outside(Buffer.from(data).toString());  // a depfile names host paths
      fs.mkdirSync(path.dirname(path.resolve(output)), { recursive: true });
      fs.writeFileSync(output, data);
    }
  }
  return { ok, log };
}

// ------------------------------------------------------------------ build mode

// The manifest (written by cmake/wasi.cmake):
//   { "mounts": [folders], "tool": { ".c": "clang", ".cpp": "clang++" },
//     "jobs": [{ "source", "object", "flags": [...] }],
//     "archives": [{ "output", "objects": [...] }] }

// What an object was compiled with: the compiler's version (its own headers and
// sysroot come with it), the tool and the flags.
let compilerVersion = null;
function flagsStamp(job) {
  compilerVersion ??= JSON.parse(
      fs.readFileSync(path.join(path.dirname(compilerModule), '..', 'package.json'), 'utf8')).version;
  return createHash('sha256').update(JSON.stringify([compilerVersion, job.tool, job.flags]))
      .digest('hex');
}

// The files a depfile (make syntax, as clang writes it) names after the target.
function depfileInputs(text) {
  const body = text.replace(/\\\r?\n/g, ' ');
  const colon = body.search(/:\s/);
  if (colon < 0) return null;
  const inputs = [];
  for (const match of body.slice(colon + 1).matchAll(/((?:\\ |[^\s])+)/g)) {
    inputs.push(match[1].replace(/\\ /g, ' '));
  }
  return inputs;
}

function upToDate(job) {
  const object = job.object;
  let objectTime;
  try {
    objectTime = fs.statSync(object).mtimeMs;
    if (fs.readFileSync(`${object}.flags`, 'utf8') !== flagsStamp(job)) return false;
    const inputs = depfileInputs(fs.readFileSync(`${object}.d`, 'utf8'));
    if (inputs === null) return false;
    for (const input of [job.source, ...inputs]) {
      if (fs.statSync(input).mtimeMs > objectTime) return false;
    }
  } catch {
    return false;
  }
  return true;
}

async function compileJob(job, tree) {
  const depfile = `${job.object}.d`;
  // -MMD: the depfile names the headers outside the compiler's own (those live
  // in its virtual /usr and change only with its version, in the stamp).
  const args = [...job.flags, '-c', job.source, '-o', job.object, '-MMD', '-MF', depfile];
  const result = await runTool(job.tool, args, tree, [job.object, depfile]);
  if (result.ok) fs.writeFileSync(`${job.object}.flags`, flagsStamp(job));
  return result;
}

function manifestTree(manifest) {
  const tree = {};
  for (const mount of manifest.mounts) loadTree(mount, tree);
  return tree;
}

async function build(manifestPath, jobCount) {
  const started = Date.now();
  const manifest = JSON.parse(fs.readFileSync(manifestPath, 'utf8'));
  for (const job of manifest.jobs) {
    job.tool = manifest.tool[path.extname(job.source)] ?? 'clang++';
  }
  const pending = manifest.jobs.filter((job) => !upToDate(job));
  let failed = 0;
  if (pending.length > 0) {
    const workers = Math.max(1, Math.min(jobCount, pending.length));
    console.log(`wasi-cc: compiling ${pending.length} of ${manifest.jobs.length} files ` +
                `in ${workers} thread(s)`);
    let next = 0;
    let done = 0;
    await Promise.all(Array.from({ length: workers }, () => new Promise((resolve, reject) => {
      const worker = new Worker(fileURLToPath(import.meta.url),
                                { workerData: { manifestPath } });
      const feed = () => {
        if (next < pending.length) {
          worker.postMessage(pending[next++]);
        } else {
          worker.postMessage(null);
        }
      };
      worker.on('message', ({ job, ok, log }) => {
        done += 1;
        const name = path.relative(process.cwd(), job.source);
        if (log.trim() !== '') process.stdout.write(log.endsWith('\n') ? log : `${log}\n`);
        if (!ok) {
          failed += 1;
          console.log(`wasi-cc: FAILED ${name}`);
        } else {
          console.log(`[${done}/${pending.length}] ${name}`);
        }
        feed();
      });
      worker.on('error', reject);
      worker.on('exit', resolve);
      feed();
    })));
  }
  if (failed > 0) {
    console.log(`wasi-cc: ${failed} file(s) failed to compile`);
    return 1;
  }
  // The archives: rewritten when any of their objects is newer.
  let tree = null;
  for (const archive of manifest.archives) {
    let archiveTime = -1;
    try {
      archiveTime = fs.statSync(archive.output).mtimeMs;
    } catch {}
    if (archive.objects.every((object) => fs.statSync(object).mtimeMs <= archiveTime)) continue;
    tree = {};
    for (const object of archive.objects) loadFile(object, tree);
    fs.rmSync(archive.output, { force: true });
    const result = await runTool('ar', ['rcs', archive.output, ...archive.objects], tree,
                                 [archive.output]);
    if (result.log.trim() !== '') process.stdout.write(result.log);
    if (!result.ok) {
      console.log(`wasi-cc: FAILED to write ${archive.output}`);
      return 1;
    }
    console.log(`wasi-cc: wrote ${path.relative(process.cwd(), archive.output)}`);
  }
  console.log(`wasi-cc: ${pending.length} file(s) compiled in ` +
              `${((Date.now() - started) / 1000).toFixed(1)} s`);
  return 0;
}

async function workerMain() {
  const manifest = JSON.parse(fs.readFileSync(workerData.manifestPath, 'utf8'));
  const tree = manifestTree(manifest);
  await loadCompiler();
  parentPort.on('message', async (job) => {
    if (job === null) {
      parentPort.close();
      return;
    }
    let result;
    try {
      result = await compileJob(job, tree);
    } catch (error) {
      result = { ok: false, log: `${error.stack ?? error}\n` };
    }
    parentPort.postMessage({ job, ...result });
  });
}

// ------------------------------------------------------------------ command line

async function main(argv) {
  const [mode, ...rest] = argv;
  if (mode === 'build' && rest.length >= 1) {
    let jobs = 1;
    const at = rest.indexOf('--jobs');
    if (at >= 0) jobs = Math.max(1, Number.parseInt(rest[at + 1], 10) || 1);
    return build(rest[0], jobs);
  }
  if (mode === 'run') {
    const tree = {};
    const outputs = [];
    let i = 0;
    for (; i < rest.length && rest[i] !== '--'; i += 2) {
      if (rest[i] === '--mount') loadTree(rest[i + 1], tree);
      else if (rest[i] === '--file') loadFile(rest[i + 1], tree);
      else if (rest[i] === '--out') outputs.push(rest[i + 1]);
      else break;
    }
    if (rest[i] === '--' && i + 1 < rest.length) {
      const result = await runTool(rest[i + 1], rest.slice(i + 2), tree, outputs);
      process.stdout.write(result.log);
      return result.ok ? 0 : 1;
    }
  }
  console.error('usage: wasi-cc.mjs build MANIFEST.json [--jobs N]\n' +
                '       wasi-cc.mjs run [--mount DIR | --file FILE | --out FILE]... -- TOOL ARGS...');
  return 2;
}

if (!isMainThread) {
  await workerMain();
} else if (process.argv[1] === fileURLToPath(import.meta.url)) {
  process.exitCode = await main(process.argv.slice(2));
}
